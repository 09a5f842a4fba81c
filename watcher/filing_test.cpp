#include "watcher/filing.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Filing into a real folder.
class Filing : public ReplayFolderTest {
 protected:
  FileOutcome File(const Bytes& file, bool unless_there = false) {
    DecodeResult result;
    Decode(file.data(), file.size(), scratch_, &result);
    const ReplayFile whole = ReplayInMemory(file.data(), file.size());
    return FileReplayIn(folder_.c_str(), &result, &settings_.naming, &date_, &whole,
                        unless_there, &filed_);
  }
  // The same, of a file read from disk: its head decoded, its rest copied from there.
  FileOutcome File(const ReplayFile* file, bool unless_there = false) {
    DecodeResult result;
    Decode(file->head, file->held, scratch_, &result);
    return FileReplayIn(folder_.c_str(), &result, &settings_.naming, &date_, file, unless_there,
                        &filed_);
  }
  FileOutcome Plan(const DecodeResult* result, PlannedNames* planned, char* path, size_t size,
                   const Bytes* bytes = nullptr) {
    const ReplayFile whole =
        bytes != nullptr ? ReplayInMemory(bytes->data(), bytes->size()) : ReplayFile{};
    const ReplayCopy same = {&whole, bytes != nullptr ? ReplayHash(bytes->data(), bytes->size())
                                                      : 0};
    return PlanReplay(folder_.c_str(), result, &settings_.naming, &date_, planned, path, size,
                      bytes != nullptr ? &same : nullptr);
  }
  NameDate date_ = {2026, 7, 30, 12, 0, 0};
  FileResult filed_;
};

TEST_F(Filing, CopiesByteForByteUnderTheFirstFreeName) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(kFiled, File(file));
  std::vector<std::string> expected = {"1v1\\Alpha(h) vs Beta(u).w3g",
                                       "1v1\\Alpha(h) vs Beta(u)[1].w3g",
                                       "1v1\\Alpha(h) vs Beta(u)[2].w3g"};
  EXPECT_EQ(expected, ListFiles(folder_));
  EXPECT_EQ(folder_ + expected[2], filed_.path);
  for (const std::string& name : expected) {
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + name, &copy));
    EXPECT_EQ(file, copy) << name;
  }
}

// The tag is the date filing is handed; the pass hands it the local date of the
// day it files.
TEST_F(Filing, DateTagLeadsTheName) {
  settings_.naming.date_tag = true;
  const Bytes file = BuildReplay(CustomReplay("my game #2!"));
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(std::vector<std::string>{"Custom\\[BC0730]my_game__2_.w3g"}, ListFiles(folder_));
  ASSERT_TRUE(RemoveFile(filed_.path));

  settings_.save_custom = true;
  ASSERT_TRUE(WriteFileBytes(folder_ + "LastReplay.w3g", file));
  std::vector<std::string> days;  // the day before the pass and after it, at midnight two
  for (int i = 0; i < 2; ++i) {
    int month = 0, day = 0;
    PlatformLocalDate(&month, &day);
    char name[64];
    snprintf(name, sizeof name, "Custom\\[BC%02d%02d]my_game__2_.w3g", month, day);
    days.push_back(folder_ + name);
    if (i == 0) {
      ASSERT_EQ(kPassFiled, Pass());
    }
  }
  EXPECT_TRUE(status_.last_copy == days[0] || status_.last_copy == days[1])
      << status_.last_copy << " is not named by " << days[0];
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(status_.last_copy, &copy));
  EXPECT_EQ(file, copy);
}

// Without the date tag an empty game name would leave nothing before ".w3g": a
// file hidden on Linux and with no name in Explorer. It is called Replay instead.
TEST_F(Filing, AnEmptyNameIsFiledUnderAVisibleOne) {
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay(""))));
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay(""))));
  EXPECT_EQ((std::vector<std::string>{"Custom\\Replay.w3g", "Custom\\Replay[1].w3g"}),
            ListFiles(folder_));
}

#ifndef _WIN32
// A dangling link where a copy would go: looking the name up follows the link and
// finds nothing, creating the file refuses the link. The copy takes the next free
// name, and the links are left as they were.
TEST_F(Filing, ADanglingLinkWhereACopyWouldGoIsPassedOver) {
  const Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  const std::string root = folder_.substr(0, folder_.size() - 1);
  ASSERT_EQ(0, mkdir((root + "/1v1").c_str(), 0777));
  const char* const kLinked[] = {"Alpha(h) vs Beta(u).w3g", "Alpha(h) vs Beta(u)[1].w3g"};
  const std::string targets[] = {root + "/gone.w3g", root + "/no folder/gone.w3g"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(0, symlink(targets[i].c_str(), (root + "/1v1/" + kLinked[i]).c_str()));
  }
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(folder_ + "1v1\\Alpha(h) vs Beta(u)[2].w3g", filed_.path);
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(filed_.path, &copy));
  EXPECT_EQ(file, copy);
  for (int i = 0; i < 2; ++i) {
    char target[1024];
    const ssize_t n = readlink((root + "/1v1/" + kLinked[i]).c_str(), target, sizeof target);
    ASSERT_GT(n, 0) << kLinked[i];
    EXPECT_EQ(targets[i], std::string(target, static_cast<size_t>(n)));
  }
  EXPECT_NE(0, access(targets[0].c_str(), F_OK));  // nothing written through a link
}
#endif

TEST_F(Filing, NothingIsOverwrittenWhenEveryNameIsTaken) {
  Bytes file = BuildReplay(CustomReplay("full"));
  ASSERT_EQ(kFiled, File(file));
  Bytes old = {'o', 'l', 'd'};
  char name[64];
  for (int i = 1; i <= 999; ++i) {
    snprintf(name, sizeof name, "Custom\\full[%d].w3g", i);
    ASSERT_TRUE(WriteFileBytes(folder_ + name, old));
  }
  EXPECT_EQ(kNoFreeName, File(BuildReplay(CustomReplay("full"))));
  std::vector<std::string> files = ListFiles(folder_);
  EXPECT_EQ(1000u, files.size());
  for (const std::string& f : files) {
    Bytes now;
    ASSERT_TRUE(ReadFileBytes(folder_ + f, &now));
    EXPECT_EQ(f == "Custom\\full.w3g" ? file : old, now) << f;
  }
}

TEST_F(Filing, TheLastCounterIsUsedBeforeGivingUp) {
  const Bytes old = {'o', 'l', 'd'};
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "Custom").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "Custom\\last.w3g", old));
  char name[64];
  for (int i = 1; i <= 998; ++i) {
    snprintf(name, sizeof name, "Custom\\last[%d].w3g", i);
    ASSERT_TRUE(WriteFileBytes(folder_ + name, old));
  }
  const Bytes file = BuildReplay(CustomReplay("last"));
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(folder_ + "Custom\\last[999].w3g", filed_.path);
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + "Custom\\last[999].w3g", &copy));
  EXPECT_EQ(file, copy);
  EXPECT_EQ(kNoFreeName, File(file));
  EXPECT_EQ(1000u, ListFiles(folder_).size());
}

// A plan takes what is on disk and what was planned before as taken, and writes
// nothing; on Windows, where names ignore case, a plan ignores it too.
TEST_F(Filing, PlansCountEarlierPlansAsTaken) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1\\Alpha(h) vs Beta(u).w3g", Bytes{1}));
  const std::vector<std::string> before = ListFiles(folder_);
  PlannedNames planned = {nullptr, 0, 0};
  struct Case {
    std::vector<SyntheticPlayer> players;
    const char* planned;
  } cases[] = {
      {{{"Alpha", 1}, {"Beta", 8}}, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {{{"Alpha", 1}, {"Beta", 8}}, "1v1\\Alpha(h) vs Beta(u)[2].w3g"},
#ifdef _WIN32
      {{{"ALPHA", 1}, {"BETA", 8}}, "1v1\\ALPHA(h) vs BETA(u)[3].w3g"},
#else
      {{{"ALPHA", 1}, {"BETA", 8}}, "1v1\\ALPHA(h) vs BETA(u).w3g"},
#endif
      {{{"Gamma", 2}, {"Delta", 4}}, "1v1\\Gamma(o) vs Delta(e).w3g"},
  };
  for (const Case& c : cases) {
    const Bytes file = BuildReplay(LadderReplay(c.players));
    DecodeResult result;
    Decode(file.data(), file.size(), scratch_, &result);
    char path[kPathSize];
    ASSERT_EQ(kFiled, Plan(&result, &planned, path, sizeof path)) << c.planned;
    EXPECT_EQ(folder_ + c.planned, path);
  }
  EXPECT_EQ(before, ListFiles(folder_));
  ForgetPlannedNames(&planned);
  EXPECT_EQ(nullptr, planned.text);
}

// With unless_there, a candidate holding the very same bytes ends the search: on
// disk for a real filing, on disk or among the plans for a plan. Only candidates
// of the replay's length are opened at all.
TEST_F(Filing, AReplayAlreadyFiledIsFoundNotCopiedAgain) {
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  Bytes last_byte = replay;
  last_byte.back() ^= 1;
  Bytes longer = replay;
  longer.push_back(0);
  const Bytes shorter(replay.begin(), replay.end() - 1);
  auto candidate = [](size_t i) {
    return i == 0 ? std::string("1v1\\Alpha(h) vs Beta(u).w3g")
                  : "1v1\\Alpha(h) vs Beta(u)[" + std::to_string(i) + "].w3g";
  };
  struct Case {
    const char* what;
    std::vector<Bytes> standing;  // under candidates 0, 1, 2, ...
    FileOutcome outcome;
    size_t path;                  // the candidate written, or the one found
    std::vector<size_t> opened;   // the candidates read to compare
  } cases[] = {
      {"nothing there", {}, kFiled, 0, {}},
      {"the same bytes", {replay}, kAlreadyThere, 0, {0}},
      {"the same bytes under [2]", {longer, last_byte, replay}, kAlreadyThere, 2, {1, 2}},
      {"only other bytes", {last_byte, longer, shorter}, kFiled, 3, {0}},
  };
  DecodeResult result;
  Decode(replay.data(), replay.size(), scratch_, &result);
  // The replay all in memory, or only its first bytes with the rest compared from
  // disk in pieces (a file longer than any replay): the same answers.
  const size_t heads[] = {replay.size(), 1000};
  for (size_t head : heads) {
    for (const Case& c : cases) {
      SCOPED_TRACE(head == replay.size() ? "held whole" : "head held, rest on disk");
      RemoveTree(folder_);
      folder_ = MakeTempFolder();
      ASSERT_FALSE(folder_.empty());
      const std::string source = folder_ + "source.w3g";
      ASSERT_TRUE(WriteFileBytes(source, replay));
      ReplayFile read;
      ASSERT_EQ(kReadDone, ReadReplayFile(source.c_str(), &read, kFixedReading, head));
      ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
      for (size_t i = 0; i < c.standing.size(); ++i) {
        ASSERT_TRUE(WriteFileBytes(folder_ + candidate(i), c.standing[i]));
      }
      const std::vector<std::string> before = ListFiles(folder_);
      std::vector<size_t> opened;
      auto watch_opens = [&] {
        ClearFaults();
        opened.clear();
        for (size_t i = 0; i < c.standing.size(); ++i) {
          DuringCall(kPlatformCallOpenRead, folder_ + candidate(i),
                     [&opened, i] { opened.push_back(i); });
        }
      };

      // A plan says what the filing after it does, and writes nothing.
      watch_opens();
      char planned_path[kPathSize];
      PlannedNames planned = {nullptr, 0, 0};
      // The digest of the replay, its rest read from disk, is the one of its bytes.
      ReplayCopy same = {&read, 0};
      ASSERT_TRUE(HashReplayFile(&read, &same.hash)) << c.what;
      EXPECT_EQ(ReplayHash(replay.data(), replay.size()), same.hash) << c.what;
      EXPECT_EQ(c.outcome, PlanReplay(folder_.c_str(), &result, &settings_.naming, &date_,
                                      &planned, planned_path, sizeof planned_path, &same))
          << c.what;
      EXPECT_EQ(folder_ + candidate(c.path), planned_path) << c.what;
      EXPECT_EQ(c.opened, opened) << c.what;
      EXPECT_EQ(before, ListFiles(folder_)) << c.what;
      ForgetPlannedNames(&planned);

      watch_opens();
      EXPECT_EQ(c.outcome, File(&read, true)) << c.what;
      ReleaseReplayFile(&read);
      EXPECT_EQ(folder_ + candidate(c.path), filed_.path) << c.what;
      EXPECT_EQ(c.opened, opened) << c.what;
      Bytes copy;
      ASSERT_TRUE(ReadFileBytes(filed_.path, &copy)) << c.what;
      EXPECT_EQ(replay, copy) << c.what;
      EXPECT_EQ(before.size() + (c.outcome == kFiled ? 1 : 0), ListFiles(folder_).size()) << c.what;
    }
  }
}

// A plan remembers what it planned under each name: the same bytes planned again
// are already there, other bytes of the same length are not.
TEST_F(Filing, PlansRecogniseTheBytesTheyPlanned) {
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  Bytes other = replay;
  other[other.size() / 2] ^= 0x40;
  DecodeResult result;
  Decode(replay.data(), replay.size(), scratch_, &result);
  PlannedNames planned = {nullptr, 0, 0};
  struct Step {
    const Bytes* bytes;
    FileOutcome outcome;
    const char* path;
  } steps[] = {
      {&replay, kFiled, "1v1\\Alpha(h) vs Beta(u).w3g"},
      {&other, kFiled, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {&other, kAlreadyThere, "1v1\\Alpha(h) vs Beta(u)[1].w3g"},
      {&replay, kAlreadyThere, "1v1\\Alpha(h) vs Beta(u).w3g"},
  };
  for (const Step& step : steps) {
    char path[kPathSize];
    EXPECT_EQ(step.outcome, Plan(&result, &planned, path, sizeof path, step.bytes))
        << step.path;
    EXPECT_EQ(folder_ + step.path, path);
  }
  // Without bytes, a plan never looks: the plain filing of a repeat.
  char path[kPathSize];
  EXPECT_EQ(kFiled, Plan(&result, &planned, path, sizeof path));
  EXPECT_EQ(folder_ + "1v1\\Alpha(h) vs Beta(u)[2].w3g", path);
  ForgetPlannedNames(&planned);
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
}

// A file longer than any replay is copied from disk in pieces after its head was
// read: byte for byte while it stays what was read, else not at all, with nothing
// left behind under a replay's name.
TEST_F(Filing, AFileLongerThanItsHeadIsCopiedWholeOrNotAtAll) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  for (size_t i = 0; file.size() < 2 * kReplayPiece + 99; ++i) {
    file.push_back(static_cast<unsigned char>(i * 7 + 1));
  }
  const std::string source = folder_ + "source.w3g";
  const std::string copy = folder_ + "1v1\\Alpha(h) vs Beta(u).w3g";
  const int64_t kWritten = 1780000000;
  struct Case {
    const char* what;
    std::function<void(Bytes*)> change;  // as the copy reads; none when empty
    int64_t written;                     // the stamp the change leaves
    PlatformCall fault;                  // kPlatformCallList: none
    FileOutcome outcome;
  } cases[] = {
      {"unchanged", nullptr, kWritten, kPlatformCallList, kFiled},
      {"grown", [](Bytes* b) { b->push_back(0); }, kWritten, kPlatformCallList, kSourceChanged},
      {"its head rewritten", [](Bytes* b) { (*b)[100] ^= 1; }, kWritten, kPlatformCallList,
       kSourceChanged},
      {"its rest rewritten later", [](Bytes* b) { b->back() ^= 1; }, kWritten + 60,
       kPlatformCallList, kSourceChanged},
      {"the disk full", nullptr, kWritten, kPlatformCallWrite, kCopyFailed},
      {"the copy's close failing", nullptr, kWritten, kPlatformCallClose, kCopyFailed},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(source, file));
    ASSERT_TRUE(SetWriteTime(source, kWritten));
    ReplayFile read;
    ASSERT_EQ(kReadDone, ReadReplayFile(source.c_str(), &read, kFixedReading, 4096)) << c.what;
    if (c.change) {
      DuringCall(kPlatformCallRead, source, [&] {
        Bytes changed = file;
        c.change(&changed);
        WriteFileBytes(source, changed);
        SetWriteTime(source, c.written);
      });
    }
    if (c.fault != kPlatformCallList) InjectFault(c.fault, 1, copy);
    EXPECT_EQ(c.outcome, File(&read)) << c.what;
    ReleaseReplayFile(&read);
    ClearFaults();
    if (c.outcome == kFiled) {
      Bytes copied;
      ASSERT_TRUE(ReadFileBytes(copy, &copied)) << c.what;
      EXPECT_TRUE(file == copied) << c.what;
      ASSERT_TRUE(RemoveFile(copy));
    }
    EXPECT_EQ(std::vector<std::string>{"source.w3g"}, ListFiles(folder_)) << c.what;
  }
}

TEST_F(Filing, AFailedWriteOrCloseLeavesNoPartialCopy) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  InjectFault(kPlatformCallWrite);
  EXPECT_EQ(kCopyFailed, File(file));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
  InjectFault(kPlatformCallClose);
  EXPECT_EQ(kCopyFailed, File(file));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_));
  EXPECT_EQ(kFiled, File(file));
  EXPECT_EQ(std::vector<std::string>{"1v1\\Alpha(h) vs Beta(u).w3g"}, ListFiles(folder_));
}

TEST_F(Filing, ForbiddenCharactersInARealNameStillGiveACopy) {
  Bytes file = BuildReplay(LadderReplay({{"ARA", 8}, {"|c00ffbd00:D<x>", 1}}));
  ASSERT_EQ(kFiled, File(file));
  EXPECT_EQ(std::vector<std::string>{"1v1\\ARA(u) vs _c00ffbd00_D_x_(h).w3g"},
            ListFiles(folder_));
}

TEST_F(Filing, DeviceNamesAreSidestepped) {
  ASSERT_EQ(kFiled, File(BuildReplay(CustomReplay("con"))));
  EXPECT_EQ(std::vector<std::string>{"Custom\\con_.w3g"}, ListFiles(folder_));
}

TEST_F(Filing, LongNamesAreShortenedAndKeepTheirEnding) {
  std::string name(300, 'n');
  Bytes file = BuildReplay(LadderReplay({{name, 1}, {name, 2}}));
  ASSERT_EQ(kFiled, File(file));
  ASSERT_EQ(kFiled, File(file));
  std::vector<std::string> files = ListFiles(folder_);
  ASSERT_EQ(2u, files.size());
  for (const std::string& f : files) {
    EXPECT_EQ(".w3g", f.substr(f.size() - 4));
    EXPECT_LE(f.size() - strlen("1v1\\"), 255u);
    EXPECT_LT(folder_.size() + f.size(), static_cast<size_t>(kPlatformPathLimit));
    Bytes copy;
    ASSERT_TRUE(ReadFileBytes(folder_ + f, &copy));
    EXPECT_EQ(file, copy);
  }
  // The two share one shortened body; the second carries the counter.
  EXPECT_EQ(files[0].substr(0, files[0].size() - 4) + "[1].w3g", files[1]);
}

}  // namespace
