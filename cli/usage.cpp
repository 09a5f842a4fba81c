// What every command shares: the usage texts, the leading switches, the replay
// folder operand.
#include <stdio.h>
#include <string.h>

#include "cli/commands.h"
#include "naming/name_template.h"
#include "platform/platform.h"

const char kNameUsage[] =
    "usage: brindlecap-cli name [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         FILE...\n"
    "  Prints, for each replay FILE, where it would be filed below an empty replay\n"
    "  folder, or '-' and the reason it would not. Writes nothing.\n";

const char kWatchUsage[] =
    "usage: brindlecap-cli watch [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         [--notify] FOLDER\n"
    "       brindlecap-cli watch [-custom] [-nodate] -modern [-name TEMPLATE]\n"
    "         [--notify] [--prefix DIR]\n"
    "  Watches FOLDER's LastReplay.w3g as the tray program does: every ten seconds,\n"
    "  a new replay is copied into FOLDER's 1v1, 2v2, 3v3, 4v4, FFA or Custom\n"
    "  subfolder and the copy's path below FOLDER printed. The replay present at the\n"
    "  start is left alone. Ctrl-C stops. With -modern and no FOLDER it watches every\n"
    "  folder that 'folder -modern' prints, each on its own, and prints each copy's\n"
    "  whole path; accounts that appear meanwhile are watched too.\n"
    "  --notify also tells each copy, and a replay that cannot be saved yet, as a\n"
    "  desktop notification (through notify-send, on Linux).\n";

const char kSortUsage[] =
    "usage: brindlecap-cli sort [-custom] [-nodate] [-modern] [-name TEMPLATE]\n"
    "         [--dry-run] FOLDER FILE...\n"
    "       brindlecap-cli sort [-custom] [-nodate] -modern [-name TEMPLATE]\n"
    "         [--dry-run] [--prefix DIR]\n"
    "  Files a copy of each replay FILE into FOLDER's subfolders, named as if it had\n"
    "  just been played (with today's date tag), and prints FILE, a tab and the\n"
    "  copy's path below FOLDER, or '-' and the reason there is none. FILE itself is\n"
    "  never changed. --dry-run prints the same lines and writes nothing.\n"
    "  With -modern, a FILE may also be a folder: every *.w3g and *.nwg below it,\n"
    "  in every subfolder, in name order, but for TempReplay.w3g and FOLDER's own\n"
    "  1v1, 2v2, 3v3, 4v4, FFA and Custom (so 'sort -modern X X' sorts X in place).\n"
    "  A NetEase file (*.nwg) is read for the replay it holds and its copy keeps\n"
    "  its extension. The date tag is the day of the game: from the file's name\n"
    "  when the game gave it (Replay_YYYY_MM_DD_HHMM.w3g, w3c-YYYYMMDDHHMMSS.w3g),\n"
    "  else from the file's last-write time (local). A replay whose very bytes\n"
    "  already stand under one of its names is not copied again: its line says\n"
    "  '- already there:' and where, and the summary counts it apart.\n"
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

int UsageError(FILE* err, const char* usage, const char* problem) {
  if (problem != nullptr) fprintf(err, "brindlecap-cli: %s\n", problem);
  fputs(usage, err);
  return 2;
}

namespace {

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

SwitchWalk StartSwitchWalk(int argc, char** argv) { return SwitchWalk{argc, argv, 2, 2}; }

const char* NextSwitch(SwitchWalk* walk) {
  for (; walk->at < walk->argc; ++walk->at) {
    char* word = walk->argv[walk->at];
    if (word[0] != '-' || word[1] == '\0') continue;  // "-" alone is an operand
    MoveBefore(walk->argv, walk->first, walk->at, 1);
    ++walk->first;
    ++walk->at;
    if (strcmp(word, "--") == 0) {
      walk->at = walk->argc;
      return nullptr;
    }
    return word;
  }
  return nullptr;
}

const char* TakeSwitchValue(SwitchWalk* walk) {
  if (walk->at >= walk->argc) return nullptr;
  char* value = walk->argv[walk->at];
  MoveBefore(walk->argv, walk->first, walk->at, 1);
  ++walk->first;
  ++walk->at;
  return value;
}

int ParseSwitches(int argc, char** argv, const char* usage, WatchSettings* settings,
                  bool* dry_run, FILE* out, FILE* err) {
  char* name_template = settings->naming.name_template;
  const size_t template_size = sizeof settings->naming.name_template;
  // As GNU tools do, a switch counts wherever it stands until "--" (so that
  // "sort FOLDER -name x FILE" names FILE after x, not a file called -name).
  SwitchWalk walk = StartSwitchWalk(argc, argv);
  for (const char* word; (word = NextSwitch(&walk)) != nullptr;) {
    if (strcmp(word, "-custom") == 0) {
      settings->save_custom = true;
    } else if (strcmp(word, "-nodate") == 0) {
      settings->naming.date_tag = false;
    } else if (strcmp(word, "-modern") == 0) {
      settings->reading = kLengthReading;
    } else if (strcmp(word, "-name") == 0) {
      // The template is the next argument, whatever it looks like.
      const char* value = TakeSwitchValue(&walk);
      if (value == nullptr) {
        UsageError(err, usage, "-name needs a TEMPLATE after it");
        return kSwitchesFailed;
      }
      const int n = snprintf(name_template, template_size, "%s", value);
      if (n < 0 || static_cast<size_t>(n) >= template_size) {
        name_template[0] = '\0';
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
  }
  const int first = walk.first;
  // A template that cannot give good names stops the command before it files any.
  char problem[256];
  if (NameTemplateProblem(name_template, problem, sizeof problem)) {
    UsageError(err, usage, problem);
    return kSwitchesFailed;
  }
  return first;
}

int UseReplayFolder(const char* folder, char* out, size_t size, FILE* err) {
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
  // Every name the watcher builds starts with the folder, so it must end in a
  // separator; one already there is kept rather than doubled.
  const size_t length = strlen(spelt);
  const char last = length > 0 ? spelt[length - 1] : '\0';
  const char* separator = last == '\\' || last == '/' ? "" : "\\";
  int n = snprintf(out, size, "%s%s", spelt, separator);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    out[0] = '\0';
    fprintf(err, "brindlecap-cli: folder name '%s' is too long\n", folder);
    return 0;
  }
  return 1;
}

namespace {

const char* ReadOperand(const char* path, HeadBuffer* buffer, unsigned char** head,
                        size_t* held, uint64_t* length) {
  *head = nullptr;
  *held = 0;
  if (length != nullptr) *length = 0;
  // The seam takes the program's spelling: on Linux a backslash in a name is a letter.
  char spelt[kPathSize];
  if (!PlatformPathFromSystem(path, spelt, sizeof spelt)) {
    return "cannot be read: its path is too long";
  }
  ReplayFile file;
  const ReadOutcome read =
      buffer != nullptr ? ReadFileHead(spelt, &file, buffer) : ReadFileHead(spelt, &file);
  switch (read) {
    case kReadDone:
      *head = file.head;
      *held = file.held;
      if (length != nullptr) *length = file.length;
      return nullptr;
    case kReadMissing: return "no such file";
    case kReadIsFolder: return "a folder, not a replay";
    case kReadNotAFile: return "a pipe, socket or device, not a replay";
    case kReadLengthUnknown: return "its length cannot be told";
    case kReadNoMemory: return "no memory for it";
    case kReadCameShort: return "it came short while being read";
    default: return "cannot be opened";
  }
}

}  // namespace

const char* ReadOperandHead(const char* path, unsigned char** head, size_t* held,
                            uint64_t* length) {
  return ReadOperand(path, nullptr, head, held, length);
}

const char* ReadOperandHead(const char* path, HeadBuffer* buffer, const unsigned char** head,
                            size_t* held, uint64_t* length) {
  unsigned char* bytes = nullptr;
  const char* problem = ReadOperand(path, buffer, &bytes, held, length);
  *head = bytes;
  return problem;
}
