#include "cli/cli.h"

#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"

#ifndef BRINDLECAP_VERSION
#error "BRINDLECAP_VERSION must be defined by the build (the project's version)"
#endif

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
    "  {result}   the saver's result: win, loss or draw; empty when the replay does\n"
    "             not tell (reads the whole replay)\n"
    "  {winner}   the winning side's players and races; empty when not known\n"
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
  fputs(kInfoUsage, stream);
  fputc('\n', stream);
  fputs(kStatsUsage, stream);
  fputc('\n', stream);
  fputs(kReportUsage, stream);
  fputc('\n', stream);
  fputs(kSwitches, stream);
}

}  // namespace

int RunCli(int argc, char** argv, FILE* out, FILE* err, const CliProgress* progress) {
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
    } else if (strcmp(topic, "info") == 0) {
      fputs(kInfoUsage, out);
    } else if (strcmp(topic, "stats") == 0) {
      fputs(kStatsUsage, out);
    } else if (strcmp(topic, "report") == 0) {
      fputs(kReportUsage, out);
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
  if (strcmp(command, "info") == 0) return CommandInfo(argc, argv, out, err);
  if (strcmp(command, "stats") == 0) return CommandStats(argc, argv, out, err, progress);
  if (strcmp(command, "report") == 0) return CommandReport(argc, argv, out, err, progress);
  fprintf(err, "brindlecap-cli: unknown command '%s'\n", command);
  return UsageError(err, kBriefUsage, nullptr);
}
