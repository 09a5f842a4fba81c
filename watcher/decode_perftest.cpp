// Decoding benchmarks: how long Decode takes on each real replay, and what one
// decode allocates.
//
//   decode_perftest                 Google Benchmark runs, then the figures
//   decode_perftest --figures-only  just the figures: per-file medians and
//                                   decode_median_us, over interleaved rounds
#include "watcher/decode.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/perftest_support.h"

namespace {

std::vector<RealReplay> Replays;

void BM_Decode(benchmark::State& state, const RealReplay* replay) {
  DecodeResult result;
  const uint64_t allocations = HeapAllocations;
  for (auto _ : state) {
    Decode(replay->bytes.data(), replay->bytes.size(), &result);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(HeapAllocations - allocations),
                                                benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kStreamInput);
}

double Microseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }

// One sample per file per round, the files taken in turn, so that a burst of load
// from elsewhere on the machine spreads over all of them instead of spoiling one.
void PrintFigures(int rounds) {
  if (Replays.empty()) {
    printf("decode_median_us n/a\n");
    return;
  }
  DecodeResult result;
  std::vector<std::vector<double>> per_file(Replays.size());
  std::vector<double> all;
  for (size_t i = 0; i < Replays.size(); ++i) {  // warm caches and the allocator
    Decode(Replays[i].bytes.data(), Replays[i].bytes.size(), &result);
  }
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < Replays.size(); ++i) {
      const int64_t start = NowNanoseconds();
      Decode(Replays[i].bytes.data(), Replays[i].bytes.size(), &result);
      const int64_t stop = NowNanoseconds();
      benchmark::DoNotOptimize(result);
      per_file[i].push_back(Microseconds(stop - start));
      all.push_back(Microseconds(stop - start));
    }
  }
  uint64_t most_allocations = 0;
  for (size_t i = 0; i < Replays.size(); ++i) {
    const uint64_t before = HeapAllocations;
    Decode(Replays[i].bytes.data(), Replays[i].bytes.size(), &result);
    const uint64_t made = HeapAllocations - before;
    if (made > most_allocations) most_allocations = made;
    printf("decode_file_us %s %.2f\n", Replays[i].name.c_str(), Median(&per_file[i]));
  }
  printf("decode_allocations %llu\n", static_cast<unsigned long long>(most_allocations));
  PrintFigure("decode_median_us", Median(&all), 2);
}

}  // namespace

int main(int argc, char** argv) {
  bool figures_only = false;
  int rounds = 1001;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--figures-only") == 0) {
      figures_only = true;
    } else if (strncmp(argv[i], "--rounds=", 9) == 0) {
      rounds = atoi(argv[i] + 9);
      if (rounds < 1) rounds = 1;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;

  Replays = LoadRealReplays();
  if (!figures_only) {
    for (const RealReplay& replay : Replays) {
      benchmark::RegisterBenchmark(("decode/" + replay.name).c_str(), BM_Decode, &replay);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  PrintFigures(rounds);
  return 0;
}
