// Shared pieces of the benchmark programs (*_perftest.cpp): a count of every heap
// allocation the process makes, a clock, medians, and the real replays read once.
#ifndef BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_
#define BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_

#include <stddef.h>
#include <stdint.h>

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

// Prints one figure as "name value", the form the bench script collects.
void PrintFigure(const char* name, double value, int decimals);

#endif  // BRINDLECAP_TESTS_PERFTEST_SUPPORT_H_
