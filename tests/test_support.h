// File helpers for tests that run the watcher against a real folder, on Linux and
// under Wine. Paths are given as the watcher writes them, with backslashes.
#ifndef BRINDLECAP_TESTS_TEST_SUPPORT_H_
#define BRINDLECAP_TESTS_TEST_SUPPORT_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"

// A new empty folder under the system's temporary folder, ending in a separator (a
// backslash on Windows, a slash elsewhere).
std::string MakeTempFolder();

// Removes a folder made by MakeTempFolder and everything below it.
void RemoveTree(const std::string& folder);

bool RemoveFile(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
bool ReadFileBytes(const std::string& path, Bytes* bytes);

#ifndef _WIN32
// Makes a FIFO (a named pipe) at path.
bool MakeFifo(const std::string& path);

// Runs action on another thread while watching the FIFO at fifo: an open of it for
// reading waits for a writer, without end. When action has not finished after three
// seconds, the FIFO is opened for writing and closed again, as often as it takes to
// let every such open go (each then reads an empty file). Returns true when action
// finished without that.
bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& action);
#endif

// Sets the last-write time, in seconds since 1970 (UTC).
bool SetWriteTime(const std::string& path, int64_t seconds);

// Every file below folder, as relative paths with backslashes, sorted.
std::vector<std::string> ListFiles(const std::string& folder);

// The folder of real replays recorded by the game, ending in a separator, or ""
// when it is not there.
std::string RealReplayFolder();

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

// Resets the watcher's settings and stamps to their start-up values and points
// ReplayFolder at folder.
void ResetWatcher(const std::string& folder);

// A fresh replay folder with the watcher reset to it, the date tag off so names
// are predictable, and no injected faults; all of it removed afterwards.
class ReplayFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string folder_;
};

#endif  // BRINDLECAP_TESTS_TEST_SUPPORT_H_
