#include "watcher/watcher.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "replay/decode.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"
#include "watcher/folders.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// A fixed base time keeps stamps apart by whole seconds whatever the clock says.
const int64_t kBaseTime = 1700000000;

class LastReplayPass : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    last_ = folder_ + "LastReplay.w3g";
  }
  // The game writing its last replay at a given second.
  void GameWrites(const Bytes& file, int64_t second) {
    ASSERT_TRUE(WriteFileBytes(last_, file));
    ASSERT_TRUE(SetWriteTime(last_, kBaseTime + second));
  }
  // Files each replay of a list of real replays alone into the empty folder and
  // checks that it lands where the list says.
  void FileRealReplaysAsListed(const char* list);
  std::vector<std::string> Copies() {
    std::vector<std::string> files = ListFiles(folder_);
    std::vector<std::string> copies;
    for (const std::string& f : files) {
      if (f != "LastReplay.w3g") copies.push_back(f);
    }
    return copies;
  }
  std::string last_;
};

const char kOneVsOne[] = "1v1\\Alpha(h) vs Beta(u).w3g";

Bytes Ladder() { return BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})); }

TEST_F(LastReplayPass, PrimingRecordsThePresentReplayWithoutCopyingIt) {
  GameWrites(Ladder(), 0);
  EXPECT_EQ(kPassPrimed, Pass(true));
  EXPECT_EQ(kPassNothingNew, Pass(false));
  EXPECT_EQ(std::vector<std::string>{}, Copies());
  GameWrites(Ladder(), 20);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies());
}

TEST_F(LastReplayPass, WithoutAReplayAtStartTheFirstOneIsCopied) {
  EXPECT_EQ(kPassNothingNew, Pass(true));
  EXPECT_EQ(kPassNothingNew, Pass(false));
  Bytes file = Ladder();
  GameWrites(file, 0);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(kPassNothingNew, Pass(false));
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + kOneVsOne, &copy));
  EXPECT_EQ(file, copy);
}

TEST_F(LastReplayPass, OnlyANewWriteTimeMakesTheFileNew) {
  GameWrites(Ladder(), 0);
  EXPECT_EQ(kPassFiled, Pass(false));
  // Replaced within the same second: not noticed.
  GameWrites(BuildReplay(LadderReplay({{"Gamma", 2}, {"Delta", 4}})), 0);
  EXPECT_EQ(kPassNothingNew, Pass(false));
  GameWrites(Ladder(), 30);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ((std::vector<std::string>{kOneVsOne, "1v1\\Alpha(h) vs Beta(u)[1].w3g"}), Copies());
}

TEST_F(LastReplayPass, FilesUnderTheMinimumLengthAreNeverCopied) {
  SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  replay.file_length = kReplayMinimumLength - 1;
  GameWrites(BuildReplay(replay), 0);
  EXPECT_EQ(kPassTooShort, Pass(false));
  EXPECT_EQ(kPassNothingNew, Pass(false));
  EXPECT_EQ(std::vector<std::string>{}, Copies());

  replay.file_length = kReplayMinimumLength;
  GameWrites(BuildReplay(replay), 10);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies());
}

// A real game can leave a replay under the minimum length (a game left at once).
// With the length-aware reading a short replay that its lengths account for whole
// is kept; one cut while written is not, and without -modern the rule stays.
TEST_F(LastReplayPass, ShortReplaysWholeByTheirLengthsAreKeptWithModern) {
  SyntheticModernReplay game = ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}});
  const Bytes whole = BuildWholeModernReplay(game);
  ASSERT_LT(whole.size(), static_cast<size_t>(kReplayMinimumLength));
  const Bytes cut(whole.begin(), whole.end() - 1);
  const struct Case {
    HeaderReading reading;
    const Bytes* file;
    PassOutcome outcome;
  } cases[] = {
      {kFixedReading, &whole, kPassTooShort},
      {kLengthReading, &cut, kPassTooShort},
      {kLengthReading, &whole, kPassFiled},
  };
  int64_t second = 0;
  for (const Case& c : cases) {
    settings_.reading = c.reading;
    GameWrites(*c.file, second += 10);
    EXPECT_EQ(c.outcome, Pass(false)) << c.reading << " " << c.file->size();
  }
  ASSERT_EQ(std::vector<std::string>{"1v1\\Anna(h) vs Bert(u).w3g"}, Copies());
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + Copies()[0], &copy));
  EXPECT_EQ(whole, copy);
}

// The pass takes LastReplay.w3g as whatever it holds: with -modern, a NetEase
// container for its replay and a short replay followed by a platform's data as
// whole; the copy keeps the file's bytes and its ".w3g". Without -modern, as
// always: no replay at offset 76 of a container, and too short is too short.
TEST_F(LastReplayPass, WhatAPlatformPutsAroundTheReplay) {
  SyntheticModernReplay game = ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}});
  const Bytes whole = BuildWholeModernReplay(game);
  Bytes followed = whole;
  const Bytes tail = SignatureTail();
  followed.insert(followed.end(), tail.begin(), tail.end());
  ASSERT_LT(followed.size(), static_cast<size_t>(kReplayMinimumLength));
  SyntheticModernReplay long_game = game;
  long_game.file_length = 6000;
  const Bytes contained = InNetEaseContainer(BuildModernReplay(long_game));
  const struct Case {
    const char* what;
    HeaderReading reading;
    const Bytes* file;
    PassOutcome outcome;
  } cases[] = {
      {"a container without -modern", kFixedReading, &contained, kPassNotLadder},
      {"a short replay and a signature without -modern", kFixedReading, &followed, kPassTooShort},
      {"a container", kLengthReading, &contained, kPassFiled},
      {"a short replay and a signature", kLengthReading, &followed, kPassFiled},
  };
  int64_t second = 0;
  for (const Case& c : cases) {
    settings_.reading = c.reading;
    GameWrites(*c.file, second += 10);
    EXPECT_EQ(c.outcome, Pass(false)) << c.what;
    const std::vector<std::string> copies = Copies();
    if (c.outcome != kPassFiled) {
      EXPECT_EQ(std::vector<std::string>{}, copies) << c.what;
      continue;
    }
    ASSERT_EQ(std::vector<std::string>{"1v1\\Anna(h) vs Bert(u).w3g"}, copies) << c.what;
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + copies[0], &copy));
    EXPECT_EQ(*c.file, copy) << c.what;
    RemoveTree(folder_ + "1v1\\");
  }
}

TEST_F(LastReplayPass, CustomGamesNeedTheSwitch) {
  GameWrites(BuildReplay(CustomReplay("Night Elf Wars")), 0);
  EXPECT_EQ(kPassNotLadder, Pass(false));
  settings_.save_custom = true;
  EXPECT_EQ(kPassNothingNew, Pass(false));  // already handled
  GameWrites(BuildReplay(CustomReplay("Night Elf Wars")), 10);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(std::vector<std::string>{"Custom\\Night_Elf_Wars.w3g"}, Copies());
}

// Every fault that keeps the copy from being made leaves the replay to the next
// pass, which saves it once the fault is gone, and leaves nothing half-written.
TEST_F(LastReplayPass, FaultsLeaveTheReplayForTheNextPass) {
  struct Case {
    const char* what;
    SeamFaults faults;
  } cases[] = {
      {"held open by the game", {1, 0, 0, 0}},
      {"short read", {0, 1, 0, 0}},
      {"disk full", {0, 0, 1, 0}},
  };
  int64_t second = 0;
  for (const Case& c : cases) {
    second += 10;
    Bytes file = BuildReplay(LadderReplay({{c.what, 1}, {"Beta", 8}}));
    GameWrites(file, second);
    InjectFaults(c.faults);
    EXPECT_EQ(kPassRetryLater, Pass(false)) << c.what;
    std::string name = std::string("1v1\\") + c.what + "(h) vs Beta(u).w3g";
    EXPECT_EQ(std::vector<std::string>{}, Copies()) << c.what;
    EXPECT_EQ(kPassFiled, Pass(false)) << c.what;
    EXPECT_EQ(kPassNothingNew, Pass(false)) << c.what;
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + name, &copy)) << c.what;
    EXPECT_EQ(file, copy) << c.what;
    RemoveTree(folder_ + "1v1\\");
  }
}

// Each way a read can fail has an outcome of its own, so callers can say why.
TEST_F(LastReplayPass, ReadOutcomesNameTheirCause) {
  const Bytes file = Ladder();
  ASSERT_TRUE(WriteFileBytes(folder_ + "a.w3g", file));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "sub").c_str()));
  struct Case {
    const char* what;
    std::string path;
    PlatformCall fault;  // kPlatformCallCreateNew: none
    ReadOutcome outcome;
    size_t head_limit;
  } cases[] = {
      {"whole", folder_ + "a.w3g", kPlatformCallCreateNew, kReadDone, kReplayHeadLimit},
      {"longer than the head: its head", folder_ + "a.w3g", kPlatformCallCreateNew, kReadDone,
       4096},
      {"as long as the head: all of it", folder_ + "a.w3g", kPlatformCallCreateNew, kReadDone,
       file.size()},
      {"missing", folder_ + "b.w3g", kPlatformCallCreateNew, kReadMissing, kReplayHeadLimit},
      {"missing folder on the way", folder_ + "none\\a.w3g", kPlatformCallCreateNew, kReadMissing,
       kReplayHeadLimit},
      {"a folder", folder_ + "sub", kPlatformCallCreateNew, kReadIsFolder, kReplayHeadLimit},
      {"held open", folder_ + "a.w3g", kPlatformCallOpenRead, kReadCannotOpen, kReplayHeadLimit},
      {"shrank while read", folder_ + "a.w3g", kPlatformCallRead, kReadCameShort,
       kReplayHeadLimit},
      {"shrank while its head was read", folder_ + "a.w3g", kPlatformCallRead, kReadCameShort,
       4096},
  };
  for (const Case& c : cases) {
    if (c.fault != kPlatformCallCreateNew) InjectFault(c.fault, 1, c.path);
    ReplayFile read;
    EXPECT_EQ(c.outcome, ReadReplayFile(c.path.c_str(), &read, kFixedReading, c.head_limit))
        << c.what;
    EXPECT_EQ(c.outcome == kReadDone, read.head != nullptr) << c.what;
    if (read.head != nullptr) {
      // The rest stays on disk, and the file says where.
      const size_t held = std::min(c.head_limit, file.size());
      EXPECT_EQ(Bytes(file.begin(), file.begin() + held), Bytes(read.head, read.head + read.held))
          << c.what;
      EXPECT_EQ(file.size(), read.length) << c.what;
      EXPECT_EQ(held < file.size() ? c.path.c_str() : nullptr, read.path) << c.what;
    }
    ReleaseReplayFile(&read);
  }
}

// A copy that cannot be made says why, and where it was to go.
TEST_F(LastReplayPass, CopyFailuresKeepTheirCause) {
  const Bytes file = Ladder();
  DecodeResult result;
  Decode(file.data(), file.size(), scratch_, &result);
  const NameDate date = {2026, 7, 30, 12, 0, 0};
  FileResult filed;
  auto file_it = [&] {
    const ReplayFile whole = ReplayInMemory(file.data(), file.size());
    return FileReplayIn(folder_.c_str(), &result, &settings_.naming, &date, &whole, false,
                        &filed);
  };
  const std::string copy = folder_ + kOneVsOne;
  struct Case {
    const char* what;
    PlatformCall fault;
    PlatformError error;
  } cases[] = {
      {"no permission", kPlatformCallCreateNew, kPlatformDenied},
      {"disk full", kPlatformCallWrite, kPlatformDiskFull},
      {"failed close", kPlatformCallClose, kPlatformOther},
  };
  for (const Case& c : cases) {
    InjectFault(c.fault, 1, copy);
    EXPECT_EQ(kCopyFailed, file_it()) << c.what;
    EXPECT_EQ(c.error, filed.error) << c.what;
    EXPECT_EQ(copy, filed.path) << c.what;
    EXPECT_EQ(std::vector<std::string>{}, Copies()) << c.what;
  }
  // A file standing where the subfolder belongs: the folder for the copy is missing.
  RemoveTree(folder_ + "1v1\\");
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1", Bytes{'x'}));
  EXPECT_EQ(kCopyFailed, file_it());
  EXPECT_EQ(kPlatformMissing, filed.error);
  ASSERT_TRUE(RemoveFile(folder_ + "1v1"));
  EXPECT_EQ(kFiled, file_it());
  EXPECT_EQ(kPlatformOk, filed.error);
  EXPECT_EQ(copy, filed.path);
}

// The game writing on while a pass reads: nothing is filed from what was read, and
// the next pass takes the replay whole.
TEST_F(LastReplayPass, AReplayThatChangesWhileReadIsTakenOnTheNextPass) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> change;
  } cases[] = {
      {"new stamp", [](const std::string& path) { SetWriteTime(path, kBaseTime + 500); }},
      {"grew", [](const std::string& path) {
         Bytes longer = Ladder();
         longer.resize(longer.size() + 100, 0);
         WriteFileBytes(path, longer);
         SetWriteTime(path, kBaseTime + 10);  // the stamp the pass first saw
       }},
  };
  for (const Case& c : cases) {
    GameWrites(Ladder(), 10);
    last_seen_ = 0;
    DuringCall(kPlatformCallRead, last_, [&] { c.change(last_); });
    EXPECT_EQ(kPassRetryLater, Pass(false)) << c.what;
    EXPECT_EQ(kRetryStillWriting, status_.retry) << c.what;
    EXPECT_EQ(std::vector<std::string>{}, Copies()) << c.what;
    EXPECT_EQ(kPassFiled, Pass(false)) << c.what;
    EXPECT_EQ(kRetryNothing, status_.retry) << c.what;
    Bytes now, copy;
    ASSERT_TRUE(ReadFileBytes(last_, &now));
    ASSERT_TRUE(ReadFileBytes(folder_ + kOneVsOne, &copy)) << c.what;
    EXPECT_EQ(now, copy) << c.what;
    RemoveTree(folder_ + "1v1\\");
  }
}

// A LastReplay.w3g longer than any replay is copied from disk after its head is
// read: the game writing on during that copy leaves nothing behind, and the next
// pass takes the file whole.
TEST_F(LastReplayPass, AFileLongerThanAnyReplayChangedWhileCopiedIsTakenOnTheNextPass) {
  Bytes file = Ladder();
  file.resize(kReplayHeadLimit + kReplayPiece + 77, 0);
  file.back() = 1;
  struct Case {
    const char* what;
    std::function<void(const std::string&)> change;
  } cases[] = {
      {"grew", [&file](const std::string& path) {
         Bytes longer = file;
         longer.resize(longer.size() + 100, 2);
         WriteFileBytes(path, longer);
         SetWriteTime(path, kBaseTime + 10);  // the stamp the pass first saw
       }},
      {"its end rewritten", [&file](const std::string& path) {
         Bytes other = file;
         other.back() = 3;
         WriteFileBytes(path, other);
         SetWriteTime(path, kBaseTime + 500);
       }},
  };
  for (const Case& c : cases) {
    GameWrites(file, 10);
    last_seen_ = 0;
    // The first read takes the head; the change comes as the copy reads the rest.
    DuringCall(kPlatformCallRead, last_,
               [&] { DuringCall(kPlatformCallRead, last_, [&] { c.change(last_); }); });
    EXPECT_EQ(kPassRetryLater, Pass(false)) << c.what;
    EXPECT_EQ(kRetryStillWriting, status_.retry) << c.what;
    EXPECT_EQ(std::vector<std::string>{}, Copies()) << c.what;
    EXPECT_EQ(kPassFiled, Pass(false)) << c.what;
    Bytes now, copy;
    ASSERT_TRUE(ReadFileBytes(last_, &now));
    ASSERT_TRUE(ReadFileBytes(folder_ + kOneVsOne, &copy)) << c.what;
    EXPECT_NE(file, now) << c.what;
    EXPECT_TRUE(now == copy) << c.what;
    RemoveTree(folder_ + "1v1\\");
  }
}

// What the passes did, as the about box shows it: copies made, the latest, and
// the replay waiting for a retry with the reason.
TEST_F(LastReplayPass, StatusCountsCopiesAndNamesWhatWaits) {
  GameWrites(Ladder(), 10);
  EXPECT_EQ(kPassFiled, Pass(false));
  GameWrites(BuildReplay(LadderReplay({{"Gamma", 2}, {"Delta", 4}})), 20);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(2, status_.saved);
  EXPECT_EQ(folder_ + "1v1\\Gamma(o) vs Delta(e).w3g", status_.last_copy);
  EXPECT_EQ(kRetryNothing, status_.retry);

  // A file where the subfolder belongs.
  RemoveTree(folder_ + "1v1\\");
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1", Bytes{'x'}));
  GameWrites(Ladder(), 30);
  EXPECT_EQ(kPassRetryLater, Pass(false));
  EXPECT_EQ(kRetryCopyFailed, status_.retry);
  EXPECT_EQ(folder_ + kOneVsOne, status_.retry_path);
  EXPECT_EQ(kPlatformMissing, status_.copy_error);
  EXPECT_EQ(2, status_.saved);

  InjectFault(kPlatformCallOpenRead, 1, last_);
  EXPECT_EQ(kPassRetryLater, Pass(false));
  EXPECT_EQ(kRetryCannotOpen, status_.retry);
  EXPECT_STREQ("", status_.retry_path);

  ASSERT_TRUE(RemoveFile(folder_ + "1v1"));
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(3, status_.saved);
  EXPECT_EQ(folder_ + kOneVsOne, status_.last_copy);
  EXPECT_EQ(kRetryNothing, status_.retry);
}

TEST_F(LastReplayPass, ASubfolderThatCannotBeMadeIsRetriedUntilItCan) {
  // A file where the subfolder should be: nothing can be created below it.
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1", Bytes{'x'}));
  GameWrites(Ladder(), 0);
  EXPECT_EQ(kPassRetryLater, Pass(false));
  EXPECT_EQ(kPassRetryLater, Pass(false));
  ASSERT_TRUE(RemoveFile(folder_ + "1v1"));
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies());
}

TEST_F(LastReplayPass, AMissingReplayFolderIsNotAnError) {
  const std::string missing = folder_ + "not-there\\";
  for (bool prime : {true, false}) {
    EXPECT_EQ(kPassNothingNew, SaveReplayIn(missing.c_str(), &last_seen_, &status_, prime,
                                            &settings_, scratch_)) << prime;
  }
  EXPECT_EQ(0, status_.saved);
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
}

TEST_F(LastReplayPass, AnIdlePassMakesOneProbe) {
  GameWrites(Ladder(), 0);
  Pass(true);
  uint64_t before = PlatformCallCount;
  EXPECT_EQ(kPassNothingNew, Pass(false));
  EXPECT_EQ(1u, PlatformCallCount - before);

  // The program without -modern and -folder watches the install path's folder as
  // a list of one, with no accounts folder to look at: still one probe a pass.
  GameFolders found;
  ClearGameFolders(&found);
  snprintf(found.install, sizeof found.install, "%s", folder_.c_str());
  std::unique_ptr<WatchList> list(new WatchList);
  ClearWatchList(list.get());
  WatchGameFolders(list.get(), &found);
  ASSERT_EQ(1, list->count);
  WatchEveryFolder(list.get(), true, &settings_, scratch_);
  before = PlatformCallCount;
  WatchEveryFolder(list.get(), false, &settings_, scratch_);
  EXPECT_EQ(1u, PlatformCallCount - before);
  EXPECT_EQ(0, SavedInList(list.get()));
}

#ifdef _WIN32
// The game holding its replay open with no sharing: the pass cannot read it and
// must save it on the first pass after the game lets go.
TEST_F(LastReplayPass, AReplayHeldOpenWithoutSharingIsSavedAfterRelease) {
  GameWrites(Ladder(), 0);
  HANDLE held = CreateFileA(last_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(kPassRetryLater, Pass(false));
  EXPECT_EQ(kPassRetryLater, Pass(false));
  EXPECT_EQ(std::vector<std::string>{}, Copies());
  CloseHandle(held);
  EXPECT_EQ(kPassFiled, Pass(false));
  EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies());
}
#endif

#ifndef _WIN32
// A file far longer than any game writes (a ladder replay, then sparse bytes up to
// 128 MiB) is filed byte for byte, while the pass keeps no more than a fixed head of
// it in memory: its peak resident size stays near that of a pass filing the plain
// replay, whichever reading the switches ask for.
TEST_F(LastReplayPass, MemoryDoesNotFollowTheFilesSize) {
  const struct Case {
    const char* what;
    HeaderReading reading;
  } cases[] = {
      {"fixed reading", kFixedReading},
      {"-modern", kLengthReading},
  };
  // Each pass runs in a child of its own, so that its peak is its own; the parent's
  // stamp and status stay untouched, so each child finds the file new.
  auto file_in_child = [this]() {
    return RunInChild([this](std::string* said) {
      const PassOutcome outcome = Pass(false);
      *said = status_.last_copy;
      return static_cast<int>(outcome);
    });
  };
  for (const Case& c : cases) {
    settings_.reading = c.reading;
    GameWrites(Ladder(), 0);
    const ChildRun plain = file_in_child();
    EXPECT_EQ(kPassFiled, plain.code) << c.what;
    EXPECT_EQ(folder_ + kOneVsOne, plain.said) << c.what;
    RemoveTree(folder_ + "1v1\\");

    ASSERT_TRUE(WriteSparseReplay(last_, Ladder(), kBigReplayFileSize));
    ASSERT_TRUE(SetWriteTime(last_, kBaseTime + 10));
    const ChildRun big = file_in_child();
    EXPECT_EQ(kPassFiled, big.code) << c.what;
    EXPECT_EQ(folder_ + kOneVsOne, big.said) << c.what;
    EXPECT_EQ(std::vector<std::string>{kOneVsOne}, Copies()) << c.what;
    EXPECT_TRUE(SameFileBytes(last_, folder_ + kOneVsOne)) << c.what;

    ASSERT_GT(plain.peak_kib, 0) << c.what;
    EXPECT_LT(big.peak_kib - plain.peak_kib, kResidentMarginKiB)
        << c.what << ": peak " << plain.peak_kib << " KiB filing the plain replay, "
        << big.peak_kib << " KiB filing it at " << (kBigReplayFileSize >> 20) << " MiB";
    // The copy is real bytes on disk: gone before the next case.
    RemoveTree(folder_ + "1v1\\");
  }
}
#endif

// Real replays recorded by the game, each filed alone into an empty folder.
TEST_F(LastReplayPass, RealReplaysAreFiledWhereExpected) {
  FileRealReplaysAsListed("expected.tsv");
}

TEST_F(LastReplayPass, RealReplaysAreFiledWhereExpectedWithModern) {
  settings_.reading = kLengthReading;
  FileRealReplaysAsListed("expected-modern.tsv");
}

void LastReplayPass::FileRealReplaysAsListed(const char* list) {
  std::vector<ExpectedRow> rows = ReadExpectedRows(list);
  ASSERT_FALSE(rows.empty()) << "no rows in tests/replays/" << list;
  settings_.save_custom = true;
  int64_t second = 0;
  for (const ExpectedRow& row : rows) {
    Bytes file;
    ASSERT_TRUE(ReadFileBytes(RealReplayFolder() + row.file, &file)) << row.file;
    GameWrites(file, second += 10);
    PassOutcome outcome = Pass(false);
    std::vector<std::string> copies = Copies();
    if (row.path[0] == '(') {
      EXPECT_EQ(kPassTooShort, outcome) << row.file;
      EXPECT_EQ(std::vector<std::string>{}, copies) << row.file;
      continue;
    }
    EXPECT_EQ(kPassFiled, outcome) << row.file;
    // The list names the copy of the file under its own name; as LastReplay.w3g,
    // a NetEase file's copy is a ".w3g" too.
    const std::string listed = row.path.substr(0, row.path.size() - 4) + ".w3g";
    EXPECT_EQ(std::vector<std::string>{listed}, copies) << row.file;
    Bytes copy;
    if (copies.size() == 1 && ReadFileBytes(folder_ + copies[0], &copy)) {
      EXPECT_EQ(file, copy) << row.file;
    }
    for (const char* sub : {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\", "Custom\\"}) {
      RemoveTree(folder_ + sub);
    }
  }
}

}  // namespace
