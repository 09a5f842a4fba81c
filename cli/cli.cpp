#include "cli/cli.h"

#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "platform/platform.h"
#include "watcher/decode.h"
#include "watcher/filing.h"
#include "watcher/name_template.h"
#include "watcher/watcher.h"

#ifndef BRINDLECAP_VERSION
#error "BRINDLECAP_VERSION must be defined by the build (the project's version)"
#endif

const char kNameUsage[] =
    "usage: brindlecap-cli name [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         FILE...\n"
    "  Prints, for each replay FILE, where it would be filed below an empty replay\n"
    "  folder, or '-' and the reason it would not. Writes nothing.\n";

const char kWatchUsage[] =
    "usage: brindlecap-cli watch [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         FOLDER\n"
    "       brindlecap-cli watch [-custom] [-nodate] -modern [-name TEMPLATE]\n"
    "         [--prefix DIR]\n"
    "  Watches FOLDER's LastReplay.w3g as the tray program does: every ten seconds,\n"
    "  a new replay is copied into FOLDER's 1v1, 2v2, 3v3, 4v4, FFA or Custom\n"
    "  subfolder and the copy's path below FOLDER printed. The replay present at the\n"
    "  start is left alone. Ctrl-C stops. With -modern and no FOLDER it watches every\n"
    "  folder that 'folder -modern' prints, each on its own, and prints each copy's\n"
    "  whole path; accounts that appear meanwhile are watched too.\n";

const char kSortUsage[] =
    "usage: brindlecap-cli sort [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         [--dry-run] FOLDER FILE...\n"
    "       brindlecap-cli sort [-custom] [-nodate] -modern [-name TEMPLATE]\n"
    "         [--dry-run] [--prefix DIR]\n"
    "  Files a copy of each replay FILE into FOLDER's subfolders, named as if it had\n"
    "  just been played (with today's date tag), and prints FILE, a tab and the\n"
    "  copy's path below FOLDER, or '-' and the reason there is none. FILE itself is\n"
    "  never changed. --dry-run prints the same lines and writes nothing.\n"
    "  With -modern, a FILE may also be a folder: every *.w3g below it, in every\n"
    "  subfolder, in name order, but for TempReplay.w3g and FOLDER's own 1v1, 2v2,\n"
    "  3v3, 4v4, FFA and Custom (so 'sort -modern X X' sorts X in place). The date\n"
    "  tag is the day of the game: from the file's name when the game gave it\n"
    "  (Replay_YYYY_MM_DD_HHMM.w3g, w3c-YYYYMMDDHHMMSS.w3g), else from the file's\n"
    "  last-write time (local). A replay whose very bytes already stand under one\n"
    "  of its names is not copied again: its line says '- already there:' and\n"
    "  where, and the summary counts it apart.\n"
    "  With -modern and no FOLDER and no FILE, it sorts in place every replay folder\n"
    "  that 'folder -modern' prints, Autosaved subfolders included (on Linux those\n"
    "  of a Wine prefix: --prefix DIR, else $WINEPREFIX, else ~/.wine).\n";

const char kFolderUsage[] =
    "usage: brindlecap-cli folder\n"
    "       brindlecap-cli folder [-modern] [--prefix DIR]\n"
    "  Prints the replay folder the tray program watches, found as it finds it: the\n"
    "  game's install path in the current user's registry settings (InstallPathX,\n"
    "  else InstallPath) with replay\\ added, or the game's default folder when the\n"
    "  game's key is missing. Needs Windows (or Wine). With -modern, every folder it\n"
    "  watches then, one a line: also Warcraft III\\Replay\\ in the Documents folder\n"
    "  (1.28 to 1.31) and Warcraft III\\BattleNet\\ACCOUNT\\Replays\\ of each account\n"
    "  (1.32 and later). On Linux, --prefix DIR finds them inside the Wine prefix DIR\n"
    "  (with -modern alone: $WINEPREFIX, else ~/.wine).\n";

namespace {

const char kOverview[] =
    "brindlecap-cli " BRINDLECAP_VERSION
    ": Warcraft III replays named after who played whom with which\n"
    "races and sorted into 1v1, 2v2, 3v3, 4v4, FFA and Custom, as the Brindlecap tray\n"
    "program files them.\n"
    "\n";

const char kSwitches[] =
    "switches:\n"
    "  -custom    also file games that are not ladder games, named after the game\n"
    "  -nodate    leave the [BCmmdd] date tag out of names\n"
    "  -modern    read headers by their lengths, for game versions 1.30 and later\n"
    "  --dry-run  (sort only) print what would be done, write nothing\n"
    "  -name TEMPLATE\n"
    "             build names from TEMPLATE (in quotes when it holds blanks)\n"
    "  --         ends the switches: every word after it is a FOLDER or FILE\n"
    "  Switches count wherever they stand before --, among the operands too.\n"
    "\n"
    "name templates: text as written, and fields in braces. Without -name names are\n"
    "built from {date}{players}{game}.\n"
    "  {date}     the [BCmmdd] date tag; empty with -nodate\n"
    "  {players}  players and races of a ladder game; empty for other games\n"
    "  {game}     the game name of other games; empty for ladder games\n"
    "  {type}     1v1, 2v2, 3v3, 4v4, FFA or Custom, as the subfolder\n"
    "  {year} {month} {day} {hour} {minute}\n"
    "             the local date and time of filing, as 2026 07 30 21 05 (for\n"
    "             sort -modern the game's own, as its date tag)\n"
    "  {mapfile}  the map's file name: (4)TwistedMeadows.w3x gives TwistedMeadows\n"
    "  {map}      the map as players say it: no ladder prefix, anon mark or version\n"
    "  {length}   the game's length, as 18m11s or 1h47m06s\n"
    "  e.g. -name \"{year}-{month}-{day} {players} on {map}\"\n"
    "  A template with an unknown field, a { without its }, or a character no file\n"
    "  name can hold (\\ / : * ? \" < > | and control characters) is refused.\n"
    "\n"
    "exit status: 0 done, 1 some FILE could not be handled, 2 usage error\n";

// What a mistyped command line gets: the forms, not the whole manual.
const char kBriefUsage[] =
    "usage: brindlecap-cli watch [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         FOLDER\n"
    "       brindlecap-cli sort [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         [--dry-run] FOLDER FILE...\n"
    "       brindlecap-cli name [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         FILE...\n"
    "       brindlecap-cli folder\n"
    "       brindlecap-cli --help | --version | COMMAND --help\n";

void PrintOverview(FILE* stream) {
  fputs(kOverview, stream);
  fputs(kWatchUsage, stream);
  fputc('\n', stream);
  fputs(kSortUsage, stream);
  fputc('\n', stream);
  fputs(kNameUsage, stream);
  fputc('\n', stream);
  fputs(kFolderUsage, stream);
  fputc('\n', stream);
  fputs(kSwitches, stream);
}

// Prints where one replay would go. Returns 0, or 1 when the file cannot be read.
int NameOne(const char* path, FILE* out, FILE* err) {
  unsigned char* bytes = nullptr;
  size_t length = 0;
  char spelt[kPathSize];
  const bool known = PlatformPathFromSystem(path, spelt, sizeof spelt) != 0;
  switch (known ? ReadReplayFile(spelt, &bytes, &length) : kReadMissing) {
    case kReadWhole:
      break;
    case kReadTooShort:
      fprintf(out, "%s\t- shorter than %d bytes\n", path, kReplayMinimumLength);
      return 0;
    default:
      fprintf(err, "brindlecap-cli: cannot read '%s'\n", path);
      return 1;
  }
  DecodeResult result;
  DecodeReplay(bytes, length, &result);
  free(bytes);
  if (!result.ladder && !SaveCustomGames) {
    fprintf(out, "%s\t- not a ladder game\n", path);
    return 0;
  }
  char body[kPathSize];
  char name[kPathSize];
  const char* subfolder = PrepareName(&result, "", body, sizeof body);
  if (subfolder == nullptr || !ComposeCandidate(name, sizeof name, "", subfolder, body, 0)) {
    fprintf(out, "%s\t- no name fits\n", path);
    return 0;
  }
  fprintf(out, "%s\t%s\n", path, name);
  return 0;
}

// Moves the count words at argv[at] to argv[to], the words of argv[to, at) behind
// them in their order.
void MoveBefore(char** argv, int to, int at, int count) {
  for (int k = 0; k < count; ++k) {
    char* word = argv[at + k];
    memmove(argv + to + k + 1, argv + to + k, sizeof(char*) * static_cast<size_t>(at - to));
    argv[to + k] = word;
  }
}

}  // namespace

int UsageError(FILE* err, const char* usage, const char* problem) {
  if (problem != nullptr) fprintf(err, "brindlecap-cli: %s\n", problem);
  fputs(usage, err);
  return 2;
}

int ParseSwitches(int argc, char** argv, const char* usage, bool* dry_run, FILE* out,
                  FILE* err) {
  // As GNU tools do, a switch counts wherever it stands until "--" (so that
  // "sort FOLDER -name x FILE" names FILE after x, not a file called -name): each
  // is moved ahead of the operands met before it, which keep their order.
  int first = 2;  // argv[first, i) are the operands met so far
  for (int i = 2; i < argc; ++i) {
    const char* word = argv[i];
    if (word[0] != '-' || word[1] == '\0') continue;  // "-" alone is an operand
    int taken = 1;
    if (strcmp(word, "--") == 0) {
      MoveBefore(argv, first, i, taken);
      ++first;
      break;
    }
    if (strcmp(word, "-custom") == 0) {
      SaveCustomGames = true;
    } else if (strcmp(word, "-nodate") == 0) {
      DateTagEnabled = false;
    } else if (strcmp(word, "-modern") == 0) {
      ModernReading = true;
    } else if (strcmp(word, "-name") == 0) {
      // The template is the next argument, whatever it looks like.
      if (i + 1 >= argc) {
        UsageError(err, usage, "-name needs a TEMPLATE after it");
        return kSwitchesFailed;
      }
      taken = 2;
      const int n = snprintf(NameTemplate, sizeof NameTemplate, "%s", argv[i + 1]);
      if (n < 0 || static_cast<size_t>(n) >= sizeof NameTemplate) {
        NameTemplate[0] = '\0';
        UsageError(err, usage, "the -name TEMPLATE is too long");
        return kSwitchesFailed;
      }
    } else if (dry_run != nullptr && strcmp(word, "--dry-run") == 0) {
      *dry_run = true;
    } else if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) {
      fputs(usage, out);
      return kHelpShown;
    } else {
      fprintf(err, "brindlecap-cli: unknown switch '%s'\n", word);
      UsageError(err, usage, nullptr);
      return kSwitchesFailed;
    }
    MoveBefore(argv, first, i, taken);
    first += taken;
    i += taken - 1;
  }
  // A template that cannot give good names stops the command before it files any.
  char problem[256];
  if (NameTemplateProblem(NameTemplate, problem, sizeof problem)) {
    UsageError(err, usage, problem);
    return kSwitchesFailed;
  }
  return first;
}

int UseReplayFolder(const char* folder, FILE* err) {
  // Spelt as the program spells paths: on Linux a backslash in it is a letter.
  char spelt[kPathSize];
  if (!PlatformPathFromSystem(folder, spelt, sizeof spelt)) {
    fprintf(err, "brindlecap-cli: folder name '%s' is too long\n", folder);
    return 0;
  }
  switch (PlatformKindOf(spelt)) {
    case kPlatformNothing:
      fprintf(err, "brindlecap-cli: folder '%s' does not exist\n", folder);
      return 0;
    case kPlatformFile:
      fprintf(err, "brindlecap-cli: '%s' is a file, not a folder\n", folder);
      return 0;
    case kPlatformFolder:
      break;
  }
  // Every name the watcher builds starts with ReplayFolder, so it must end in a
  // separator; one already there is kept rather than doubled.
  const size_t length = strlen(spelt);
  const char last = length > 0 ? spelt[length - 1] : '\0';
  const char* separator = last == '\\' || last == '/' ? "" : "\\";
  int n = snprintf(ReplayFolder, sizeof ReplayFolder, "%s%s", spelt, separator);
  if (n < 0 || static_cast<size_t>(n) >= sizeof ReplayFolder) {
    ReplayFolder[0] = '\0';
    fprintf(err, "brindlecap-cli: folder name '%s' is too long\n", folder);
    return 0;
  }
  return 1;
}

int CommandName(int argc, char** argv, FILE* out, FILE* err) {
  int first = ParseSwitches(argc, argv, kNameUsage, nullptr, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  if (first >= argc) return UsageError(err, kNameUsage, "name needs at least one FILE");
  int status = 0;
  for (int i = first; i < argc; ++i) status |= NameOne(argv[i], out, err);
  return status;
}

int RunCli(int argc, char** argv, FILE* out, FILE* err) {
  if (argc < 2) {
    return UsageError(err, kBriefUsage, "no command given");
  }
  const char* command = argv[1];
  if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
      strcmp(command, "help") == 0) {
    const char* topic = argc > 2 ? argv[2] : "";
    if (strcmp(topic, "watch") == 0) {
      fputs(kWatchUsage, out);
    } else if (strcmp(topic, "sort") == 0) {
      fputs(kSortUsage, out);
    } else if (strcmp(topic, "name") == 0) {
      fputs(kNameUsage, out);
    } else if (strcmp(topic, "folder") == 0) {
      fputs(kFolderUsage, out);
    } else {
      PrintOverview(out);
    }
    return 0;
  }
  if (strcmp(command, "--version") == 0) {
    fputs(BRINDLECAP_VERSION "\n", out);
    return 0;
  }
  if (strcmp(command, "watch") == 0) return CommandWatch(argc, argv, out, err);
  if (strcmp(command, "sort") == 0) return CommandSort(argc, argv, out, err);
  if (strcmp(command, "name") == 0) return CommandName(argc, argv, out, err);
  if (strcmp(command, "folder") == 0) return CommandFolder(argc, argv, out, err);
  fprintf(err, "brindlecap-cli: unknown command '%s'\n", command);
  return UsageError(err, kBriefUsage, nullptr);
}
