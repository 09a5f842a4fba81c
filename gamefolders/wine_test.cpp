// The game's folders inside a Wine prefix: its registry file's values, its drive
// paths, and the folders found in a prefix on the real file system, as the watch
// list then takes them up.
#include "gamefolders/game_folders.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/folders.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

TEST(WineRegistry, ValuesAreFoundUnderTheirKeyAndUnescaped) {
  const std::string text =
      "WINE REGISTRY Version 2\n"
      "[Software\\\\Other] 1700000000\n"
      "\"Personal\"=\"C:\\\\wrong\"\n"
      "\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 17\n"
      "#time=1dd86e6e7767c9c\n"
      "\"AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Roaming\"\n"
      "\"Personal\"=\"Z:\\\\tmp\\\\\\x41c\\x43e\\x438 \\x434\\x43e\\x43a\"\n"
      "\"Emoji\"=\"\\xd83d\\xde00\"\n"
      "\"Quoted\"=\"a\\\"b\"\n"
      "\"Utf8\"=\"\xD0\x9C\"\n"
      "\"Unended\"=\"abc\n"
      "[software\\\\blizzard entertainment\\\\warcraft iii] 17\n"
      "\"InstallPath\"=str(2):\"D:\\\\Games\"\n";
  const char kShell[] =
      "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders";
  struct Case {
    const char* key;
    const char* value;
    const char* found;  // NULL: not found
  } cases[] = {
      {kShell, "Personal", "Z:\\tmp\\\xD0\x9C\xD0\xBE\xD0\xB8 \xD0\xB4\xD0\xBE\xD0\xBA"},
      {kShell, "AppData", "%USERPROFILE%\\AppData\\Roaming"},
      {kShell, "Emoji", "\xF0\x9F\x98\x80"},
      {kShell, "Quoted", "a\"b"},
      {kShell, "Utf8", "\xD0\x9C"},
      {kShell, "Unended", nullptr},
      {kShell, "Missing", nullptr},
      {"Software\\\\Blizzard Entertainment\\\\Warcraft III", "InstallPath", "D:\\Games"},
      {"Software\\\\Nowhere", "Personal", nullptr},
  };
  for (const Case& c : cases) {
    char out[kGamePathSize];
    const int found =
        FindWineRegistryValue(text.data(), text.size(), c.key, c.value, out, sizeof out);
    EXPECT_EQ(c.found != nullptr, found != 0) << c.value;
    if (found && c.found != nullptr) {
      EXPECT_STREQ(c.found, out) << c.value;
    }
  }
  char tiny[4];
  EXPECT_EQ(0,
            FindWineRegistryValue(text.data(), text.size(), kShell, "AppData", tiny, sizeof tiny));
}

TEST(WineRegistry, DrivePathsOfThePrefix) {
  struct Case {
    const char* windows;
    const char* mapped;  // NULL: not a drive path
  } cases[] = {
      {"C:\\users\\me\\Documents", "/p/drive_c\\users\\me\\Documents"},
      {"c:/x", "/p/drive_c\\x"},
      {"Z:\\home\\me", "\\home\\me"},
      {"D:\\Games", "/p/dosdevices\\d:\\Games"},
      {"%USERPROFILE%\\Documents", nullptr},
      {"\\replay\\", nullptr},
      {"C:", nullptr},
  };
  for (const Case& c : cases) {
    char out[kGamePathSize];
    const int mapped = PrefixPath("/p", c.windows, out, sizeof out);
    EXPECT_EQ(c.mapped != nullptr, mapped != 0) << c.windows;
    if (mapped && c.mapped != nullptr) {
      EXPECT_STREQ(c.mapped, out) << c.windows;
    }
  }
}

#ifndef _WIN32
// A prefix as Wine makes it: drive_c/users with a user and Public, the user's
// Documents a link to a home folder, and user.reg.
class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = MakeTempFolder();
    ASSERT_FALSE(base_.empty());
    std::replace(base_.begin(), base_.end(), '\\', '/');
    prefix_ = base_ + "prefix";
    ASSERT_TRUE(MakeFolders(base_, "prefix\\drive_c\\users\\me"));
    ASSERT_TRUE(MakeFolders(base_, "prefix\\drive_c\\users\\Public\\Documents\\Warcraft III"));
    ASSERT_TRUE(MakeFolders(base_, "home\\Warcraft III\\BattleNet\\77"));
    const std::string documents = prefix_ + "/drive_c/users/me/Documents";
    ASSERT_EQ(0, symlink((base_ + "home").c_str(), documents.c_str()));
    list_.reset(new WatchList);
    ClearWatchList(list_.get());
  }
  void TearDown() override { RemoveTree(base_); }
  // What the prefix holds, then as the watch list takes it up.
  int Find(const std::string& prefix, bool modern) {
    ClearWatchList(list_.get());
    const int found = FindPrefixFolders(prefix.c_str(), modern, &found_);
    WatchGameFolders(list_.get(), &found_);
    return found;
  }
  void WriteRegistry(const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(prefix_ + "/user.reg", Bytes(text.begin(), text.end())));
  }
  std::vector<std::string> Found() {
    std::vector<std::string> paths;
    for (int i = 0; i < list_->count; ++i) {
      std::string path = list_->folders[i].path;
      std::replace(path.begin(), path.end(), '\\', '/');
      paths.push_back(path);
    }
    return paths;
  }
  std::string base_;
  std::string prefix_;
  GameFolders found_;
  std::unique_ptr<WatchList> list_;
};

TEST_F(PrefixTest, WithoutTheGamesKeyTheDefaultFolderAndTheUsersDocuments) {
  ASSERT_EQ(1, Find(prefix_, false));
  EXPECT_EQ(std::vector<std::string>{prefix_ + "/drive_c/program files/warcraft iii/replay/"},
            Found());
  EXPECT_EQ(0, found_.documents_count) << "Documents are looked at only for the modern game";
  // Following the link of "me" to the home folder; Public is nobody's.
  ASSERT_EQ(1, Find(prefix_, true));
  ASSERT_EQ(1, found_.documents_count);
  std::string documents = found_.documents[0];
  std::replace(documents.begin(), documents.end(), '\\', '/');
  EXPECT_EQ(prefix_ + "/drive_c/users/me/Documents", documents);
  const std::vector<std::string> expected = {
      prefix_ + "/drive_c/program files/warcraft iii/replay/",
      prefix_ + "/drive_c/users/me/Documents/Warcraft III/Replay/",
      prefix_ + "/drive_c/users/me/Documents/Warcraft III/BattleNet/77/Replays/",
  };
  EXPECT_EQ(expected, Found());
}

TEST_F(PrefixTest, TheInstallPathAndARedirectedDocumentsFolder) {
  const std::string redirected = base_ + "Мои документы";
  ASSERT_TRUE(MakeFolders(base_, "Мои документы\\Warcraft III\\BattleNet\\5"));
  std::string windows = "Z:" + redirected;
  std::string escaped;
  for (char c : windows) escaped += c == '/' ? std::string("\\\\") : std::string(1, c);
  WriteRegistry(
      "WINE REGISTRY Version 2\n"
      "[Software\\\\Blizzard Entertainment\\\\Warcraft III] 1\n"
      "\"InstallPath\"=\"C:\\\\Games\\\\War3\"\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] 1\n"
      "\"Personal\"=\"" + escaped + "\"\n");
  ASSERT_EQ(1, Find(prefix_, true));
  const std::vector<std::string> expected = {
      prefix_ + "/drive_c/Games/War3/replay/",
      redirected + "/Warcraft III/Replay/",
      redirected + "/Warcraft III/BattleNet/5/Replays/",
  };
  EXPECT_EQ(expected, Found());
}

TEST_F(PrefixTest, ALinkLoopForDocumentsAndNoPrefixAtAll) {
  ASSERT_EQ(0, unlink((prefix_ + "/drive_c/users/me/Documents").c_str()));
  ASSERT_EQ(0, symlink("Documents", (prefix_ + "/drive_c/users/me/Documents").c_str()));
  WriteRegistry("[Software\\\\Blizzard Entertainment\\\\Warcraft III] 1\n");
  ASSERT_EQ(1, Find(prefix_, true));
  EXPECT_EQ(std::vector<std::string>{}, Found()) << "a key without an install path names no folder";
  EXPECT_EQ(0, Find(base_ + "nothing", true));
  EXPECT_EQ(std::vector<std::string>{}, Found());
}
#endif

}  // namespace
