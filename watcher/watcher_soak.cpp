// Soak: one process runs the watcher the way a long session would, many idle ticks
// between games over the list of one folder the program watches without -modern
// and -folder, and reports the resident memory before and after.
//   watcher_soak [IDLE_PASSES [FILING_PASSES]]     (100000 and 1000 by default)
// Exits 1 when a pass does not do what it should or a copy is not the replay. Leaks
// are LeakSanitizer's to report, in the sanitizer build.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/platform.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

// Bytes the sanitizer allocator holds for the program, when it is there.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

long ResidentKiB() {
  FILE* statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  long size = 0;
  long resident = -1;
  if (fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = -1;
  fclose(statm);
  return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// -1 without a sanitizer allocator to ask.
long HeapBytes() {
  if (__sanitizer_get_current_allocated_bytes == nullptr) return -1;
  return static_cast<long>(__sanitizer_get_current_allocated_bytes());
}

// Game k of the session: a quarter of the bodies repeat, so counters are taken
// too, and every tenth game is a custom one.
Bytes Game(long k) {
  char name[32];
  if (k % 10 == 9) {
    snprintf(name, sizeof name, "soak game %ld", k % 200);
    return BuildReplay(CustomReplay(name));
  }
  snprintf(name, sizeof name, "Player%ld", k % 750);
  const unsigned char race = static_cast<unsigned char>(1 << (k % 4));
  return BuildReplay(LadderReplay({{name, race}, {"Rival", 8}}));
}

// One tick of the program: new accounts first (none come, with no Documents
// watched), then a pass over every folder. Returns the pass over the first.
PassOutcome Tick(WatchList* list, const WatchSettings* settings, DecodeScratch* scratch) {
  NoticeNewAccounts(list);
  PassOutcome first = kPassNothingNew;
  for (int i = 0; i < list->count; ++i) {
    const PassOutcome outcome = WatchFolderPass(list, i, false, settings, scratch);
    if (i == 0) first = outcome;
  }
  return first;
}

}  // namespace

int main(int argc, char** argv) {
  const long idle = argc > 1 ? atol(argv[1]) : 100000;
  const long filings = argc > 2 ? atol(argv[2]) : 1000;
  if (idle < 0 || filings <= 0) {
    fprintf(stderr, "usage: watcher_soak [IDLE_PASSES [FILING_PASSES]]\n");
    return 2;
  }
  const std::string folder = MakeTempFolder();
  if (folder.empty()) {
    fprintf(stderr, "watcher_soak: cannot make a temporary folder\n");
    return 1;
  }
  WatchSettings settings;
  settings.save_custom = true;
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  std::unique_ptr<WatchList> list(new WatchList);
  ClearWatchList(list.get());
  GameFolders found;
  ClearGameFolders(&found);
  snprintf(found.install, sizeof found.install, "%s", folder.c_str());
  WatchGameFolders(list.get(), &found);
  WatchedFolder* watched = &list->folders[0];
  const std::string last = folder + "LastReplay.w3g";
  const int64_t base = 1700000000;

  // A replay present at start-up is primed, as the program does.
  int failures = 0;
  if (list->count != 1 || !WriteFileBytes(last, Game(0)) || !SetWriteTime(last, base) ||
      WatchFolderPass(list.get(), 0, true, &settings, scratch.get()) != kPassPrimed) {
    fprintf(stderr, "watcher_soak: priming pass failed\n");
    failures++;
  }

  const long before = ResidentKiB();
  const long heap_before = HeapBytes();
  long idle_done = 0;
  long filed = 0;
  long verified = 0;
  for (long k = 1; k <= filings; ++k) {
    const Bytes file = Game(k);
    if (!WriteFileBytes(last, file) || !SetWriteTime(last, base + 10 * k)) {
      fprintf(stderr, "watcher_soak: cannot write the last replay\n");
      failures++;
      break;
    }
    PassOutcome outcome = Tick(list.get(), &settings, scratch.get());
    if (outcome != kPassFiled) {
      fprintf(stderr, "watcher_soak: game %ld: pass gave %d, not filed\n", k, outcome);
      failures++;
    } else {
      filed++;
      Bytes copy;
      if (ReadFileBytes(watched->status.last_copy, &copy) && copy == file) {
        verified++;
      } else {
        fprintf(stderr, "watcher_soak: copy %s is not its replay\n", watched->status.last_copy);
        failures++;
      }
    }
    // The idle ticks until the next game.
    const long ticks = idle / filings + (k <= idle % filings ? 1 : 0);
    for (long t = 0; t < ticks; ++t, ++idle_done) {
      if (Tick(list.get(), &settings, scratch.get()) != kPassNothingNew) {
        fprintf(stderr, "watcher_soak: idle pass after game %ld did something\n", k);
        failures++;
      }
    }
  }
  const long after = ResidentKiB();
  const long heap_after = HeapBytes();

  const long files = static_cast<long>(ListFiles(folder).size()) - 1;  // less LastReplay.w3g
  if (files != filed) {
    fprintf(stderr, "watcher_soak: %ld files for %ld copies\n", files, filed);
    failures++;
  }
  RemoveTree(folder);

  printf("passes: %ld idle, %ld filing; %ld copies verified byte for byte\n", idle_done, filings,
         verified);
  printf("resident memory: before %ld KiB, after %ld KiB, change %+ld KiB%s\n", before, after,
         after - before,
         heap_before >= 0 ? " (the sanitizer's quarantine and shadow memory included)" : "");
  if (heap_before >= 0) {
    // The sanitizer allocator counts exactly what the program holds; memory kept
    // from pass to pass shows here even while it is still referenced.
    printf("heap in use: before %ld bytes, after %ld bytes, change %+ld bytes\n", heap_before,
           heap_after, heap_after - heap_before);
    if (heap_after - heap_before > 1024 * 1024) {
      fprintf(stderr, "watcher_soak: the heap grew by more than 1 MB\n");
      failures++;
    }
  }
  printf("seam calls: %llu\n", static_cast<unsigned long long>(PlatformCallCount));
  return failures == 0 ? 0 : 1;
}
