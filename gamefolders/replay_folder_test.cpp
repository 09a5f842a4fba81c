// The replay folder rule, including a real registry key of the test's own under
// HKEY_CURRENT_USER.
#include "gamefolders/replay_folder.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "gtest/gtest.h"

namespace {

// A folder buffer with guard bytes behind it, to see that nothing is written past
// the 1024 bytes a function is given.
struct GuardedFolder {
  char text[kGamePathSize];
  unsigned char guard[32];
};

void Arm(GuardedFolder* folder, char fill) {
  memset(folder->text, fill, sizeof folder->text);
  memset(folder->guard, 0xA5, sizeof folder->guard);
}

bool GuardIntact(const GuardedFolder& folder) {
  for (unsigned char byte : folder.guard) {
    if (byte != 0xA5) return false;
  }
  return true;
}

TEST(AppendReplaySubfolder, SeparatorThenReplayFolder) {
  struct Case {
    const char* before;
    const char* after;
  } cases[] = {
      {"D:\\Games\\Game", "D:\\Games\\Game\\replay\\"},
      {"D:\\Games\\Game\\", "D:\\Games\\Game\\replay\\"},
      {"D:\\Games\\Game/", "D:\\Games\\Game/replay\\"},
      {"", "\\replay\\"},
      {"\\", "\\replay\\"},
      {"C:", "C:\\replay\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    GuardedFolder folder;
    Arm(&folder, 'x');
    strcpy(folder.text, c.before);
    EXPECT_EQ(1, AppendReplaySubfolder(folder.text, sizeof folder.text));
    EXPECT_STREQ(c.after, folder.text);
    EXPECT_TRUE(GuardIntact(folder));
  }
}

TEST(AppendReplaySubfolder, RefusesWhatWouldNotFitAndLeavesItAlone) {
  // "\replay\" and the NUL take 9 bytes, "replay\" and the NUL 8.
  struct Case {
    size_t length;
    char last;  // the path's last character
    int fits;
  } cases[] = {
      {1015, 'a', 1}, {1016, 'a', 0}, {1016, '\\', 1}, {1016, '/', 1},
      {1017, '\\', 0}, {1023, 'a', 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " ending in " << c.last);
    GuardedFolder folder;
    Arm(&folder, 'x');
    std::string path(c.length - 1, 'a');
    path += c.last;
    memcpy(folder.text, path.c_str(), path.size() + 1);
    ASSERT_EQ(c.fits, AppendReplaySubfolder(folder.text, sizeof folder.text));
    EXPECT_TRUE(GuardIntact(folder));
    if (c.fits) {
      EXPECT_EQ(path + (c.last == 'a' ? "\\" : "") + "replay\\", folder.text);
    } else {
      EXPECT_EQ(path, folder.text);
    }
  }
}

TEST(AppendReplaySubfolder, RefusesAnUnterminatedBuffer) {
  GuardedFolder folder;
  Arm(&folder, 'x');
  EXPECT_EQ(0, AppendReplaySubfolder(folder.text, sizeof folder.text));
  EXPECT_TRUE(GuardIntact(folder));
  EXPECT_EQ('x', folder.text[kGamePathSize - 1]);
}

// A key of the test's own, so a run never touches the game's settings.
class RegistryFolder : public testing::Test {
 protected:
  void SetUp() override {
    snprintf(key_, sizeof key_, "Software\\Brindlecap tests\\%lu", GetCurrentProcessId());
    RegDeleteKeyA(HKEY_CURRENT_USER, key_);
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, key_);
    char parent[] = "Software\\Brindlecap tests";
    RegDeleteKeyA(HKEY_CURRENT_USER, parent);  // only goes when empty
  }

  // Writes the value as given: a string value carries its NUL only when the
  // length says so.
  void Set(const char* name, DWORD type, const std::string& data, bool with_nul) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, NULL, 0, KEY_WRITE, NULL,
                                             &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + (with_nul ? 1 : 0))));
    RegCloseKey(key);
  }

  void CreateEmptyKey() {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, NULL, 0, KEY_WRITE, NULL,
                                             &key, NULL));
    RegCloseKey(key);
  }

  std::string Discover() {
    GuardedFolder folder;
    Arm(&folder, 'X');  // stale bytes that must never show through
    DiscoverReplayFolder(HKEY_CURRENT_USER, key_, folder.text, sizeof folder.text);
    EXPECT_TRUE(GuardIntact(folder));
    EXPECT_NE(nullptr, memchr(folder.text, '\0', sizeof folder.text));
    return std::string(folder.text, strnlen(folder.text, sizeof folder.text));
  }

  char key_[128];
};

TEST_F(RegistryFolder, KeyMissingGivesTheDefault) {
  EXPECT_EQ("c:\\program files\\warcraft iii\\replay\\", Discover());
}

TEST_F(RegistryFolder, KeyWithoutValuesGivesReplayBelowTheDriveRoot) {
  CreateEmptyKey();
  EXPECT_EQ("\\replay\\", Discover());
}

TEST_F(RegistryFolder, TheInstallPathValues) {
  struct Case {
    const char* name;
    const char* x;  // InstallPathX, NULL when absent
    const char* p;  // InstallPath, NULL when absent
    const char* expected;
  } cases[] = {
      {"only InstallPathX", "D:\\Games\\Game/", NULL, "D:\\Games\\Game/replay\\"},
      {"only InstallPath", NULL, "E:\\War3", "E:\\War3\\replay\\"},
      {"InstallPathX wins", "D:\\TFT", "E:\\War3", "D:\\TFT\\replay\\"},
      {"empty InstallPathX still wins", "", "E:\\War3", "\\replay\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteKeyA(HKEY_CURRENT_USER, key_);
    CreateEmptyKey();
    if (c.x != NULL) Set("InstallPathX", REG_SZ, c.x, true);
    if (c.p != NULL) Set("InstallPath", REG_SZ, c.p, true);
    EXPECT_EQ(c.expected, Discover());
  }
}

TEST_F(RegistryFolder, ValuesStoredWithoutTheirNul) {
  Set("InstallPathX", REG_SZ, "D:\\Games", false);
  EXPECT_EQ("D:\\Games\\replay\\", Discover());

  Set("InstallPathX", REG_BINARY, "D:\\Bin", false);  // the type is not looked at
  EXPECT_EQ("D:\\Bin\\replay\\", Discover());
}

TEST_F(RegistryFolder, PathsThatFillTheBuffer) {
  const std::string fits(1015, 'a');  // + "\replay\" is 1023 characters
  Set("InstallPathX", REG_SZ, fits, true);
  EXPECT_EQ(fits + "\\replay\\", Discover());

  const std::string fits_with_separator = std::string(1015, 'a') + "\\";
  Set("InstallPathX", REG_SZ, fits_with_separator, true);
  EXPECT_EQ(fits_with_separator + "replay\\", Discover());

  // One character more and "replay\" no longer fits: the value is refused like an
  // unreadable one, so InstallPath gets its turn, and without it only "\replay\" is left.
  Set("InstallPathX", REG_SZ, std::string(1016, 'a'), true);
  EXPECT_EQ("\\replay\\", Discover());
  Set("InstallPath", REG_SZ, "E:\\War3", true);
  EXPECT_EQ("E:\\War3\\replay\\", Discover());

  // Exactly the whole buffer with no NUL, then more than the buffer holds.
  Set("InstallPathX", REG_BINARY, std::string(kGamePathSize, 'b'), false);
  EXPECT_EQ("E:\\War3\\replay\\", Discover());
  Set("InstallPathX", REG_SZ, std::string(3000, 'c'), true);
  EXPECT_EQ("E:\\War3\\replay\\", Discover());
}

// What the program watches from: the install path's folder, and with modern the
// Documents folder exactly as the shell gives it, or counted as left out.
TEST_F(RegistryFolder, GameFoldersTheInstallPathAndWithModernTheDocuments) {
  Set("InstallPath", REG_SZ, "E:\\War3", true);
  GameFolders found;
  FindGameFolders(HKEY_CURRENT_USER, key_, false, &found);
  EXPECT_STREQ("E:\\War3\\replay\\", found.install);
  EXPECT_EQ(0, found.documents_count);
  EXPECT_EQ(0, found.left_out);

  FindGameFolders(HKEY_CURRENT_USER, key_, true, &found);
  EXPECT_STREQ("E:\\War3\\replay\\", found.install);
  char documents[kGamePathSize];
  const DocumentsResult shell = FindDocumentsFolder(documents, sizeof documents);
  EXPECT_EQ(shell, found.documents_result);
  if (shell == kDocumentsFound) {
    ASSERT_EQ(1, found.documents_count);
    EXPECT_STREQ(documents, found.documents[0]);
    EXPECT_EQ(0, found.left_out);
  } else {
    EXPECT_EQ(0, found.documents_count);
    EXPECT_EQ(1, found.left_out);
  }
}

}  // namespace
