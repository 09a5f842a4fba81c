// What the command line's tests share: one run of brindlecap-cli in this process
// with its output caught, the replays the commands are tried on, the date tag a
// run names its copies with, a Wine prefix as Wine makes it, and on Windows the
// game's registry key of a test's own. The tray program's tests use them too, to
// see that both programs agree.
#ifndef BRINDLECAP_CLI_CLI_TEST_SUPPORT_H_
#define BRINDLECAP_CLI_CLI_TEST_SUPPORT_H_

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "tests/replay_builder.h"

#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>
#endif

// Just enough JSON for the commands' output: objects, arrays, strings with
// escapes, numbers, true and false. Text that is not JSON fails the parse.
struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;
  const Json& operator[](const std::string& key) const {
    static const Json none;
    auto found = fields.find(key);
    return found == fields.end() ? none : found->second;
  }
};

// Parses text whole into value. False when it is not one JSON value.
bool ParseJson(const std::string& text, Json* value);

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

// Everything written to file, which is closed.
std::string Drain(FILE* file);

struct CliProgress;

// Runs `brindlecap-cli args...` in this process, standard output and error caught.
// Every run starts from what its switches say, as a new process would. progress,
// when given, is told how stats and report go, and may stop them.
CliRun RunWith(std::vector<std::string> args, const CliProgress* progress = nullptr);

#ifndef _WIN32
// RunWith in a forked child (RunInChild), so that what the run holds is measured
// apart from this process: its code (-1 when a signal ended it), output and error,
// and the child's peak resident size in KiB.
CliRun RunInChildWith(std::vector<std::string> args, long* peak_kib);
#endif

#ifndef _WIN32
// RunWith with standard error on a terminal (a pseudo-terminal of the test's);
// err holds what the terminal was shown.
CliRun RunOnTerminal(std::vector<std::string> args);
#endif

bool Contains(const std::string& text, const std::string& part);

// A ladder 1v1 of the classic game: "1v1\Alpha(h) vs Beta(u).w3g".
const Bytes& AlphaBeta();

// Another ladder 1v1 of the classic game: "1v1\Cleo(o) vs Dave(e).w3g".
const Bytes& CleoDave();

// A ladder game of the current game (12-byte block headers): nothing to the
// default reading, a 1v1 to -modern, named kReforgedName.
const Bytes& ReforgedOneVsOne();
extern const char kReforgedName[];

// The same replay with its last (padding) byte changed: the same name, other bytes.
Bytes LastByteChanged(const Bytes& replay, unsigned char value);

// The date tag a copy named now carries, "[BCmmdd]", as the default switches
// build it.
std::string DateTagNow();

// The date tag a run that started when DateTagNow() was before named its copies
// with: that day's, or the next day's when the run went past midnight and its
// output carries that one.
std::string RunDateTag(const std::string& before, const std::string& out);

#ifndef _WIN32
// A Wine prefix as Wine makes it below base, with no user.reg: the user's
// Documents holds the current game's folders, one account (1001) among them.
// Returns its path, or "" when it could not be made.
std::string MakePrefix(const std::string& base);
#endif

#ifdef _WIN32
// HKEY_CURRENT_USER redirected, for this process, to a key of the test's own, so
// that the game's own key (kGameRegistryKey) is written and read there as both
// programs read it, and a run never touches the game's settings.
class RedirectedUserKey : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Sets a value of the game's key, which is made when missing: a REG_SZ with its
  // NUL, any other type as the bytes alone.
  void SetGameValue(const char* name, const std::string& data, DWORD type = REG_SZ);
  // Takes the game's key away, values and all.
  void DeleteGameKey();

  char root_[128];
  HKEY user_ = NULL;
};
#endif

#endif  // BRINDLECAP_CLI_CLI_TEST_SUPPORT_H_
