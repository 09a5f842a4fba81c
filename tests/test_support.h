// File helpers for tests that run the watcher against a real folder, on Linux and
// under Wine. Paths are given as the watcher writes them, with backslashes.
#ifndef BRINDLECAP_TESTS_TEST_SUPPORT_H_
#define BRINDLECAP_TESTS_TEST_SUPPORT_H_

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/real_replays.h"
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

#ifndef _WIN32
// Files far larger than any game writes, for the checks that the programs keep no
// more than a fixed head of a file in memory (16 MiB) and copy the rest in pieces.
constexpr int64_t kBigReplayFileSize = int64_t{128} << 20;
// How far a child's peak resident size may rise above that of a child doing the
// same with the plain replay: the head, small buffers and what the allocator or a
// sanitizer adds to them fit well within it; the whole file does not. (Under
// AddressSanitizer freed blocks wait in quarantine and are not handed out again,
// so a buffer taken afresh for every piece adds up to the whole file; one buffer
// kept for all the pieces does not.)
constexpr long kResidentMarginKiB = 48 * 1024;

// Writes replay at the start of a file of size bytes and leaves the rest a hole,
// but for a non-zero byte at 20 MiB, at the middle and at the very end: a copy that
// stops after the head or drops a piece differs. The hole costs no disk. False
// when the file cannot be written or size leaves no room for the marks.
bool WriteSparseReplay(const std::string& path, const Bytes& replay, int64_t size);

// Whether the two files hold the same bytes, read side by side in small pieces so
// that the comparison itself never holds a big file; says where they first differ.
testing::AssertionResult SameFileBytes(const std::string& expected, const std::string& actual);

// What a child process did: its exit code (-1 when a signal ended it), its peak
// resident size in KiB, and what it reported back.
struct ChildRun {
  int code;
  long peak_kib;
  std::string said;
};

// Runs action in a forked child, which exits with the code action returns (125
// when it throws) and never returns into the test runner; what action puts in its
// string comes back in said. The child's peak includes whatever of this process
// it shares at the fork, so compare it only with another child's.
ChildRun RunInChild(const std::function<int(std::string* said)>& action);
#endif

// Sets the last-write time, in seconds since 1970 (UTC).
bool SetWriteTime(const std::string& path, int64_t seconds);

// Every file below folder, as relative paths with backslashes, sorted.
std::vector<std::string> ListFiles(const std::string& folder);

// Makes every folder of relative (folders between backslashes) below base, which
// ends in a separator; those already there are kept. False when one cannot be made.
bool MakeFolders(const std::string& base, const std::string& relative);

#include "watcher/watcher.h"

// A fresh replay folder watched as the tray program watches one: its own stamp
// and status, settings at their start-up values but for the date tag, which is
// off so names are predictable, and no injected faults; all of it removed
// afterwards.
class ReplayFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // One pass over folder_'s LastReplay.w3g with settings_, last_seen_ and status_.
  PassOutcome Pass(bool prime = false);

  std::string folder_;      // ends in a backslash
  WatchSettings settings_;
  int32_t last_seen_ = 0;
  WatcherStatus status_ = WatcherStatus();
  DecodeScratch* scratch_ = nullptr;  // what the decode works in, on the heap: 128 KB
};

#endif  // BRINDLECAP_TESTS_TEST_SUPPORT_H_
