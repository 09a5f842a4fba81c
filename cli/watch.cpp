// brindlecap-cli watch: the tray program's loop in a terminal, for players who run
// the game under Wine or Proton, or who want to see each copy as it is made.
#include <stdlib.h>

#include "cli/commands.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

namespace {

const long kPassInterval = 10000;  // milliseconds, as the tray program's timer

// BRINDLECAP_INTERVAL_MS shortens the wait between passes so that tests of the
// real program do not sit through ten seconds per replay. It is meant for tests
// only: the help text leaves it out, and values outside 1 to 10000 are ignored.
long PassInterval() {
  const char* text = getenv("BRINDLECAP_INTERVAL_MS");
  if (text == nullptr || *text == '\0') return kPassInterval;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > kPassInterval) return kPassInterval;
  return value;
}

// Standard output carries only the saved copies, so that it can be piped; what
// else a pass found goes to standard error.
void Report(PassOutcome outcome, PassOutcome previous, FILE* out, FILE* err) {
  switch (outcome) {
    case kPassFiled:
      fprintf(out, "%s\n", BelowReplayFolder(FiledPath));
      fflush(out);
      break;
    case kPassTooShort:
      fprintf(err, "brindlecap-cli: LastReplay.w3g is shorter than %d bytes, not saved\n",
              kReplayMinimumLength);
      break;
    case kPassNotLadder:
      fputs("brindlecap-cli: LastReplay.w3g is not a ladder game, not saved (-custom saves it)\n",
            err);
      break;
    case kPassNoFreeName:
      fputs("brindlecap-cli: no free name for LastReplay.w3g, not saved\n", err);
      break;
    case kPassNoNameFits:
      fputs("brindlecap-cli: no name fits below FOLDER for LastReplay.w3g, not saved\n", err);
      break;
    case kPassRetryLater:
      // The game may hold the file for a while; say so once, not on every tick.
      if (previous != kPassRetryLater) {
        fputs("brindlecap-cli: cannot read or copy LastReplay.w3g yet, trying again\n", err);
      }
      break;
    case kPassNothingNew:
    case kPassPrimed:
      break;
  }
  fflush(err);
}

// Every folder of the list, each on its own; a copy is printed by its whole path,
// since no one folder lies above them all.
int WatchEvery(WatchList* list, long interval, FILE* out, FILE* err) {
  InstallStopHandlers();
  WatchEveryFolder(list, true);
  fprintf(err, "brindlecap-cli: watching %d folders for new replays, Ctrl-C stops\n", list->count);
  fflush(err);
  static PassOutcome previous[kMaxWatchedFolders];
  for (int i = 0; i < kMaxWatchedFolders; ++i) previous[i] = kPassPrimed;
  while (!WaitForStop(interval)) {
    const int before = list->count;
    NoticeNewAccounts(list);
    for (int i = before; i < list->count; ++i) {
      fputs("brindlecap-cli: a new account, watching ", err);
      PrintFolderPath(list->folders[i].path, err);
    }
    for (int i = 0; i < list->count; ++i) {
      const PassOutcome outcome = WatchFolderPass(&list->folders[i], false);
      if (outcome == kPassFiled) {
        PrintFolderPath(FiledPath, out);
        fflush(out);
      } else {
        Report(outcome, previous[i], out, err);
      }
      previous[i] = outcome;
    }
  }
  RemoveStopHandlers();
  fputs("brindlecap-cli: stopped\n", err);
  return 0;
}

}  // namespace

int CommandWatch(int argc, char** argv, FILE* out, FILE* err) {
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, kWatchUsage, nullptr);
  int first = ParseSwitches(argc, argv, kWatchUsage, nullptr, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  if (first >= argc && (ModernReading || prefix != nullptr)) {
    static WatchList list;
    if (!FindWatchedFolders(&list, ModernReading, prefix, err)) return 2;
    return WatchEvery(&list, PassInterval(), out, err);
  }
  if (first >= argc) {
    return UsageError(err, kWatchUsage, "watch needs a FOLDER, or -modern to watch the game's own");
  }
  if (prefix != nullptr) {
    return UsageError(err, kWatchUsage, "--prefix and a FOLDER do not go together");
  }
  if (argc - first > 1) return UsageError(err, kWatchUsage, "watch takes one FOLDER");
  const char* folder = argv[first];
  if (!UseReplayFolder(folder, err)) return 2;

  const long interval = PassInterval();
  InstallStopHandlers();
  SaveLastReplay(true);
  fprintf(err, "brindlecap-cli: watching '%s' for new replays, Ctrl-C stops\n", folder);
  fflush(err);
  PassOutcome previous = kPassPrimed;
  while (!WaitForStop(interval)) {
    // A stop that arrives during the pass is seen by the next wait, so a copy is
    // never cut short.
    const PassOutcome outcome = SaveLastReplay(false);
    Report(outcome, previous, out, err);
    previous = outcome;
  }
  RemoveStopHandlers();
  fputs("brindlecap-cli: stopped\n", err);
  return 0;
}
