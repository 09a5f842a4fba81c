// The watcher pass against faults of the world around it: a replay held by another
// process, a full disk, a replay folder that comes and goes, paths at the limits.
// Faults injected at the file seam are in watcher_test and filing_test.
#include "watcher/watcher.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/destination_check.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

namespace {

const int64_t kBaseTime = 1700000000;

#ifdef __linux__
std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}
#endif

// The fixture's values watch one folder: folder_, or one below it that Watch
// names, with the settings, stamp and status a fresh start gives it.
class Faults : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    Watch(folder_);
  }
  void Watch(const std::string& folder) {
    watched_ = folder;
    settings_ = WatchSettings();
    settings_.naming.date_tag = false;
    last_seen_ = 0;
    status_ = WatcherStatus();
    ClearFaults();
    last_ = folder + "LastReplay.w3g";
  }
  // One pass over the watched folder.
  PassOutcome WatchPass(bool prime = false) {
    return SaveReplayIn(watched_.c_str(), &last_seen_, &status_, prime, &settings_, scratch_);
  }
  void GameWrites(const Bytes& file, int64_t second) {
    ASSERT_TRUE(WriteFileBytes(last_, file));
    ASSERT_TRUE(SetWriteTime(last_, kBaseTime + second));
  }
  // Files below the watched folder other than the game's own.
  std::vector<std::string> Copies(const std::string& skip = "") {
    std::vector<std::string> copies;
    for (const std::string& f : ListFiles(watched_)) {
      if (f != "LastReplay.w3g" && f != skip) copies.push_back(f);
    }
    return copies;
  }
  void ExpectCopyOf(const Bytes& file, const std::string& relative) {
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(watched_ + relative, &copy)) << relative;
    EXPECT_TRUE(file == copy) << relative << " differs from the replay";
  }
  std::string watched_;
  std::string last_;
};

const char kOneVsOne[] = "1v1\\Alpha(h) vs Beta(u).w3g";

Bytes Ladder(const char* second_player = "Beta") {
  return BuildReplay(LadderReplay({{"Alpha", 1}, {second_player, 8}}));
}

// The folder is never created by the watcher: passes while it is missing find
// nothing, and a replay is taken up the first pass after the folder is back. A
// replay already copied is not copied again when the folder returns with it.
TEST_F(Faults, AReplayFolderThatComesAndGoesIsWatchedWhileItIsThere) {
  const std::string replay_folder = folder_ + "replay\\";
  Watch(replay_folder);
  int32_t stamp = 0;
  EXPECT_EQ(kPassNothingNew, WatchPass(true));
  EXPECT_EQ(kPassNothingNew, WatchPass(false));
  EXPECT_FALSE(PlatformProbe(replay_folder.c_str(), &stamp)) << "replay folder was created";

  ASSERT_TRUE(PlatformMakeDirectory(replay_folder.c_str()));
  const Bytes first = Ladder();
  GameWrites(first, 0);
  EXPECT_EQ(kPassFiled, WatchPass(false));
  ExpectCopyOf(first, kOneVsOne);

  RemoveTree(replay_folder);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(kPassNothingNew, WatchPass(false));
  EXPECT_FALSE(PlatformProbe(replay_folder.c_str(), &stamp)) << "replay folder was created";

  // Restored with the replay already copied: nothing to do.
  ASSERT_TRUE(PlatformMakeDirectory(replay_folder.c_str()));
  GameWrites(first, 0);
  EXPECT_EQ(kPassNothingNew, WatchPass(false));
  EXPECT_EQ(std::vector<std::string>{}, Copies());

  const Bytes next = Ladder("Gamma");
  GameWrites(next, 60);
  EXPECT_EQ(kPassFiled, WatchPass(false));
  EXPECT_EQ(std::vector<std::string>{"1v1\\Alpha(h) vs Gamma(u).w3g"}, Copies());
  ExpectCopyOf(next, "1v1\\Alpha(h) vs Gamma(u).w3g");
}

#ifdef _WIN32
// Another process holding the replay open with no sharing, as the game does while
// it writes. Holds it from hold_open.exe, which sits beside this test.
struct Holder {
  HANDLE process = nullptr;
  HANDLE input = nullptr;  // closing it lets the holder go
};

bool StartHolder(const std::string& path, Holder* holder, std::string* why) {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  char* slash = n > 0 && n < sizeof exe ? strrchr(exe, '\\') : nullptr;
  if (slash == nullptr || (slash - exe) + sizeof "\\hold_open.exe" > sizeof exe) {
    *why = "cannot tell where this test's exe lies";
    return false;
  }
  strcpy(slash, "\\hold_open.exe");

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE in_read, in_write, out_read, out_write;
  if (!CreatePipe(&in_read, &in_write, &inherit, 0)) {
    *why = "CreatePipe failed";
    return false;
  }
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) {
    CloseHandle(in_read);
    CloseHandle(in_write);
    *why = "CreatePipe failed";
    return false;
  }
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = out_write;
  std::string command = std::string("\"") + exe + "\" \"" + path + "\"";
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  PROCESS_INFORMATION info = {};
  BOOL started = CreateProcessA(exe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &info);
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(in_write);
    CloseHandle(out_read);
    *why = std::string("cannot start ") + exe;
    return false;
  }
  CloseHandle(info.hThread);
  holder->process = info.hProcess;
  holder->input = in_write;

  // Its first line says whether it holds the file.
  std::string said;
  char c;
  DWORD got = 0;
  while (ReadFile(out_read, &c, 1, &got, nullptr) && got == 1 && c != '\n') said += c;
  CloseHandle(out_read);
  if (!said.empty() && said.back() == '\r') said.pop_back();
  if (said != "held") {
    *why = "hold_open said: " + said;
    return false;
  }
  return true;
}

bool StopHolder(Holder* holder) {
  if (holder->input != nullptr) CloseHandle(holder->input);
  holder->input = nullptr;
  if (holder->process == nullptr) return false;
  bool ended = WaitForSingleObject(holder->process, 30000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(holder->process, &code);
  CloseHandle(holder->process);
  holder->process = nullptr;
  return ended && code == 0;
}

TEST_F(Faults, AReplayHeldByAnotherProcessIsSavedOnTheFirstPassAfterRelease) {
  const Bytes file = Ladder();
  GameWrites(file, 0);
  Holder holder;
  std::string why;
  if (!StartHolder(last_, &holder, &why)) {
    StopHolder(&holder);
    FAIL() << why;
  }
  EXPECT_EQ(kPassRetryLater, WatchPass(false));
  EXPECT_EQ(kPassRetryLater, WatchPass(false));
  EXPECT_EQ(std::vector<std::string>{}, Copies());
  ASSERT_TRUE(StopHolder(&holder));
  EXPECT_EQ(kPassFiled, WatchPass(false));
  EXPECT_EQ(kPassNothingNew, WatchPass(false));
  EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies());
  ExpectCopyOf(file, kOneVsOne);
}
#endif  // _WIN32

#ifdef __linux__
// Mounts a small tmpfs on folder. The mount lives in a mount namespace of this
// process's own, so it vanishes with the process however the process ends; the
// caller still unmounts it when done. Returns "" or why it could not.
std::string MountSmallDisk(const std::string& folder, size_t bytes) {
  if (unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
  // Keep what is mounted here from propagating back to the rest of the system.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return std::string("making mounts private: ") + strerror(errno);
  }
  char options[64];
  snprintf(options, sizeof options, "size=%zu,mode=0700", bytes);
  if (mount("tmpfs", Native(folder).c_str(), "tmpfs", 0, options) != 0) {
    return std::string("mount tmpfs: ") + strerror(errno);
  }
  return "";
}

// Fills the file system holding path until a write fails for lack of space.
bool FillDisk(const std::string& path) {
  int fd = open(Native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  char block[4096];
  memset(block, 'f', sizeof block);
  ssize_t n;
  while ((n = write(fd, block, sizeof block)) > 0) {
  }
  const bool full = n < 0 && errno == ENOSPC;
  return close(fd) == 0 && full;
}

class FullDisk : public Faults {
 protected:
  void TearDown() override {
    if (mounted_) umount2(Native(folder_).c_str(), MNT_DETACH);
    Faults::TearDown();
  }
  bool mounted_ = false;
};

// With the replay folder on a full disk the copy fails part-way or at once; what
// was written is removed, and the replay is saved once there is room again.
TEST_F(FullDisk, LeavesNoPartialCopyAndSavesOnceThereIsRoom) {
  std::string why = MountSmallDisk(folder_, 512 * 1024);
  if (!why.empty()) {
    GTEST_SKIP() << "cannot mount a small tmpfs (needs root with CAP_SYS_ADMIN): " << why;
  }
  mounted_ = true;

  SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  replay.file_length = 96 * 1024;
  const Bytes file = BuildReplay(replay);
  const std::string filler = folder_ + "filler";
  struct Case {
    const char* what;
    off_t room;  // bytes freed after filling the disk
  } cases[] = {{"no room at all", 0}, {"room for a third of the copy", 32 * 1024}};
  int64_t second = 0;
  for (const Case& c : cases) {
    GameWrites(file, second += 10);
    ASSERT_TRUE(FillDisk(filler)) << c.what;
    struct stat st;
    ASSERT_EQ(0, stat(Native(filler).c_str(), &st));
    ASSERT_EQ(0, truncate(Native(filler).c_str(), st.st_size - c.room)) << c.what;

    for (int tick = 0; tick < 2; ++tick) {
      EXPECT_EQ(kPassRetryLater, WatchPass(false)) << c.what;
      EXPECT_EQ(std::vector<std::string>{}, Copies("filler")) << c.what;
    }
    ASSERT_TRUE(RemoveFile(filler));
    EXPECT_EQ(kPassFiled, WatchPass(false)) << c.what;
    EXPECT_EQ(kPassNothingNew, WatchPass(false)) << c.what;
    EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies()) << c.what;
    ExpectCopyOf(file, kOneVsOne);
    ASSERT_TRUE(RemoveFile(folder_ + kOneVsOne));
  }
}
#endif  // __linux__

#ifndef _WIN32
// A pipe where the game writes its replay is no replay: the pass does not wait for a
// writer on it (which would stop the watch loop and Ctrl-C with it), and saves the
// replay that takes its place.
TEST_F(Faults, APipeAsTheLastReplayIsNotWaitedFor) {
  EXPECT_EQ(kPassNothingNew, WatchPass(true));
  ASSERT_TRUE(MakeFifo(last_));
  ASSERT_TRUE(SetWriteTime(last_, kBaseTime + 10));
  PassOutcome outcome = kPassNothingNew;
  EXPECT_TRUE(FinishesWithoutWaitingOn(last_, [&] { outcome = WatchPass(false); }));
  EXPECT_EQ(kPassRetryLater, outcome);
  EXPECT_EQ(std::vector<std::string>{}, Copies());
  ASSERT_TRUE(RemoveFile(last_));
  GameWrites(Ladder(), 20);
  EXPECT_EQ(kPassFiled, WatchPass(false));
  ExpectCopyOf(Ladder(), kOneVsOne);
}

// The date tag a pass files under now: the pass names its copies by the local
// date of the moment it files them.
std::string DateTagNow(const NameOptions* options) {
  const NameDate now = LocalNameDate();
  char tag[kDateTagSize];
  BuildDateTag(options, &now, tag, sizeof tag);
  return tag;
}

// Replay folders up to the longest the path buffer holds, with the longest names a
// header can carry. Windows paths stop at 260 characters, so only here can a
// folder come near the buffer's 1023. Either the copy is filed under a complete
// name ending in ".w3g", or the replay is left alone; ASan watches the buffers.
TEST_F(Faults, PathsAtTheBufferLimitFileACompleteNameOrNothing) {
  const size_t longest = kPathSize - 1;
  const std::string huge_name(5000, 'N');
  std::vector<SyntheticPlayer> sixteen(16, SyntheticPlayer{std::string(700, 'P'), 2});
  sixteen[3].name = "Observer";
  SyntheticReplay damaged = LadderReplay(sixteen);
  damaged.count = 127;
  struct Case {
    const char* what;
    size_t folder_length;
    bool date_tag;
    SyntheticReplay replay;
    PassOutcome outcome;
    const char* subfolder;  // where the copies go, when they are filed
  } cases[] = {
      {"last-replay path past the buffer", longest, true,
       LadderReplay({{huge_name, 1}, {huge_name, 2}}), kPassNothingNew, nullptr},
      {"last-replay path fills the buffer, no name fits", longest - strlen("LastReplay.w3g"), true,
       LadderReplay({{huge_name, 1}, {huge_name, 2}}), kPassNoNameFits, nullptr},
      {"room for one character of body",
       longest - strlen("1v1\\") - strlen("[BC0101]") - strlen("[999].w3g") - 1, true,
       LadderReplay({{huge_name, 1}, {huge_name, 2}}), kPassFiled, "1v1\\"},
      {"room for an empty body only", longest - strlen("Custom\\") - strlen("[999].w3g"), false,
       CustomReplay(huge_name), kPassFiled, "Custom\\"},
      {"custom game name longer than any path", 600, true, CustomReplay(huge_name), kPassFiled,
       "Custom\\"},
      {"sixteen long names", 600, false, LadderReplay(sixteen), kPassFiled, "FFA\\"},
      {"damaged count with long names", 900, true, damaged, kPassFiled, "FFA\\"},
  };
  int64_t second = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char folder[kPathSize + 64];
    ASSERT_TRUE(LongFolderName(folder_.c_str(), c.folder_length, folder, sizeof folder));
    ASSERT_TRUE(MakeFolders(folder_, folder + folder_.size()));
    Watch(folder);
    settings_.save_custom = true;
    settings_.naming.date_tag = c.date_tag;
    const Bytes file = BuildReplay(c.replay);
    GameWrites(file, second += 10);
    const std::string tag = DateTagNow(&settings_.naming);

    // Filed twice: the second copy takes the counter, in the same fitted body.
    EXPECT_EQ(c.outcome, WatchPass(false));
    EXPECT_EQ(kPassNothingNew, WatchPass(false));
    GameWrites(file, second += 10);
    WatchPass(false);
    std::vector<std::string> copies = Copies();
    const std::string tag_after = DateTagNow(&settings_.naming);  // midnight may come between
    if (c.subfolder == nullptr) {
      EXPECT_EQ(std::vector<std::string>{}, copies);
      for (const char* sub : {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\", "Custom\\"}) {
        int32_t stamp;
        EXPECT_FALSE(PlatformProbe((std::string(folder) + sub).c_str(), &stamp)) << sub;
      }
      RemoveTree(folder_);
      ASSERT_TRUE(PlatformMakeDirectory(folder_.c_str()));
      continue;
    }
    ASSERT_EQ(2u, copies.size());
    const std::string& plain = copies[0];
    EXPECT_EQ(plain.substr(0, plain.size() - strlen(".w3g")) + "[1].w3g", copies[1]);
    for (size_t i = 0; i < copies.size(); ++i) {
      std::string path = folder + copies[i];
      const int counter = copies[i].find("[1].w3g") != std::string::npos ? 1 : 0;
      const char* problem = nullptr;
      for (const std::string* t : {&tag, &tag_after}) {
        problem = DestinationProblem(path.c_str(), folder, !c.replay.ladder, counter, t->c_str(),
                                     settings_.naming.name_template);
        if (problem == nullptr) break;
      }
      EXPECT_EQ(nullptr, problem) << (problem != nullptr ? problem : "") << ": " << copies[i];
      EXPECT_EQ(0u, copies[i].find(c.subfolder)) << copies[i];
      ExpectCopyOf(file, copies[i]);
    }
    RemoveTree(folder_);
    ASSERT_TRUE(PlatformMakeDirectory(folder_.c_str()));
  }
}
#endif  // !_WIN32

}  // namespace
