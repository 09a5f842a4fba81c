// brindlecap-cli watch, run in this process on a second thread, its output read
// through pipes as a terminal user would see it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "cli/commands.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/real_replays.h"
#include "tests/test_support.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

int ReadEnd(int fds[2]) { return fds[0]; }

#ifdef _WIN32
int MakePipe(int fds[2]) { return _pipe(fds, 65536, _O_BINARY); }
FILE* WriteStream(int fd) { return _fdopen(fd, "w"); }
void CloseFd(int fd) { _close(fd); }
// 1 when a byte can be read from fd within the deadline.
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;  // EOF
    if (available > 0) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(5);
  }
}
int ReadByte(int fd, char* c) { return _read(fd, c, 1); }
#else
int MakePipe(int fds[2]) { return pipe(fds); }
FILE* WriteStream(int fd) { return fdopen(fd, "w"); }
void CloseFd(int fd) { close(fd); }
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  struct pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) > 0;
}
int ReadByte(int fd, char* c) { return static_cast<int>(read(fd, c, 1)); }
#endif

// The next line from fd without its newline; "(timed out)" or "(end)" otherwise.
std::string ReadLine(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string line;
  for (;;) {
    if (!WaitReadable(fd, deadline)) return "(timed out)";
    char c;
    if (ReadByte(fd, &c) != 1) return line.empty() ? "(end)" : line;
    if (c == '\n') return line;
    if (c != '\r') line += c;
  }
}

class CliWatch : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    // A watch that ended before its loop leaves a stop request behind; each test's
    // watch starts without one.
    CliStopRequested = 0;
#ifdef _WIN32
    _putenv_s("BRINDLECAP_INTERVAL_MS", "20");
#else
    setenv("BRINDLECAP_INTERVAL_MS", "20", 1);
#endif
  }
  void TearDown() override {
    if (thread_.joinable()) {
      CliStopRequested = 1;
      thread_.join();
    }
    ReplayFolderTest::TearDown();
  }

  // Starts `watch switches... FOLDER` (without FOLDER when with_folder is false)
  // and waits until it has primed.
  void Start(std::vector<std::string> switches, bool with_folder = true) {
    ASSERT_EQ(0, MakePipe(out_pipe_));
    ASSERT_EQ(0, MakePipe(err_pipe_));
    args_ = {"brindlecap-cli", "watch"};
    args_.insert(args_.end(), switches.begin(), switches.end());
    // FOLDER without its separator.
    if (with_folder) args_.push_back(folder_.substr(0, folder_.size() - 1));
    RunArgs();
    EXPECT_TRUE(Contains(ReadLine(ReadEnd(err_pipe_)), "watching")) << "never primed";
  }

  // Runs args_ on a thread of its own, its output into the pipes.
  void RunArgs() {
    thread_ = std::thread([this] {
      std::vector<char*> argv;
      for (std::string& a : args_) argv.push_back(&a[0]);
      FILE* out = WriteStream(out_pipe_[1]);
      FILE* err = WriteStream(err_pipe_[1]);
      code_ = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
      fclose(out);
      fclose(err);
    });
  }

  // Stops the loop and returns everything it printed after the lines already read.
  void Stop(std::string* out, std::string* err) {
    CliStopRequested = 1;
    thread_.join();
    out->clear();
    err->clear();
    for (std::string line; (line = ReadLine(ReadEnd(out_pipe_))) != "(end)";) *out += line + "\n";
    for (std::string line; (line = ReadLine(ReadEnd(err_pipe_))) != "(end)";) *err += line + "\n";
    CloseFd(ReadEnd(out_pipe_));
    CloseFd(ReadEnd(err_pipe_));
  }

  // Puts a new LastReplay.w3g in place in one step, as the game's own rename
  // would, so that no pass sees it half written.
  void Place(const Bytes& bytes) { PlaceIn(folder_, bytes); }
  void PlaceIn(const std::string& folder, const Bytes& bytes) {
    stamp_ += 100;
    const std::string incoming = folder + "incoming.tmp";
    const std::string last = folder + "LastReplay.w3g";
    ASSERT_TRUE(WriteFileBytes(incoming, bytes));
    ASSERT_TRUE(SetWriteTime(incoming, stamp_));
#ifdef _WIN32
    ASSERT_TRUE(MoveFileExA(incoming.c_str(), last.c_str(), MOVEFILE_REPLACE_EXISTING));
#else
    std::string from = incoming, to = last;
    for (std::string* s : {&from, &to}) {
      for (char& c : *s) c = c == '\\' ? '/' : c;
    }
    ASSERT_EQ(0, rename(from.c_str(), to.c_str()));
#endif
  }

  std::string NextOut() { return ReadLine(ReadEnd(out_pipe_)); }
  std::string NextErr() { return ReadLine(ReadEnd(err_pipe_)); }

  int64_t stamp_ = 1500000000;
  std::vector<std::string> args_;
  std::thread thread_;
  int code_ = -1;
  int out_pipe_[2] = {-1, -1};
  int err_pipe_[2] = {-1, -1};
};

TEST_F(CliWatch, SavesEachNewReplayAndPrintsItsPath) {
  Place(BuildReplay(LadderReplay({{"Old", 1}, {"Game", 2}})));  // there before the start
  // The first new replay is held by the game for two passes, then read.
  InjectFault(kPlatformCallOpenRead, 2, folder_ + "LastReplay.w3g");
  Start({"-nodate"});

  Place(AlphaBeta());
  EXPECT_TRUE(Contains(NextErr(), "cannot read or copy LastReplay.w3g yet, trying again"));
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u).w3g", NextOut());
  Place(AlphaBeta());
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u)[1].w3g", NextOut());
  Place(BuildReplay(CustomReplay("fun")));
  EXPECT_TRUE(Contains(NextErr(), "not a ladder game")) << "custom game";
  SyntheticReplay tiny = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  tiny.file_length = 5119;
  Place(BuildReplay(tiny));
  EXPECT_TRUE(Contains(NextErr(), "shorter than 5120 bytes"));
  // Idle ticks from here on.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
  EXPECT_EQ("", out);
  EXPECT_EQ("brindlecap-cli: stopped\n", err);
  EXPECT_EQ((std::vector<std::string>{"1v1\\Alpha(h) vs Beta(u).w3g",
                                      "1v1\\Alpha(h) vs Beta(u)[1].w3g", "LastReplay.w3g"}),
            ListFiles(folder_));
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + "1v1\\Alpha(h) vs Beta(u)[1].w3g", &copy));
  EXPECT_EQ(AlphaBeta(), copy);
}

TEST_F(CliWatch, CustomGamesWithTheDateTagWhenAskedFor) {
  Start({"-custom"});
  const std::string today = DateTagNow();
  Place(BuildReplay(CustomReplay("fun")));
  std::string line = NextOut();
  const std::string tag = RunDateTag(today, line);
  EXPECT_EQ(std::string("Custom\\") + tag + "fun.w3g", line);
  EXPECT_EQ(8u, tag.size());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
}

TEST_F(CliWatch, ModernReadsTheCurrentGame) {
  Start({"-modern", "-nodate"});
  Place(ReforgedOneVsOne());
  EXPECT_EQ(kReforgedName, NextOut());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
}

#ifndef _WIN32
TEST_F(CliWatch, WithoutAFolderEveryFolderOfThePrefixAndNewAccounts) {
  std::string base = folder_;
  for (char& c : base) c = c == '\\' ? '/' : c;
  const std::string prefix = MakePrefix(base);
  ASSERT_FALSE(prefix.empty());
  const std::string battle_net = prefix + "/drive_c/users/me/Documents/Warcraft III/BattleNet/";
  PlaceIn(battle_net + "1001/Replays/", AlphaBeta());  // there before the start
  Start({"-modern", "-nodate", "--prefix", prefix}, false);

  PlaceIn(battle_net + "1001/Replays/", ReforgedOneVsOne());
  std::string expected = battle_net + "1001/Replays/" + kReforgedName;
  for (char& c : expected) c = c == '\\' ? '/' : c;
  EXPECT_EQ(expected, NextOut());

  // A new account plays; the folder's time moves on by a second at least.
  ASSERT_TRUE(PlatformMakeDirectory((battle_net + "2002").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((battle_net + "2002/Replays").c_str()));
  ASSERT_TRUE(SetWriteTime(battle_net, stamp_ + 7));
  EXPECT_TRUE(Contains(NextErr(), "a new account, watching " + battle_net + "2002/Replays/"));
  PlaceIn(battle_net + "2002/Replays/", AlphaBeta());
  EXPECT_EQ(battle_net + "2002/Replays/1v1/Alpha(h) vs Beta(u).w3g", NextOut());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
  EXPECT_EQ("", out);
}
#endif

#ifndef _WIN32
// --notify: the words go to notify-send as its arguments. A notify-send of the
// test's own, first on PATH, writes down each call's words.
class CliWatchNotify : public CliWatch {
 protected:
  void SetUp() override {
    CliWatch::SetUp();
    const char* path = getenv("PATH");
    saved_path_ = path != nullptr ? path : "";
    bin_ = Native(folder_ + "bin");
    calls_ = Native(folder_ + "calls");
    ASSERT_TRUE(PlatformMakeDirectory((folder_ + "bin").c_str()));
  }
  void TearDown() override {
    CliWatch::TearDown();
    setenv("PATH", saved_path_.c_str(), 1);
  }
  static std::string Native(std::string path) {
    for (char& c : path) c = c == '\\' ? '/' : c;
    return path;
  }
  // A notify-send that writes each argument on a line, then a blank line.
  void InstallFakeNotifySend() {
    const std::string script = bin_ + "/notify-send";
    FILE* file = fopen(script.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fprintf(file, "#!/bin/sh\nfor word in \"$@\"; do printf '%%s\\n' \"$word\"; done >>'%s'\n"
                  "echo >>'%s'\n", calls_.c_str(), calls_.c_str());
    fclose(file);
    ASSERT_EQ(0, chmod(script.c_str(), 0755));
  }
  // The words of every call so far, waiting up to a few seconds for count calls.
  std::vector<std::string> Calls(size_t count) {
    std::vector<std::string> calls;
    for (int wait = 0; wait < 200; ++wait) {
      calls.clear();
      std::string text;
      FILE* file = fopen(calls_.c_str(), "r");
      if (file != nullptr) {
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        fclose(file);
      }
      for (size_t at = 0, end; (end = text.find("\n\n", at)) != std::string::npos; at = end + 2) {
        calls.push_back(text.substr(at, end - at));
      }
      if (calls.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return calls;
  }
  std::string saved_path_;
  std::string bin_;
  std::string calls_;
};

TEST_F(CliWatchNotify, EachCopyAndAFailureOnceGoToNotifySend) {
  InstallFakeNotifySend();
  setenv("PATH", (bin_ + ":" + saved_path_).c_str(), 1);
  Bytes replay;
  ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "132-reforged_release.w3g", &replay));
  Place(replay);  // there at the start: no word of it
  Start({"-modern", "-nodate", "--notify"});
  Place(replay);
  EXPECT_EQ("1v1\\anXieTy(h) vs IroNSoul(u).w3g", NextOut());
  const std::string saved = "--app-name=Brindlecap\n--urgency=normal\nReplay saved\n"
                            "1v1\\anXieTy(h) vs IroNSoul(u).w3g \xE2\x80\x94 won, 18m11s";
  EXPECT_EQ(std::vector<std::string>{saved}, Calls(1));

  // The game holds the next one for three passes: one word, then one when saved.
  InjectFault(kPlatformCallOpenRead, 3, folder_ + "LastReplay.w3g");
  Place(replay);
  EXPECT_EQ("1v1\\anXieTy(h) vs IroNSoul(u)[1].w3g", NextOut());
  const std::vector<std::string> calls = Calls(3);
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ("--app-name=Brindlecap\n--urgency=normal\nReplay not saved yet\n"
            "LastReplay.w3g \xE2\x80\x94 the game or another program still holds it; tried "
            "again every ten seconds",
            calls[1]);
  EXPECT_NE(std::string::npos, calls[2].find("IroNSoul(u)[1].w3g \xE2\x80\x94 won, 18m11s"));
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
  EXPECT_EQ(3u, Calls(3).size()) << "nothing more while idle";
}

TEST_F(CliWatchNotify, WithoutNotifySendOneLineSaysSoAndTheWatchGoesOn) {
  setenv("PATH", bin_.c_str(), 1);  // a folder without it
  ASSERT_EQ(0, MakePipe(out_pipe_));
  ASSERT_EQ(0, MakePipe(err_pipe_));
  args_ = {"brindlecap-cli", "watch", "--notify", "-nodate", folder_.substr(0, folder_.size() - 1)};
  RunArgs();
  EXPECT_EQ("brindlecap-cli: notify-send is not installed (Debian and Ubuntu: libnotify-bin), so "
            "no notifications are shown",
            NextErr());
  EXPECT_TRUE(Contains(NextErr(), "watching"));
  Place(AlphaBeta());
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u).w3g", NextOut());
  Place(AlphaBeta());
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u)[1].w3g", NextOut());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ("brindlecap-cli: stopped\n", err) << "said once, not once a copy";
}
#endif

}  // namespace
