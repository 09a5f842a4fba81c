// The watch list: which folders are found below a Documents folder, and each
// folder watched on its own, on the real file system.
#include "watcher/folders.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/path.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const int64_t kBaseTime = 1700000000;
const char kOneVsOne[] = "1v1\\Alpha(h) vs Beta(u).w3g";

Bytes Ladder() { return BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})); }

// The list's folders below base, sorted, with backslashes.
std::vector<std::string> Below(const WatchList& list, const std::string& base) {
  std::vector<std::string> paths;
  for (int i = 0; i < list.count; ++i) {
    std::string path = BelowFolder(list.folders[i].path, base.c_str());
    std::replace(path.begin(), path.end(), '/', '\\');
    paths.push_back(path);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class WatchListTest : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    documents_ = folder_ + "Documents\\";
    ASSERT_TRUE(MakeFolders(folder_, "Documents\\Warcraft III\\BattleNet"));
    list_ = new WatchList;
    ClearWatchList(list_);
  }
  void TearDown() override {
    delete list_;
    ReplayFolderTest::TearDown();
  }
  std::string Account(const std::string& id) {
    return documents_ + "Warcraft III\\BattleNet\\" + id + "\\Replays\\";
  }
  void GameWrites(const std::string& folder, const Bytes& file, int64_t second) {
    ASSERT_TRUE(WriteFileBytes(folder + "LastReplay.w3g", file));
    ASSERT_TRUE(SetWriteTime(folder + "LastReplay.w3g", kBaseTime + second));
  }
  // The accounts folder's stamp moves on, as it does when the game makes an
  // account folder in it (within the same second, a test could not tell).
  void AccountsChange(int64_t second) {
    ASSERT_TRUE(SetWriteTime(documents_ + "Warcraft III\\BattleNet", kBaseTime + second));
  }
  std::string documents_;
  WatchList* list_ = nullptr;
};

TEST_F(WatchListTest, AddingFolders) {
  const std::string a = folder_ + "a";
  const std::string long_name(kPlatformPathLimit, 'x');
  struct Case {
    std::string folder;
    AddResult result;
  } cases[] = {
      {a, kAdded},
      {a + "\\", kAlreadyWatched},  // the separator it was given
      {folder_ + "b/", kAdded},
      {folder_ + "b\\", kAlreadyWatched},  // either separator names the same folder
      {"", kLeftOut},
      {folder_ + long_name, kLeftOut},  // its LastReplay.w3g could never be named
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, AddWatchedFolder(list_, c.folder.c_str(), kFolderSwitch)) << c.folder;
  }
  ASSERT_EQ(2, list_->count);
  EXPECT_EQ(a + "\\", list_->folders[0].path);
  EXPECT_EQ(2, list_->left_out);
#ifdef _WIN32
  EXPECT_EQ(kAlreadyWatched, AddWatchedFolder(list_, (folder_ + "A").c_str(), kFolderSwitch));
#endif
  for (int i = list_->count; i < kMaxWatchedFolders; ++i) {
    ASSERT_EQ(kAdded, AddWatchedFolder(list_, (a + std::to_string(i)).c_str(), kFolderSwitch));
  }
  EXPECT_EQ(kLeftOut, AddWatchedFolder(list_, (folder_ + "one too many").c_str(), kFolderSwitch));
  EXPECT_EQ(kMaxWatchedFolders, list_->count);
}

TEST_F(WatchListTest, DocumentsGiveTheReplayFolderAndEveryAccountAndNothingElse) {
  for (const char* id : {"123", "4567890", "abc", "12a", "Replays"}) {
    ASSERT_TRUE(MakeFolders(documents_, std::string("Warcraft III\\BattleNet\\") + id));
  }
  // A file named like an account, and an account folder without Replays yet.
  ASSERT_TRUE(WriteFileBytes(documents_ + "Warcraft III\\BattleNet\\555", Bytes(1, 'x')));
#ifndef _WIN32
  const std::string accounts = documents_ + "Warcraft III/BattleNet/";
  std::string native = accounts;
  std::replace(native.begin(), native.end(), '\\', '/');
  ASSERT_EQ(0, symlink("666", (native + "666").c_str()));  // a link loop
  ASSERT_EQ(0, symlink("123", (native + "777").c_str()));  // a link to an account
#endif
  AddDocumentsFolders(list_, documents_.c_str());
  std::vector<std::string> expected = {
      "Warcraft III\\BattleNet\\123\\Replays\\",
      "Warcraft III\\BattleNet\\4567890\\Replays\\",
#ifndef _WIN32
      "Warcraft III\\BattleNet\\777\\Replays\\",
#endif
      "Warcraft III\\Replay\\",
  };
  EXPECT_EQ(expected, Below(*list_, documents_));
  EXPECT_EQ(0, list_->left_out);
  EXPECT_EQ(0, NoticeNewAccounts(list_)) << "nothing changed, nothing is listed again";
}

TEST_F(WatchListTest, ThousandsOfAccountsFillTheListAndTheRestAreCounted) {
  for (int i = 0; i < 3000; ++i) {
    const std::string name = (i % 2 == 0 ? "" : "x") + std::to_string(100000 + i);
    ASSERT_TRUE(PlatformMakeDirectory(
        (documents_ + "Warcraft III\\BattleNet\\" + name).c_str()));
  }
  AddDocumentsFolders(list_, documents_.c_str());
  EXPECT_EQ(kMaxWatchedFolders, list_->count);
  EXPECT_EQ(1500 + 1 - kMaxWatchedFolders, list_->accounts_left_out);
  // Listed again, the ones watched stay and the count left out is not doubled.
  AccountsChange(50);
  EXPECT_EQ(0, NoticeNewAccounts(list_));
  EXPECT_EQ(1500 + 1 - kMaxWatchedFolders, list_->accounts_left_out);
}

TEST_F(WatchListTest, EachFolderIsPrimedAndFiledOnItsOwn) {
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\111\\Replays"));
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\Replay"));
  const std::string classic = documents_ + "Warcraft III\\Replay\\";
  GameWrites(Account("111"), Ladder(), 0);  // there before the start
  AddWatchedFolder(list_, folder_.c_str(), kFolderInstallPath);
  AddDocumentsFolders(list_, documents_.c_str());
  ASSERT_EQ(3, list_->count);
  WatchEveryFolder(list_, true, &settings_, scratch_);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  EXPECT_EQ(std::vector<std::string>{"LastReplay.w3g"}, ListFiles(Account("111")));

  GameWrites(Account("111"), Ladder(), 1);
  GameWrites(classic, Ladder(), 1);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  for (const std::string& folder : {Account("111"), classic}) {
    Bytes copy;
    EXPECT_TRUE(ReadFileBytes(folder + kOneVsOne, &copy)) << folder;
    EXPECT_TRUE(copy == Ladder()) << folder;
  }
  EXPECT_EQ(2, SavedInList(list_));
  // The copies went below their own folders; the install path's folder, which
  // holds the others, has none and says so.
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(folder_ + "1v1\\"));
  ASSERT_EQ(folder_, list_->folders[0].path);
  EXPECT_EQ(0, list_->folders[0].status.saved);
  EXPECT_STREQ("", list_->folders[0].status.last_copy);
  for (int i = 0; i < list_->count; ++i) {
    const WatchedFolder& f = list_->folders[i];
    if (f.status.saved > 0) {
      EXPECT_EQ(kOneVsOne, std::string(BelowFolder(f.status.last_copy, f.path)));
    }
  }
}

// One folder under two spellings is watched once for what it holds: the first of
// the list files each replay, the other passes it on. Spellings that reach it
// through "..", and on Linux through a link, as two Wine users' Documents do.
TEST_F(WatchListTest, OneFolderUnderTwoSpellingsFilesEachReplayOnce) {
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\Replay"));
  const std::string real = documents_ + "Warcraft III\\Replay\\";
  std::vector<std::string> others = {documents_ + "Warcraft III\\BattleNet\\..\\Replay\\"};
#ifndef _WIN32
  std::string target = documents_;
  std::replace(target.begin(), target.end(), '\\', '/');
  std::string link = folder_ + "other-user-documents";
  std::replace(link.begin(), link.end(), '\\', '/');
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
  others.push_back(folder_ + "other-user-documents\\Warcraft III\\Replay\\");
#endif
  int64_t second = 10;
  for (const std::string& other : others) {
    SCOPED_TRACE(other);
    ClearWatchList(list_);
    ASSERT_EQ(kAdded, AddWatchedFolder(list_, real.c_str(), kFolderDocuments));
    ASSERT_EQ(kAdded, AddWatchedFolder(list_, other.c_str(), kFolderSwitch));
    RemoveFile(real + kOneVsOne);
    WatchEveryFolder(list_, true, &settings_, scratch_);
    GameWrites(real, Ladder(), ++second);
    WatchEveryFolder(list_, false, &settings_, scratch_);
    EXPECT_EQ((std::vector<std::string>{kOneVsOne, "LastReplay.w3g"}), ListFiles(real));
    EXPECT_EQ(1, SavedInList(list_));
    EXPECT_EQ(1, list_->folders[0].status.saved) << "the first of the list files it";
    // Nothing new: each folder costs its one probe again, and nothing is filed.
    const uint64_t before = PlatformCallCount;
    WatchEveryFolder(list_, false, &settings_, scratch_);
    EXPECT_EQ(before + 2, PlatformCallCount);
    EXPECT_EQ(1, SavedInList(list_));
  }
}

// Two folders that are not one are each filed.
TEST_F(WatchListTest, FoldersThatAreNotOneAreEachFiled) {
  const std::string classic = documents_ + "Warcraft III\\Replay\\";
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\Replay"));
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\111\\Replays"));
  AddWatchedFolder(list_, classic.c_str(), kFolderDocuments);
  AddWatchedFolder(list_, Account("111").c_str(), kFolderAccount);
  WatchEveryFolder(list_, true, &settings_, scratch_);
  GameWrites(classic, Ladder(), 3);
  GameWrites(Account("111"), Ladder(), 3);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  EXPECT_EQ(1, list_->folders[0].status.saved);
  EXPECT_EQ(1, list_->folders[1].status.saved);
}

TEST_F(WatchListTest, AnAccountThatAppearsLaterIsWatchedWithoutPriming) {
  AddDocumentsFolders(list_, documents_.c_str());
  WatchEveryFolder(list_, true, &settings_, scratch_);
  ASSERT_EQ(1, list_->count);
  // A new account plays: its folder and its first replay come between two ticks.
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\2222\\Replays"));
  GameWrites(Account("2222"), Ladder(), 1);
  AccountsChange(2);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  ASSERT_EQ(2, list_->count);
  Bytes copy;
  EXPECT_TRUE(ReadFileBytes(Account("2222") + kOneVsOne, &copy));
  EXPECT_TRUE(copy == Ladder());
}

TEST_F(WatchListTest, AListingRefusedOnceIsTriedAgainAtTheNextPass) {
  AddDocumentsFolders(list_, documents_.c_str());
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\31\\Replays"));
  AccountsChange(3);
  InjectFault(kPlatformCallList, 1, documents_ + "Warcraft III\\BattleNet");
  EXPECT_EQ(0, NoticeNewAccounts(list_));
  EXPECT_EQ(1, NoticeNewAccounts(list_));
  EXPECT_EQ(0, NoticeNewAccounts(list_));
}

TEST_F(WatchListTest, AnAccountFolderThatGoesAndComesBack) {
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\42\\Replays"));
  AddDocumentsFolders(list_, documents_.c_str());
  WatchEveryFolder(list_, true, &settings_, scratch_);
  GameWrites(Account("42"), Ladder(), 1);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  ASSERT_EQ(1, SavedInList(list_));

  const std::string account = documents_ + "Warcraft III\\BattleNet\\42\\";
  RemoveTree(account);
  AccountsChange(4);
  WatchEveryFolder(list_, false, &settings_, scratch_);  // nothing to find, nothing made
  EXPECT_NE(kPlatformFolder, PlatformKindOf(account.c_str()));

  // Back from a backup, with the replay already saved: not saved again.
  ASSERT_TRUE(MakeFolders(documents_, "Warcraft III\\BattleNet\\42\\Replays"));
  GameWrites(Account("42"), Ladder(), 1);
  AccountsChange(5);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  EXPECT_EQ(std::vector<std::string>{"LastReplay.w3g"}, ListFiles(Account("42")));
  GameWrites(Account("42"), Ladder(), 6);
  WatchEveryFolder(list_, false, &settings_, scratch_);
  EXPECT_EQ(2, SavedInList(list_));
  EXPECT_EQ(2, list_->count) << "the Replay folder and the account, once";
}

}  // namespace
