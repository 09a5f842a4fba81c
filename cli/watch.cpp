// brindlecap-cli watch: the tray program's loop in a terminal, for players who run
// the game under Wine or Proton, or who want to see each copy as it is made.
#include <stdlib.h>

#include <string.h>

#include "cli/commands.h"
#include "cli/notify.h"
#include "platform/path.h"
#include "watcher/folders.h"
#include "watcher/news.h"
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
void Report(PassOutcome outcome, PassOutcome previous, const WatchedFolder& folder, FILE* out,
            FILE* err) {
  switch (outcome) {
    case kPassFiled:
      fprintf(out, "%s\n", BelowFolder(folder.status.last_copy, folder.path));
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
    case kPassSameFolder:
      break;
  }
  fflush(err);
}

// Takes "--notify" out of argv (after the command), wherever it stands before
// "--". Returns whether it was there.
bool TakeNotifySwitch(int* argc, char** argv) {
  bool found = false;
  for (int i = 2; i < *argc; ++i) {
    if (strcmp(argv[i], "--") == 0) break;
    if (strcmp(argv[i], "--notify") != 0) continue;
    found = true;
    for (int j = i; j + 1 < *argc; ++j) argv[j] = argv[j + 1];
    --*argc;
    --i;
  }
  return found;
}

// What the passes give news of, told to the desktop when asked (--notify).
struct Telling {
  NewsWatch watch;
  Notifier notifier;
  bool on;
};

void TellAfterPass(Telling* telling, const WatchList* list) {
  TellNews(&telling->watch, list, telling->on ? SendNewsNotification : nullptr,
           &telling->notifier);
}

// Every folder of the list, each on its own; a copy is printed by its whole path,
// since no one folder lies above them all.
int WatchEvery(WatchList* list, const WatchSettings* settings, DecodeScratch* scratch,
               long interval, Telling* telling, FILE* out, FILE* err) {
  InstallStopHandlers();
  WatchEveryFolder(list, true, settings, scratch);
  StartNewsWatch(&telling->watch, list);
  fprintf(err, "brindlecap-cli: watching %d folders for new replays, Ctrl-C stops\n", list->count);
  fflush(err);
  PassOutcome previous[kMaxWatchedFolders];
  for (int i = 0; i < kMaxWatchedFolders; ++i) previous[i] = kPassPrimed;
  while (!WaitForStop(interval)) {
    const int before = list->count;
    NoticeNewAccounts(list);
    for (int i = before; i < list->count; ++i) {
      fputs("brindlecap-cli: a new account, watching ", err);
      PrintFolderPath(list->folders[i].path, err);
    }
    for (int i = 0; i < list->count; ++i) {
      const PassOutcome outcome = WatchFolderPass(list, i, false, settings, scratch);
      if (outcome == kPassFiled) {
        PrintFolderPath(list->folders[i].status.last_copy, out);
        fflush(out);
      } else {
        Report(outcome, previous[i], list->folders[i], out, err);
      }
      previous[i] = outcome;
    }
    TellAfterPass(telling, list);
  }
  RemoveStopHandlers();
  fputs("brindlecap-cli: stopped\n", err);
  return 0;
}

// What a watch keeps for its whole run: the folders with their stamps and
// statuses, and what the decode works in.
struct WatchRun {
  WatchList list;
  DecodeScratch scratch;
  Telling telling;
};

int Watch(WatchRun* run, int argc, char** argv, FILE* out, FILE* err) {
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, kWatchUsage, nullptr);
  const bool notify = TakeNotifySwitch(&argc, argv);
  WatchSettings settings;
  int first = ParseSwitches(argc, argv, kWatchUsage, &settings, nullptr, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  const bool modern = settings.reading == kLengthReading;
  Telling* telling = &run->telling;
  telling->on = false;
  // Said once, before the watching starts, when notifications cannot be shown.
  auto start_telling = [&] { telling->on = notify && StartNotifier(&telling->notifier, err); };
  if (first >= argc && (modern || prefix != nullptr)) {
    if (!FindWatchedFolders(&run->list, modern, prefix, err)) return 2;
    start_telling();
    return WatchEvery(&run->list, &settings, &run->scratch, PassInterval(), telling, out, err);
  }
  if (first >= argc) {
    return UsageError(err, kWatchUsage, "watch needs a FOLDER, or -modern to watch the game's own");
  }
  if (prefix != nullptr) {
    return UsageError(err, kWatchUsage, "--prefix and a FOLDER do not go together");
  }
  if (argc - first > 1) return UsageError(err, kWatchUsage, "watch takes one FOLDER");
  const char* folder = argv[first];
  char path[kPathSize];
  if (!UseReplayFolder(folder, path, sizeof path, err)) return 2;
  // One folder is a list of one, watched as the tray program watches it.
  ClearWatchList(&run->list);
  if (AddWatchedFolder(&run->list, path, kFolderSwitch) != kAdded) {
    fprintf(err, "brindlecap-cli: folder name '%s' is too long\n", folder);
    return 2;
  }
  WatchedFolder* watched = &run->list.folders[0];

  const long interval = PassInterval();
  start_telling();
  InstallStopHandlers();
  WatchFolderPass(&run->list, 0, true, &settings, &run->scratch);
  StartNewsWatch(&telling->watch, &run->list);
  fprintf(err, "brindlecap-cli: watching '%s' for new replays, Ctrl-C stops\n", folder);
  fflush(err);
  PassOutcome previous = kPassPrimed;
  while (!WaitForStop(interval)) {
    // A stop that arrives during the pass is seen by the next wait, so a copy is
    // never cut short.
    const PassOutcome outcome = WatchFolderPass(&run->list, 0, false, &settings, &run->scratch);
    Report(outcome, previous, *watched, out, err);
    previous = outcome;
    TellAfterPass(telling, &run->list);
  }
  RemoveStopHandlers();
  fputs("brindlecap-cli: stopped\n", err);
  return 0;
}

}  // namespace

int CommandWatch(int argc, char** argv, FILE* out, FILE* err) {
  WatchRun* run = static_cast<WatchRun*>(calloc(1, sizeof(WatchRun)));
  if (run == nullptr) {
    fputs("brindlecap-cli: out of memory\n", err);
    return 1;
  }
  const int status = Watch(run, argc, argv, out, err);
  free(run);
  return status;
}
