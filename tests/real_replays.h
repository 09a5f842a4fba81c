// The real replays recorded by the game and their tables of expected results, for
// test programs of every room (they need nothing but the C++ library to read them).
#ifndef BRINDLECAP_TESTS_REAL_REPLAYS_H_
#define BRINDLECAP_TESTS_REAL_REPLAYS_H_

#include <string>
#include <vector>

#include "tests/replay_builder.h"

// The folder of real replays recorded by the game, ending in a separator, or ""
// when it is not there.
std::string RealReplayFolder();

// Reads a whole file into bytes. False when it cannot be read.
bool ReadWholeFile(const std::string& path, Bytes* bytes);

// The rows of one of the real replays' lists, expected.tsv (the default reading)
// or expected-modern.tsv (-modern): file name and expected path (or a row whose
// path starts with "(" for a file that is never filed).
struct ExpectedRow {
  std::string file;
  std::string path;
};
std::vector<ExpectedRow> ReadExpectedRows(const char* list = "expected.tsv");

// The cells of one line of a tab-separated list.
std::vector<std::string> SplitTabs(const std::string& line);

#endif  // BRINDLECAP_TESTS_REAL_REPLAYS_H_
