// Pass benchmarks: what a pass that finds nothing new costs (seam calls, heap
// allocations, time) over the list of one folder the program watches without
// -modern and -folder and over the three folders of the current game, and how a
// pass that files a real replay compares with a plain read-whole, write-whole copy
// of the same file.
//
//   watcher_perftest                    Google Benchmark runs, then the figures
//   watcher_perftest --figures-only     just the figures
//   watcher_perftest --strace-idle-pass one idle pass fenced by two marker writes
//                                       on stderr, for strace to look between
//   watcher_perftest --strace-three-folder-pass
//                                       the same for a pass over three folders
#include "watcher/watcher.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/platform.h"
#include "tests/perftest_support.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "replay/decode.h"
#include "watcher/folders.h"

namespace {

// The ratio that counts is the 1.2 MB 3v3 ladder game; the 160 KB 1v1 and the
// 1.6 MB custom game show how it moves with size.
const char kRatioReplay[] = "129-standard_129_3on3_leaver.w3g";
const char* const kCopyReplays[] = {kRatioReplay, "130-standard_1304.w3g",
                                    "130-standard_1304.2on2.w3g"};

std::vector<RealReplay> Replays;

std::string Native(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

// What the program holds for its passes: the switches, with custom games on so
// that any replay is filed; the decode's scratch; the list of one folder it
// watches without -modern and -folder.
WatchSettings Settings;
DecodeScratch Scratch;
WatchList OneFolder;

// A fresh replay folder holding LastReplay.w3g, watched as the install path's
// folder alone, unprimed.
std::string PrepareFolder(const Bytes& last_replay) {
  std::string folder = MakeTempFolder();
  if (folder.empty() || !WriteFileBytes(folder + "LastReplay.w3g", last_replay)) {
    fprintf(stderr, "cannot set up a replay folder under the temporary folder\n");
    exit(1);
  }
  Settings = WatchSettings();
  Settings.save_custom = true;
  GameFolders found;
  ClearGameFolders(&found);
  snprintf(found.install, sizeof found.install, "%s", folder.c_str());
  ClearWatchList(&OneFolder);
  WatchGameFolders(&OneFolder, &found);
  if (OneFolder.count != 1) {
    fprintf(stderr, "the watch list does not hold the replay folder\n");
    exit(1);
  }
  return folder;
}

// A pass that finds the present file new, as if the game had just written it.
PassOutcome FilingPass() {
  OneFolder.folders[0].last_seen = 0;
  return WatchFolderPass(&OneFolder, 0, false, &Settings, &Scratch);
}

void RemoveCopy() { RemoveFile(OneFolder.folders[0].status.last_copy); }

// One tick of the program over list. Returns true when it found nothing new:
// no folder took a new stamp or made a copy, none was added.
bool IdleTick(WatchList* list) {
  int32_t stamps[kMaxWatchedFolders];
  const int count = list->count;
  for (int i = 0; i < count; ++i) stamps[i] = list->folders[i].last_seen;
  const int saved = SavedInList(list);
  WatchEveryFolder(list, false, &Settings, &Scratch);
  bool idle = list->count == count && SavedInList(list) == saved;
  for (int i = 0; idle && i < count; ++i) idle = list->folders[i].last_seen == stamps[i];
  return idle;
}

// What a player's script does: read the whole file into memory, write it out whole.
bool PlainCopy(const char* from, const char* to) {
  int in = open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  off_t size = lseek(in, 0, SEEK_END);
  lseek(in, 0, SEEK_SET);
  unsigned char* buffer = static_cast<unsigned char*>(malloc(static_cast<size_t>(size)));
  bool ok = buffer != nullptr && read(in, buffer, static_cast<size_t>(size)) == size;
  close(in);
  int out = ok ? open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
  ok = out >= 0 && write(out, buffer, static_cast<size_t>(size)) == size;
  if (out >= 0 && close(out) != 0) ok = false;
  free(buffer);
  return ok;
}

void Fail(const char* what) {
  fprintf(stderr, "watcher_perftest: %s\n", what);
  exit(1);
}

void BM_IdlePass(benchmark::State& state) {
  std::string folder = PrepareFolder(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
  WatchEveryFolder(&OneFolder, true, &Settings, &Scratch);
  // Counted around each pass alone: the benchmark loop allocates now and then itself.
  uint64_t most_calls = 0;
  uint64_t most_allocations = 0;
  for (auto _ : state) {
    const uint64_t calls = PlatformCallCount;
    const uint64_t allocations = HeapAllocations;
    if (!IdleTick(&OneFolder)) Fail("an idle pass found something new");
    most_calls = std::max(most_calls, PlatformCallCount - calls);
    most_allocations = std::max(most_allocations, HeapAllocations - allocations);
  }
  state.counters["most_fs_calls"] = static_cast<double>(most_calls);
  state.counters["most_allocs"] = static_cast<double>(most_allocations);
  RemoveTree(folder);
}
BENCHMARK(BM_IdlePass);

void BM_FilingPass(benchmark::State& state, const RealReplay* replay) {
  std::string folder = PrepareFolder(replay->bytes);
  if (FilingPass() != kPassFiled) Fail("the filing pass did not file");
  for (auto _ : state) {
    state.PauseTiming();
    RemoveCopy();
    state.ResumeTiming();
    if (FilingPass() != kPassFiled) Fail("the filing pass did not file");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * replay->bytes.size()));
  RemoveTree(folder);
}

void BM_PlainCopy(benchmark::State& state, const RealReplay* replay) {
  std::string folder = PrepareFolder(replay->bytes);
  const std::string from = Native(folder + "LastReplay.w3g");
  const std::string to = Native(folder + "plain-copy.w3g");
  for (auto _ : state) {
    state.PauseTiming();
    unlink(to.c_str());
    state.ResumeTiming();
    if (!PlainCopy(from.c_str(), to.c_str())) Fail("the plain copy failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * replay->bytes.size()));
  RemoveTree(folder);
}

// A zero from the counter only means something if it sees what a pass can allocate:
// the replay buffer in our code and the inflater's memory inside the shared zlib.
void CheckAllocationCounter(const std::string& folder) {
  const uint64_t before = HeapAllocations;
  const std::string path = folder + "LastReplay.w3g";
  ReplayFile file;
  if (ReadReplayFile(path.c_str(), &file) != kReadDone) Fail("cannot read the replay back");
  const uint64_t after_read = HeapAllocations;
  DecodeResult result;
  Decode(file.head, file.held, &Scratch, &result);
  const uint64_t after_decode = HeapAllocations;
  ReleaseReplayFile(&file);
  if (after_read == before) Fail("the allocation counter misses the replay buffer");
  if (after_decode == after_read) Fail("the allocation counter misses zlib's allocations");
}

// The most seam calls and heap allocations any one of many passes made, and
// their median time, printed under name. idle_pass runs one pass and says
// whether it found nothing new.
void MeasureIdlePasses(const char* name, int passes, bool (*idle_pass)()) {
  uint64_t most_calls = 0;
  uint64_t most_allocations = 0;
  std::vector<double> times;
  for (int i = 0; i < passes; ++i) {
    const uint64_t calls = PlatformCallCount;
    const uint64_t allocations = HeapAllocations;
    const int64_t start = NowNanoseconds();
    const bool idle = idle_pass();
    const int64_t stop = NowNanoseconds();
    if (!idle) Fail("an idle pass found something new");
    most_calls = std::max(most_calls, PlatformCallCount - calls);
    most_allocations = std::max(most_allocations, HeapAllocations - allocations);
    times.push_back(static_cast<double>(stop - start) / 1000.0);
  }
  printf("%s_us %.2f\n", name, Median(&times));
  PrintFigure((std::string(name) + "_fs_calls").c_str(), static_cast<double>(most_calls), 0);
  PrintFigure((std::string(name) + "_allocations").c_str(), static_cast<double>(most_allocations),
              0);
}

bool IdlePass() { return IdleTick(&OneFolder); }

void PrintIdleFigures(int passes) {
  std::string folder = PrepareFolder(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
  CheckAllocationCounter(folder);
  WatchEveryFolder(&OneFolder, true, &Settings, &Scratch);
  MeasureIdlePasses("idle_pass", passes, IdlePass);
  RemoveTree(folder);
}

// A Documents folder as the current game leaves it: Warcraft III\Replay\ and two
// accounts, each with a replay, and other entries in BattleNet that are no
// account; the list watches those three folders, primed. Returns the temporary
// folder that holds it all.
std::string PrepareWatchList(WatchList* list) {
  std::string base = PrepareFolder(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  const std::string game = base + "Warcraft III\\";
  bool ok = PlatformMakeDirectory(game.c_str()) &&
            PlatformMakeDirectory((game + "Replay").c_str()) &&
            PlatformMakeDirectory((game + "BattleNet").c_str()) &&
            WriteFileBytes(game + "Replay\\LastReplay.w3g", replay);
  for (const char* account : {"1001", "2002"}) {
    const std::string folder = game + "BattleNet\\" + account;
    ok = ok && PlatformMakeDirectory(folder.c_str()) &&
         PlatformMakeDirectory((folder + "\\Replays").c_str()) &&
         WriteFileBytes(folder + "\\Replays\\LastReplay.w3g", replay);
  }
  for (int i = 0; ok && i < 100; ++i) {
    ok = PlatformMakeDirectory((game + "BattleNet\\name" + std::to_string(i)).c_str());
  }
  if (!ok) Fail("cannot set up a Documents folder under the temporary folder");
  ClearWatchList(list);
  AddDocumentsFolders(list, base.c_str());
  if (list->count != 3) Fail("the watch list does not hold the three folders");
  WatchEveryFolder(list, true, &Settings, &Scratch);
  return base;
}

// The same figures for a pass over the three folders of the current game.
WatchList ThreeFolders;

bool ThreeFolderIdlePass() { return IdleTick(&ThreeFolders) && ThreeFolders.count == 3; }

void PrintListIdleFigures(int passes) {
  std::string folder = PrepareWatchList(&ThreeFolders);
  MeasureIdlePasses("three_folder_idle_pass", passes, ThreeFolderIdlePass);
  RemoveTree(folder);
}

// Filing passes and plain copies of one replay taken in turn, the order swapped
// every run so that neither always follows the other; the ratio of the medians.
double FilingVsCopy(const RealReplay& replay, int runs) {
  std::string folder = PrepareFolder(replay.bytes);
  const std::string from = Native(folder + "LastReplay.w3g");
  const std::string to = Native(folder + "plain-copy.w3g");
  std::vector<double> filing;
  std::vector<double> copying;
  for (int run = -5; run < runs; ++run) {  // the first five warm up
    for (int turn = 0; turn < 2; ++turn) {
      const bool file_now = (turn == 0) == (run % 2 == 0);
      int64_t start = NowNanoseconds();
      if (file_now) {
        if (FilingPass() != kPassFiled) Fail("the filing pass did not file");
      } else if (!PlainCopy(from.c_str(), to.c_str())) {
        Fail("the plain copy failed");
      }
      int64_t stop = NowNanoseconds();
      if (file_now) {
        RemoveCopy();
      } else {
        unlink(to.c_str());
      }
      if (run >= 0) (file_now ? filing : copying).push_back(static_cast<double>(stop - start));
    }
  }
  RemoveTree(folder);
  const double filing_us = Median(&filing) / 1000.0;
  const double copy_us = Median(&copying) / 1000.0;
  const double ratio = copy_us > 0 ? filing_us / copy_us : 0;
  printf("filing_vs_copy %s bytes=%zu filing_us=%.1f copy_us=%.1f ratio=%.3f\n", replay.name.c_str(),
         replay.bytes.size(), filing_us, copy_us, ratio);
  return ratio;
}

void PrintFilingFigures(int runs) {
  double ratio = -1;
  for (const char* name : kCopyReplays) {
    const RealReplay* replay = FindReplay(Replays, name);
    if (replay == nullptr) {
      fprintf(stderr, "%s is missing from tests/replays\n", name);
      exit(1);
    }
    double r = FilingVsCopy(*replay, runs);
    if (strcmp(name, kRatioReplay) == 0) ratio = r;
  }
  if (ratio < 0) {
    printf("filing_vs_copy_ratio n/a\n");
  } else {
    PrintFigure("filing_vs_copy_ratio", ratio, 3);
  }
}

// The pass over three folders, fenced the same way.
int StraceListIdlePass() {
  static WatchList list;
  std::string folder = PrepareWatchList(&list);
  WatchEveryFolder(&list, false, &Settings, &Scratch);
  static const char kBegin[] = "idle-pass-begin\n";
  static const char kEnd[] = "idle-pass-end\n";
  if (write(2, kBegin, sizeof kBegin - 1) < 0) return 1;
  WatchEveryFolder(&list, false, &Settings, &Scratch);
  if (write(2, kEnd, sizeof kEnd - 1) < 0) return 1;
  RemoveTree(folder);
  return SavedInList(&list) == 0 ? 0 : 1;
}

// strace shows every system call; the markers let a script pick out the pass.
int StraceIdlePass() {
  std::string folder = PrepareFolder(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
  WatchEveryFolder(&OneFolder, true, &Settings, &Scratch);
  if (!IdleTick(&OneFolder)) Fail("an idle pass found something new");
  static const char kBegin[] = "idle-pass-begin\n";
  static const char kEnd[] = "idle-pass-end\n";
  if (write(2, kBegin, sizeof kBegin - 1) < 0) return 1;
  const bool idle = IdleTick(&OneFolder);
  if (write(2, kEnd, sizeof kEnd - 1) < 0) return 1;
  RemoveTree(folder);
  return idle ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool figures_only = false;
  int runs = 301;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--strace-idle-pass") == 0) return StraceIdlePass();
    if (strcmp(argv[i], "--strace-three-folder-pass") == 0) return StraceListIdlePass();
    if (strcmp(argv[i], "--figures-only") == 0) {
      figures_only = true;
    } else if (strncmp(argv[i], "--runs=", 7) == 0) {
      runs = atoi(argv[i] + 7);
      if (runs < 1) runs = 1;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;

  Replays = LoadRealReplays();
  if (!figures_only) {
    for (const char* name : kCopyReplays) {
      const RealReplay* replay = FindReplay(Replays, name);
      if (replay == nullptr) continue;
      benchmark::RegisterBenchmark((std::string("filing_pass/") + name).c_str(), BM_FilingPass,
                                   replay)->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((std::string("plain_copy/") + name).c_str(), BM_PlainCopy,
                                   replay)->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  PrintIdleFigures(10000);
  PrintListIdleFigures(10000);
  PrintFilingFigures(runs);
  return 0;
}
