// Decoding benchmarks: how long each reading takes on each real replay, and what
// one decode allocates: Decode, and DecodeReplay with -modern (the "modern_"
// figures); then each again followed by naming after a template that reads the
// map and the length (the "template_" figures), which must stay as fast.
//
//   decode_perftest                 Google Benchmark runs, then the figures
//   decode_perftest --figures-only  just the figures: per-file medians,
//                                   decode_median_us, modern_decode_median_us and
//                                   their template_ twins, over interleaved rounds
#include "replay/decode.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "naming/name.h"
#include "platform/platform.h"
#include "tests/perftest_support.h"

namespace {

std::vector<RealReplay> Replays;

// One of the two readings: Decode itself, or DecodeReplay with -modern on; named
// or not.
struct Reading {
  const char* prefix;  // of the benchmark and figure names
  bool modern;
  bool named;  // the name is built after kBenchTemplate, as a pass builds it
};
const Reading kReadings[] = {{"", false, false},
                             {"modern_", true, false},
                             {"template_", false, true},
                             {"modern_template_", true, true}};
const char kBenchTemplate[] = "{year}-{month}-{day} {players}{game} on {map} {length}";

// What a pass hands in: the scratch the decode works in (kept, as the pass keeps
// its own), the naming options and the date.
DecodeScratch* Scratch = nullptr;
NameOptions BenchNaming;
const NameDate kBenchDate = {2026, 7, 30, 21, 5, 9};

void DecodeAs(const Reading& reading, const RealReplay& replay, DecodeResult* result) {
  if (reading.modern) {
    DecodeReplay(replay.bytes.data(), replay.bytes.size(), kLengthReading, Scratch, result);
  } else {
    Decode(replay.bytes.data(), replay.bytes.size(), Scratch, result);
  }
  if (reading.named) {
    ReplayName name;
    benchmark::DoNotOptimize(PrepareName(result, &BenchNaming, &kBenchDate, "C:\\Replays\\",
                                         kPlatformPathLimit, &name));
    benchmark::DoNotOptimize(name);
  }
}

void BM_Decode(benchmark::State& state, const Reading* reading, const RealReplay* replay) {
  DecodeResult result;
  const uint64_t allocations = HeapAllocations;
  for (auto _ : state) {
    DecodeAs(*reading, *replay, &result);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(HeapAllocations - allocations),
                                                benchmark::Counter::kAvgIterations);
  // The fixed reading always takes 1024 bytes of the stream; the modern one takes
  // whole blocks, which the allocation count and the time already tell of.
  if (!reading->modern) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kStreamInput);
  }
}

double Microseconds(int64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1000.0; }

// One sample per file per round, the files taken in turn, so that a burst of load
// from elsewhere on the machine spreads over all of them instead of spoiling one.
void PrintFigures(const Reading& reading, int rounds) {
  const std::string prefix = reading.prefix;
  if (Replays.empty()) {
    printf("%sdecode_median_us n/a\n", prefix.c_str());
    return;
  }
  DecodeResult result;
  std::vector<std::vector<double>> per_file(Replays.size());
  std::vector<double> all;
  for (size_t i = 0; i < Replays.size(); ++i) {  // warm caches and the allocator
    DecodeAs(reading, Replays[i], &result);
  }
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < Replays.size(); ++i) {
      const int64_t start = NowNanoseconds();
      DecodeAs(reading, Replays[i], &result);
      const int64_t stop = NowNanoseconds();
      benchmark::DoNotOptimize(result);
      per_file[i].push_back(Microseconds(stop - start));
      all.push_back(Microseconds(stop - start));
    }
  }
  uint64_t most_allocations = 0;
  for (size_t i = 0; i < Replays.size(); ++i) {
    const uint64_t before = HeapAllocations;
    DecodeAs(reading, Replays[i], &result);
    const uint64_t made = HeapAllocations - before;
    if (made > most_allocations) most_allocations = made;
    printf("%sdecode_file_us %s %.2f\n", prefix.c_str(), Replays[i].name.c_str(),
           Median(&per_file[i]));
  }
  printf("%sdecode_allocations %llu\n", prefix.c_str(),
         static_cast<unsigned long long>(most_allocations));
  PrintFigure((prefix + "decode_median_us").c_str(), Median(&all), 2);
}

}  // namespace

int main(int argc, char** argv) {
  bool figures_only = false;
  int rounds = 1001;
  TakeBenchSwitches(&argc, argv, &figures_only, &rounds);

  Replays = LoadRealReplays();
  Scratch = new DecodeScratch;
  snprintf(BenchNaming.name_template, sizeof BenchNaming.name_template, "%s", kBenchTemplate);
  if (!figures_only) {
    for (const Reading& reading : kReadings) {
      for (const RealReplay& replay : Replays) {
        benchmark::RegisterBenchmark((std::string(reading.prefix) + "decode/" + replay.name).c_str(),
                                     BM_Decode, &reading, &replay);
      }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  for (const Reading& reading : kReadings) PrintFigures(reading, rounds);
  delete Scratch;
  return 0;
}
