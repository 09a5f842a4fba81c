// Whole-replay reading benchmarks: reading each real replay whole (every block
// inflated, every record walked) against inflating the same blocks and nothing
// else, which is the floor of any reading; and the memory one reading works in.
//
//   game_perftest                 Google Benchmark runs, then the figures
//   game_perftest --figures-only  just the figures: per-file medians
//                                 (game_read_file_us, inflate_file_us), the median
//                                 over files of their ratio
//                                 (full_read_vs_inflate_ratio), and the working
//                                 memory of one reading for the shortest and the
//                                 longest replay
//   --rounds=N                    rounds of the figures (default 51)
#include "replay/game.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/perftest_support.h"

namespace {

std::vector<RealReplay> Replays;
std::unique_ptr<GameReadScratch> Scratch(new GameReadScratch);
// The floor's output goes round a buffer the size of the reading's window.
std::unique_ptr<unsigned char[]> Window(new unsigned char[kGameWindowSize]);

// Inflates every block of the replay as the reading does, into the window.
size_t InflateOnly(const RealReplay& replay) {
  return InflateBlocks(replay.bytes.data(), replay.bytes.size(), Window.get());
}

void ReadWhole(const RealReplay& replay, ReplayGame* game) {
  ReadReplayGame(replay.bytes.data(), replay.bytes.size(), Scratch.get(), game);
}

void BM_FullRead(benchmark::State& state, const RealReplay* replay) {
  ReplayGame game;
  const uint64_t allocations = HeapAllocations;
  for (auto _ : state) {
    ReadWhole(*replay, &game);
    benchmark::DoNotOptimize(game);
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(HeapAllocations - allocations),
                                                benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(replay->bytes.size()));
}

void BM_InflateOnly(benchmark::State& state, const RealReplay* replay) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(InflateOnly(*replay));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(replay->bytes.size()));
}

double Microseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }

// The working memory of one reading: the scratch, and whatever the heap gives
// it, which is nothing (zlib takes its state and window from the scratch): the
// allocations counted during the reading say so.
void PrintMemory(const char* which, const RealReplay& replay) {
  ReplayGame game;
  const uint64_t before = HeapAllocations;
  ReadWhole(replay, &game);
  const uint64_t allocations = HeapAllocations - before;
  printf("game_read_memory %s replay %s (%zu bytes): scratch %zu bytes, zlib's state and "
         "window %zu of them; %llu heap allocations; the result %zu bytes\n",
         which, replay.name.c_str(), replay.bytes.size(), sizeof(GameReadScratch),
         Scratch->arena_used, static_cast<unsigned long long>(allocations), sizeof(ReplayGame));
  printf("game_read_memory_%s_bytes %zu\n", which, sizeof(GameReadScratch));
  printf("game_read_%s_allocations %llu\n", which, static_cast<unsigned long long>(allocations));
}

// One sample of each per file per round, the files taken in turn and the two
// measurements in alternating order, so that load from elsewhere on the machine
// spreads over all of them.
void PrintFigures(int rounds) {
  if (Replays.empty()) {
    printf("full_read_vs_inflate_ratio n/a\n");
    return;
  }
  ReplayGame game;
  std::vector<std::vector<double>> read(Replays.size());
  std::vector<std::vector<double>> inflated(Replays.size());
  for (const RealReplay& replay : Replays) {  // warm caches
    ReadWhole(replay, &game);
    benchmark::DoNotOptimize(InflateOnly(replay));
  }
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < Replays.size(); ++i) {
      for (int turn = 0; turn < 2; ++turn) {
        const bool reading = (turn == 0) == (round % 2 == 0);
        const int64_t start = NowNanoseconds();
        if (reading) {
          ReadWhole(Replays[i], &game);
          benchmark::DoNotOptimize(game);
        } else {
          benchmark::DoNotOptimize(InflateOnly(Replays[i]));
        }
        const int64_t stop = NowNanoseconds();
        (reading ? read : inflated)[i].push_back(Microseconds(stop - start));
      }
    }
  }
  std::vector<double> ratios;
  size_t shortest = 0;
  size_t longest = 0;
  for (size_t i = 0; i < Replays.size(); ++i) {
    const double read_us = Median(&read[i]);
    const double inflate_us = Median(&inflated[i]);
    printf("game_read_file_us %s %.2f\n", Replays[i].name.c_str(), read_us);
    printf("inflate_file_us %s %.2f ratio %.3f\n", Replays[i].name.c_str(), inflate_us,
           inflate_us > 0 ? read_us / inflate_us : 0.0);
    if (inflate_us > 0) ratios.push_back(read_us / inflate_us);
    if (Replays[i].bytes.size() < Replays[shortest].bytes.size()) shortest = i;
    if (Replays[i].bytes.size() > Replays[longest].bytes.size()) longest = i;
  }
  PrintMemory("shortest", Replays[shortest]);
  PrintMemory("longest", Replays[longest]);
  PrintFigure("full_read_vs_inflate_ratio", Median(&ratios), 3);
}

}  // namespace

int main(int argc, char** argv) {
  bool figures_only = false;
  int rounds = 51;
  TakeBenchSwitches(&argc, argv, &figures_only, &rounds);
  Replays = LoadRealReplays();
  if (!figures_only) {
    for (const RealReplay& replay : Replays) {
      benchmark::RegisterBenchmark(("game_read/" + replay.name).c_str(), BM_FullRead, &replay);
      benchmark::RegisterBenchmark(("inflate_only/" + replay.name).c_str(), BM_InflateOnly,
                                   &replay);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  PrintFigures(rounds);
  return 0;
}
