// The word after each game: what real replays tell of their games, and what a
// watch list's passes give news of (a copy, a replay that waits, its recovery).
#include "watcher/news.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "replay/game.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/folders.h"

namespace {

const std::string kDash = " \xE2\x80\x94 ";

// A real replay read whole, as the news reads a copy.
struct ReadGame {
  std::unique_ptr<ReplayGame> game{new ReplayGame};
  bool readable = false;
};

ReadGame ReadReal(const std::string& file, size_t cut = 0) {
  ReadGame read;
  Bytes bytes;
  EXPECT_TRUE(ReadWholeFile(RealReplayFolder() + file, &bytes)) << file;
  if (cut > 0 && cut < bytes.size()) bytes.resize(cut);
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  read.readable = ReadReplayGame(bytes.data(), bytes.size(), scratch.get(), read.game.get());
  return read;
}

TEST(SavedWords, WhatRealReplaysTellOfTheirGames) {
  struct Case {
    const char* file;
    size_t cut;  // 0: the whole file
    const char* tail;
  } cases[] = {
      {"132-reforged_release.w3g", 0, "won, 18m11s"},          // the saver won
      {"132-buildingwin_helpstoneperspective.w3g", 0, "lost, 0m37s"},  // the saver lost
      {"130-standard_1304.w3g", 0, "won, 19m04s"},
      {"126-999.w3g", 0, "3m13s"},                // nobody can tell who won
      {"129-standard_129_obs.w3g", 0, "13m17s"},  // saved by an observer
      {"200-TempReplay.w3g", 0, "5m52s"},         // a game not over yet
      // Cut as a crash cuts it: still a notification, but no result.
      {"132-reforged_release.w3g", 90000, "18m11s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.cut > 0 ? " cut" : ""));
    ReadGame read = ReadReal(c.file, c.cut);
    ASSERT_TRUE(read.readable);
    char words[kNewsTextSize];
    SavedWords("1v1\\A(h) vs B(u).w3g", read.game.get(), words, sizeof words);
    EXPECT_EQ("1v1\\A(h) vs B(u).w3g" + kDash + c.tail, std::string(words));
  }
  char words[kNewsTextSize];
  SavedWords("Custom\\Replay.w3g", nullptr, words, sizeof words);
  EXPECT_STREQ("Custom\\Replay.w3g", words) << "a copy that could not be read: its path alone";
}

TEST(SavedWords, ALongPathGivesWayToTheResultAndNeverSplitsALetter) {
  ReadGame read = ReadReal("132-reforged_release.w3g");
  // 'Ж' is two bytes: every cut must fall between letters.
  std::string below = "1v1\\";
  for (int i = 0; i < 200; ++i) below += "\xD0\x96";
  below += ".w3g";
  const std::string tail = kDash + "won, 18m11s";
  for (size_t size : {size_t(40), size_t(41), size_t(64), size_t(kNewsTextSize)}) {
    SCOPED_TRACE(size);
    std::vector<char> words(size, 'x');
    SavedWords(below.c_str(), read.game.get(), words.data(), words.size());
    const std::string got = words.data();
    ASSERT_LT(got.size(), size);
    EXPECT_EQ(tail, got.substr(got.size() - tail.size())) << got;
    const std::string path = got.substr(0, got.size() - tail.size());
    EXPECT_EQ(0u, (path.size() - 4) % 2) << "half a letter left: " << path;
    EXPECT_EQ(below.substr(0, path.size()), path);
  }
  // Too small for the result: the path alone, cut.
  char tiny[8];
  SavedWords("1v1\\abcdefgh.w3g", read.game.get(), tiny, sizeof tiny);
  EXPECT_STREQ("1v1\\abc", tiny);
}

TEST(WaitingNews, SaysWhyInThePlainWordsOfTheAboutBox) {
  struct Case {
    RetryReason retry;
    PlatformError error;
    const char* text;
    bool names_copy;
  } cases[] = {
      {kRetryCannotOpen, kPlatformOk, "LastReplay.w3g — the game or another program still holds it",
       false},
      {kRetryStillWriting, kPlatformOk, "LastReplay.w3g — the game was still writing it", false},
      {kRetryNoMemory, kPlatformOk, "LastReplay.w3g — there was not enough memory to read it",
       false},
      {kRetryCopyFailed, kPlatformDiskFull, "1v1\\A(h) vs B(u).w3g — the disk is full", true},
      {kRetryCopyFailed, kPlatformDenied, "1v1\\A(h) vs B(u).w3g — access is denied", true},
      {kRetryCopyFailed, kPlatformOther, "1v1\\A(h) vs B(u).w3g — Windows reported an error", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WatcherStatus status = WatcherStatus();
    status.retry = c.retry;
    status.copy_error = c.error;
    snprintf(status.retry_path, sizeof status.retry_path, "D:\\R\\1v1\\A(h) vs B(u).w3g");
    News news;
    WaitingNews("D:\\R\\", status, &news);
    EXPECT_FALSE(news.saved);
    EXPECT_STREQ("Replay not saved yet", news.title);
    EXPECT_EQ(std::string(c.text) + "; tried again every ten seconds", news.text);
    EXPECT_STREQ(c.names_copy ? "D:\\R\\1v1\\A(h) vs B(u).w3g" : "", news.path);
  }
}

// The news a list's passes give, told into a list of their own.
void Collect(void* context, const News* news) {
  static_cast<std::vector<News>*>(context)->push_back(*news);
}

class NewsOfPasses : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    settings_.naming.date_tag = false;
    settings_.reading = kLengthReading;
    settings_.save_custom = true;  // the game the saver lost is a custom game
    list_.reset(new WatchList);
    ClearWatchList(list_.get());
    ASSERT_EQ(kAdded, AddWatchedFolder(list_.get(), folder_.c_str(), kFolderSwitch));
  }
  void GameWrites(const char* file, int64_t second) {
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + file, &bytes));
    ASSERT_TRUE(WriteFileBytes(folder_ + "LastReplay.w3g", bytes));
    ASSERT_TRUE(SetWriteTime(folder_ + "LastReplay.w3g", 1700000000 + second));
  }
  // One tick: a pass over the list, then what it gave news of.
  std::vector<News> Tick(bool prime = false) {
    WatchEveryFolder(list_.get(), prime, &settings_, scratch_);
    std::vector<News> told;
    if (prime) {
      StartNewsWatch(&watch_, list_.get());
    } else {
      TellNews(&watch_, list_.get(), Collect, &told);
    }
    return told;
  }
  std::unique_ptr<WatchList> list_;
  NewsWatch watch_;
};

TEST_F(NewsOfPasses, ACopyAFailureOnceAndItsRecovery) {
  GameWrites("130-standard_1304.w3g", 1);
  EXPECT_TRUE(Tick(true).empty());
  EXPECT_TRUE(Tick().empty()) << "none for the replay there at start-up";

  GameWrites("132-reforged_release.w3g", 2);
  std::vector<News> told = Tick();
  ASSERT_EQ(1u, told.size());
  EXPECT_TRUE(told[0].saved);
  EXPECT_STREQ("Replay saved", told[0].title);
  EXPECT_EQ("1v1\\anXieTy(h) vs IroNSoul(u).w3g" + kDash + "won, 18m11s", told[0].text);
  EXPECT_EQ(folder_ + "1v1\\anXieTy(h) vs IroNSoul(u).w3g", told[0].path);
  EXPECT_TRUE(Tick().empty()) << "nothing new, nothing said";

  // A file where the Custom folder belongs: the copy cannot be made.
  ASSERT_TRUE(WriteFileBytes(folder_ + "Custom", Bytes(1, 'x')));
  GameWrites("132-buildingwin_helpstoneperspective.w3g", 3);
  told = Tick();
  ASSERT_EQ(1u, told.size());
  EXPECT_FALSE(told[0].saved);
  EXPECT_STREQ("Replay not saved yet", told[0].title);
  EXPECT_EQ("Custom\\rbtv.w3g" + kDash + "the folder is missing; tried again every ten seconds",
            told[0].text);
  EXPECT_TRUE(Tick().empty()) << "one word while it waits, not one per tick";
  EXPECT_TRUE(Tick().empty());

  ASSERT_TRUE(RemoveFile(folder_ + "Custom"));
  told = Tick();
  ASSERT_EQ(1u, told.size()) << "one more once it is saved";
  EXPECT_TRUE(told[0].saved);
  EXPECT_EQ("Custom\\rbtv.w3g" + kDash + "lost, 0m37s", told[0].text);
  EXPECT_TRUE(Tick().empty());
}

TEST_F(NewsOfPasses, NothingToldWithoutATellerAndNothingTouchedWhenIdle) {
  GameWrites("130-standard_1304.w3g", 1);
  Tick(true);
  GameWrites("132-reforged_release.w3g", 2);
  WatchEveryFolder(list_.get(), false, &settings_, scratch_);
  EXPECT_EQ(1, TellNews(&watch_, list_.get(), nullptr, nullptr)) << "noted all the same";
  std::vector<News> told;
  const uint64_t before = PlatformCallCount;
  EXPECT_EQ(0, TellNews(&watch_, list_.get(), Collect, &told));
  EXPECT_EQ(before, PlatformCallCount) << "looking for news touches no file";
  EXPECT_TRUE(told.empty()) << "what was noted is not told again";
}

}  // namespace
