// Shared pieces of the benchmark programs (*_perftest.cpp): a count of every heap
// allocation the process makes, a clock, medians, and the real replays read once.
#ifndef BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_
#define BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/replay_builder.h"

// Every malloc, calloc, realloc, aligned allocation and operator new made by the
// process, its shared libraries included (zlib inflating, for one), since it started.
// The allocation functions are replaced in the benchmark programs to count them.
extern uint64_t HeapAllocations;

// Monotonic time in nanoseconds.
int64_t NowNanoseconds();

// Median of the samples (reorders them). 0 for none.
double Median(std::vector<double>* samples);

struct RealReplay {
  std::string name;  // file name only
  Bytes bytes;
};

// Runs a command line in this process, as run(argc, argv, out, err) takes it, with
// its output thrown away. Returns its exit code, or -1 when there is nowhere to
// throw the output.
template <typename Run>
int RunQuietly(Run run, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = fopen("/dev/null", "w");
  FILE* err = fopen("/dev/null", "w");
  int code = -1;
  if (out != nullptr && err != nullptr) {
    code = run(static_cast<int>(argv.size()), argv.data(), out, err);
  }
  if (out != nullptr) fclose(out);
  if (err != nullptr) fclose(err);
  return code;
}

// Every .w3g file of the real replay folder, by name; empty when the folder is
// absent (a message says so on stderr).
std::vector<RealReplay> LoadRealReplays();

// The real replay of that file name, or NULL.
const RealReplay* FindReplay(const std::vector<RealReplay>& replays, const std::string& name);

// Inflates every block of a replay as the whole reading does (raw, after the
// two-byte zlib header, at most what the block says it holds) into window, of
// kGameWindowSize bytes, and does nothing with the bytes: the floor of any reading.
// Returns how many came out.
size_t InflateBlocks(const unsigned char* bytes, size_t length, unsigned char* window);

// The same with libdeflate, as the whole reading inflates each block at once: the
// floor of the reading as it is. inflater is placed by PlaceWholeInflater; a block
// libdeflate refuses counts nothing (the real replays have none).
struct WholeInflater;
size_t InflateBlocksWhole(const unsigned char* bytes, size_t length, unsigned char* window,
                          WholeInflater* inflater);

// Takes this project's benchmark switches out of argv: --figures-only, and
// --rounds=N (at least 1) into *rounds, which holds the default. What is left is
// for Google Benchmark, in its order.
void TakeBenchSwitches(int* argc, char** argv, bool* figures_only, int* rounds);

// Prints one figure as "name value", the form the bench script collects.
void PrintFigure(const char* name, double value, int decimals);

// Peak memory of another program, for the benchmarks that run brindlecap-cli as
// players do, in a process of its own.

// Runs program with args (ending in NULL), its standard output to output and its
// standard error to /dev/null, and returns its peak resident memory in KB, or -1
// when it could not be run. *exit_code is its exit code, or -1 when it did not exit.
long SpawnAndMeasure(const char* program, char** args, const char* output, int* exit_code);

// The path of this program.
std::string SelfPath();

// When argv asks for it (PROGRAM --measure OUTPUT CLI ARGS...), runs CLI with ARGS
// and prints its peak in KB and its exit code, and returns true: main then returns
// *main_code. PeakKb starts this program so.
bool AnswerMeasure(int argc, char** argv, int* main_code);

// The peak resident memory, in KB, of cli run with args, its standard output to
// output. Linux counts into a process's peak the memory of the process it was
// started from, up to its exec: so a small process of this program's own (self,
// through AnswerMeasure) starts it, never this one, which may hold the real
// replays and more. The answer passes through a file in folder (a temporary
// folder, ending in a separator). -1 when cli could not be run or did not exit with
// 0 (with exit_code, any exit is measured and its code stored there).
long PeakKb(const std::string& self, const std::string& cli, const std::vector<std::string>& args,
            const std::string& output, const std::string& folder, int* exit_code = nullptr);

#endif  // BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_
