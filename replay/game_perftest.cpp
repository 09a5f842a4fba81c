// Whole-replay reading benchmarks: reading each real replay whole (every block
// inflated, every record walked) against inflating the same blocks and nothing
// else, with zlib (the floor of the reading before libdeflate) and with libdeflate
// as the reading does (its floor now); and the memory one reading works in.
//
//   game_perftest                 Google Benchmark runs, then the figures
//   game_perftest --figures-only  just the figures: per-file medians
//                                 (game_read_file_us, inflate_file_us with zlib,
//                                 whole_inflate_file_us with libdeflate), the
//                                 median over files of the reading's ratio to each
//                                 (full_read_vs_zlib_inflate_ratio,
//                                 full_read_vs_whole_inflate_ratio), and the
//                                 working memory of one reading for the shortest
//                                 and the longest replay
//   --rounds=N                    rounds of the figures (default 51)
#include "replay/game.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/perftest_support.h"

namespace {

std::vector<RealReplay> Replays;
std::unique_ptr<GameReadScratch> Scratch(new GameReadScratch);
// The floors' output goes round a buffer the size of the reading's window.
std::unique_ptr<unsigned char[]> Window(new unsigned char[kGameWindowSize]);
struct alignas(16) InflaterMemory {
  unsigned char bytes[kWholeInflaterBytes];
};
std::unique_ptr<InflaterMemory> Inflater(new InflaterMemory);

// Inflates every block of the replay with zlib, as the reading did before
// libdeflate, into the window.
size_t InflateOnly(const RealReplay& replay) {
  return InflateBlocks(replay.bytes.data(), replay.bytes.size(), Window.get());
}

// Inflates every block with libdeflate, as the reading does.
size_t InflateWholeOnly(const RealReplay& replay) {
  WholeInflater* inflater = PlaceWholeInflater(Inflater->bytes, sizeof Inflater->bytes);
  return InflateBlocksWhole(replay.bytes.data(), replay.bytes.size(), Window.get(), inflater);
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

void BM_WholeInflateOnly(benchmark::State& state, const RealReplay* replay) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(InflateWholeOnly(*replay));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(replay->bytes.size()));
}

double Microseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }

// The working memory of one reading: the scratch, and whatever the heap gives
// it, which is nothing (libdeflate's tables are placed in the scratch, and zlib
// takes its state and window from it): the allocations counted during the reading
// say so.
void PrintMemory(const char* which, const RealReplay& replay) {
  ReplayGame game;
  const uint64_t before = HeapAllocations;
  ReadWhole(replay, &game);
  const uint64_t allocations = HeapAllocations - before;
  printf("game_read_memory %s replay %s (%zu bytes): scratch %zu bytes, libdeflate's tables "
         "%zu and zlib's state and window %zu of them; %u of its blocks inflated whole; "
         "%llu heap allocations; the result %zu bytes\n",
         which, replay.name.c_str(), replay.bytes.size(), sizeof(GameReadScratch),
         sizeof Scratch->whole_inflater, Scratch->arena_used, Scratch->blocks_inflated_whole,
         static_cast<unsigned long long>(allocations), sizeof(ReplayGame));
  printf("game_read_memory_%s_bytes %zu\n", which, sizeof(GameReadScratch));
  printf("game_read_%s_allocations %llu\n", which, static_cast<unsigned long long>(allocations));
}

// One sample of each per file per round, the files taken in turn and the three
// measurements in an order that turns each round, so that load from elsewhere on
// the machine spreads over all of them.
void PrintFigures(int rounds) {
  if (Replays.empty()) {
    printf("full_read_vs_zlib_inflate_ratio n/a\n");
    printf("full_read_vs_whole_inflate_ratio n/a\n");
    return;
  }
  ReplayGame game;
  enum { kRead, kZlib, kWhole, kKinds };
  std::vector<std::vector<double>> samples[kKinds];
  for (auto& kind : samples) kind.resize(Replays.size());
  for (const RealReplay& replay : Replays) {  // warm caches
    ReadWhole(replay, &game);
    benchmark::DoNotOptimize(InflateOnly(replay));
    benchmark::DoNotOptimize(InflateWholeOnly(replay));
  }
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < Replays.size(); ++i) {
      for (int turn = 0; turn < kKinds; ++turn) {
        const int kind = (turn + round) % kKinds;
        const int64_t start = NowNanoseconds();
        if (kind == kRead) {
          ReadWhole(Replays[i], &game);
          benchmark::DoNotOptimize(game);
        } else if (kind == kZlib) {
          benchmark::DoNotOptimize(InflateOnly(Replays[i]));
        } else {
          benchmark::DoNotOptimize(InflateWholeOnly(Replays[i]));
        }
        const int64_t stop = NowNanoseconds();
        samples[kind][i].push_back(Microseconds(stop - start));
      }
    }
  }
  std::vector<double> zlib_ratios;
  std::vector<double> whole_ratios;
  double read_total = 0;
  double zlib_total = 0;
  size_t shortest = 0;
  size_t longest = 0;
  for (size_t i = 0; i < Replays.size(); ++i) {
    const double read_us = Median(&samples[kRead][i]);
    const double inflate_us = Median(&samples[kZlib][i]);
    const double whole_us = Median(&samples[kWhole][i]);
    printf("game_read_file_us %s %.2f\n", Replays[i].name.c_str(), read_us);
    printf("inflate_file_us %s %.2f ratio %.3f\n", Replays[i].name.c_str(), inflate_us,
           inflate_us > 0 ? read_us / inflate_us : 0.0);
    printf("whole_inflate_file_us %s %.2f ratio %.3f\n", Replays[i].name.c_str(), whole_us,
           whole_us > 0 ? read_us / whole_us : 0.0);
    if (inflate_us > 0) zlib_ratios.push_back(read_us / inflate_us);
    if (whole_us > 0) whole_ratios.push_back(read_us / whole_us);
    read_total += read_us;
    zlib_total += inflate_us;
    if (Replays[i].bytes.size() < Replays[shortest].bytes.size()) shortest = i;
    if (Replays[i].bytes.size() > Replays[longest].bytes.size()) longest = i;
  }
  PrintMemory("shortest", Replays[shortest]);
  PrintMemory("longest", Replays[longest]);
  // The highest file's ratio and the ratio of the sums say how even the median is.
  printf("full_read_vs_zlib_inflate_ratio_highest %.3f\n",
         *std::max_element(zlib_ratios.begin(), zlib_ratios.end()));
  printf("full_read_vs_zlib_inflate_ratio_all_files %.3f\n",
         zlib_total > 0 ? read_total / zlib_total : 0.0);
  PrintFigure("full_read_vs_whole_inflate_ratio", Median(&whole_ratios), 3);
  PrintFigure("full_read_vs_zlib_inflate_ratio", Median(&zlib_ratios), 3);
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
      benchmark::RegisterBenchmark(("whole_inflate_only/" + replay.name).c_str(),
                                   BM_WholeInflateOnly, &replay);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  PrintFigures(rounds);
  return 0;
}
