// Start-up as WinMain goes through it, without the window: the command line read
// into a fresh state, the folders found from the game's own registry key (here
// one of the test's own, as HKEY_CURRENT_USER is redirected) and Documents; then
// what the ticks file, where and under which name, and what the about box says.
// brindlecap-cli finds its folder with the same code and must agree.
#include <stdint.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/shell.h"
#include "cli/cli_test_support.h"
#include "gamefolders/replay_folder.h"
#include "gtest/gtest.h"
#include "platform/path.h"
#include "tests/test_support.h"
#include "watcher/folders.h"

namespace {

// What WinMain does up to the priming pass, but for the window and the boxes.
std::unique_ptr<AppState> StartWith(const std::string& command_line) {
  std::unique_ptr<AppState> app(new AppState);
  InitAppState(app.get());
  ReadSwitches(command_line.c_str(), app.get());
  EXPECT_STREQ("", app->switch_problem) << command_line;
  ChooseWatchedFolders(app.get(), HKEY_CURRENT_USER, kGameRegistryKey);
  return app;
}

std::string AboutText(const AppState* app) {
  std::vector<char> text(kAboutTextSize);
  FormatAboutText(app, text.data(), text.size());
  return text.data();
}

std::vector<std::string> WatchedPaths(const AppState* app) {
  std::vector<std::string> paths;
  for (int i = 0; i < app->list.count; ++i) paths.push_back(app->list.folders[i].path);
  return paths;
}

// A game folder of the test's own, below a temporary folder.
class StartUp : public RedirectedUserKey {
 protected:
  void SetUp() override {
    RedirectedUserKey::SetUp();
    base_ = MakeTempFolder();
    ASSERT_FALSE(base_.empty());
    game_ = base_ + "game";
    replay_ = game_ + "\\replay\\";
    chosen_ = base_ + "my-custom games\\";
  }
  void TearDown() override {
    RemoveTree(base_);
    RedirectedUserKey::TearDown();
  }
  std::string base_;
  std::string game_;     // the install path, without a separator
  std::string replay_;   // its replay folder
  std::string chosen_;   // a folder for -folder, with a blank and "-custom" in its name
};

// Each way the game's key may hold the install path: the folder the tray program
// watches and shows, and the one brindlecap-cli folder prints, are the same.
TEST_F(StartUp, TheTrayProgramAndTheCliFindTheSameFolderInTheGamesKey) {
  const std::string game = "D:\\Games\\Warcraft III";
  struct Value {
    const char* name;
    std::string data;
    DWORD type;
  };
  struct Case {
    const char* what;
    std::vector<Value> values;  // none: the key is missing
    std::string folder;
  } cases[] = {
      {"plain", {{"InstallPathX", game, REG_SZ}}, game + "\\replay\\"},
      {"backslash", {{"InstallPathX", game + "\\", REG_SZ}}, game + "\\replay\\"},
      {"slash", {{"InstallPathX", game + "/", REG_SZ}}, game + "/replay\\"},
      {"only InstallPath", {{"InstallPath", game, REG_SZ}}, game + "\\replay\\"},
      {"both values", {{"InstallPathX", game, REG_SZ}, {"InstallPath", "E:\\Other", REG_SZ}},
       game + "\\replay\\"},
      {"no NUL", {{"InstallPathX", game, REG_BINARY}}, game + "\\replay\\"},
      // 1016 characters leave no room for "replay\": InstallPath gets its turn.
      {"too long",
       {{"InstallPathX", "C:\\" + std::string(1013, 'a'), REG_SZ},
        {"InstallPath", game, REG_SZ}},
       game + "\\replay\\"},
      {"no install path", {{"Language", "enUS", REG_SZ}}, "\\replay\\"},
      {"key missing", {}, "c:\\program files\\warcraft iii\\replay\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteGameKey();
    for (const Value& value : c.values) SetGameValue(value.name, value.data, value.type);
    const std::unique_ptr<AppState> app = StartWith("-nodate");
    EXPECT_EQ(c.folder, app->replay_folder);
    EXPECT_FALSE(app->listed);
    EXPECT_EQ(std::vector<std::string>{c.folder}, WatchedPaths(app.get()));
    const std::string about = AboutText(app.get());
    EXPECT_NE(std::string::npos, about.find("Replay folder:\n" + c.folder + "\n")) << about;

    const CliRun run = RunWith({"folder"});
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(c.folder + "\n", run.out);
  }
}

// Without -modern and -folder the install path's folder alone is watched, whatever
// Documents holds; -modern adds Documents' folders, -folder its own, each after
// the install path's.
TEST_F(StartUp, ModernAndFolderWatchAListAndWithoutThemOneFolderIsWatched) {
  SetGameValue("InstallPathX", game_);
  char documents[kGamePathSize];
  const bool has_documents = FindDocumentsFolder(documents, sizeof documents) == kDocumentsFound;
  char documents_replay[kPathSize] = "";
  char accounts[kPathSize] = "";
  if (has_documents) {
    ASSERT_TRUE(JoinPath(documents_replay, sizeof documents_replay, documents,
                         "Warcraft III\\Replay\\"));
    ASSERT_TRUE(JoinPath(accounts, sizeof accounts, documents, "Warcraft III\\BattleNet\\"));
  }
  const std::string folder_switch = " -folder \"" + chosen_ + "\"";
  struct Case {
    std::string line;
    bool listed;
    bool documents;
    bool chosen;
  } cases[] = {
      {"-nodate", false, false, false},
      {"-custom" + folder_switch, true, false, true},
      {"-modern -nodate", true, true, false},
      {"-modern" + folder_switch, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::unique_ptr<AppState> app = StartWith(c.line);
    EXPECT_EQ(c.listed, app->listed);
    EXPECT_EQ(replay_, app->replay_folder);
    std::vector<std::string> expected = {replay_};
    if (c.documents && has_documents) expected.push_back(documents_replay);
    std::vector<std::string> watched;
    for (const std::string& path : WatchedPaths(app.get())) {
      // Accounts are what this user's Documents holds: they are checked apart.
      if (has_documents && c.documents && path.find(accounts) == 0) continue;
      watched.push_back(path);
    }
    if (c.chosen) expected.push_back(chosen_);
    EXPECT_EQ(expected, watched);
    const std::string about = AboutText(app.get());
    for (const std::string& path : WatchedPaths(app.get())) {
      EXPECT_NE(std::string::npos, about.find("\n" + path + "\n")) << about;
    }
  }
}

// Where a real replay goes with -nodate, from one of the real replays' lists.
std::string ListedName(const char* list, const std::string& file) {
  for (const ExpectedRow& row : ReadExpectedRows(list)) {
    if (row.file == file) return row.path;
  }
  return "(not listed)";
}

// The copies below folder, LastReplay.w3g aside.
std::vector<std::string> CopiesBelow(const std::string& folder) {
  std::vector<std::string> copies;
  for (const std::string& file : ListFiles(folder)) {
    if (file != "LastReplay.w3g") copies.push_back(file);
  }
  return copies;
}

// The command line decides which replays are saved and how they are named: the
// replays the game writes one after another after start-up, and the copies there
// afterwards, with "{tag}" standing for the date tag of the day.
TEST_F(StartUp, TheCommandLineDecidesWhatIsSavedAndUnderWhichName) {
  ASSERT_FALSE(RealReplayFolder().empty()) << "tests/replays or its expected.tsv is missing";
  const char kLadder[] = "130-standard_1304.w3g";
  const char kCustom[] = "130-standard_1304.2on2.w3g";
  const char kCurrent[] = "132-reforged_release.w3g";  // a ladder game of 1.32
  const std::string ladder = ListedName("expected.tsv", kLadder);
  const std::string dated = ladder.substr(0, 4) + "{tag}" + ladder.substr(4);
  const std::string custom = ListedName("expected.tsv", kCustom);
  const std::string current = ListedName("expected-modern.tsv", kCurrent);
  ASSERT_EQ("1v1\\", ladder.substr(0, 4));
  struct Case {
    std::string line;
    bool to_chosen;  // the game writes to the -folder folder, not the install path's
    std::vector<const char*> replays;
    std::vector<std::string> copies;
    std::vector<std::string> about;
  } cases[] = {
      {"", false, {kCustom, kLadder}, {dated}, {"Custom games: not saved", "Date tag: on"}},
      {"-custom -nodate", false, {kCustom}, {custom}, {"Custom games: saved\n", "Date tag: off"}},
      {"-nodate -custom", false, {kCustom}, {custom}, {"Custom games: saved\n", "Date tag: off"}},
      // A switch inside a longer word still counts.
      {"x-customary y-nodatez", false, {kCustom}, {custom},
       {"Custom games: saved\n", "Date tag: off"}},
      // Case matters: these are no switches.
      {"-CUSTOM -NODATE", false, {kCustom, kLadder}, {dated},
       {"Custom games: not saved", "Date tag: on"}},
      {"-modern -nodate", false, {kCurrent}, {current},
       {"Game versions 1.30 and later: named (-modern)\n"}},
      {"-modern -nodate -name \"{players} on {map} {length}\"", false, {kCurrent},
       {"1v1\\anXieTy(h) vs IroNSoul(u) on Amazonia 18m11s.w3g"},
       {"\nNames: {players} on {map} {length} (-name)\n"}},
      // The folder's name is no -custom.
      {"-nodate -folder \"" + chosen_ + "\"", true, {kCustom, kLadder}, {ladder},
       {"Custom games: not saved"}},
  };
  SetGameValue("InstallPathX", game_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string folder = c.to_chosen ? chosen_ : replay_;
    RemoveTree(folder);
    ASSERT_TRUE(MakeFolders(base_, folder.substr(base_.size())));
    const std::unique_ptr<AppState> app = StartWith(c.line);
    const std::string before = DateTagNow();
    WatchTick(app.get(), true);
    int64_t stamp = 1700000000;
    for (const char* replay : c.replays) {
      Bytes bytes;
      ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + replay, &bytes)) << replay;
      ASSERT_TRUE(WriteFileBytes(folder + "LastReplay.w3g", bytes));
      ASSERT_TRUE(SetWriteTime(folder + "LastReplay.w3g", stamp += 10));
      WatchTick(app.get(), false);
    }
    const std::vector<std::string> copies = CopiesBelow(folder);
    // The day's tag, or the next day's when midnight came during the ticks.
    std::string tag = before;
    if (!copies.empty() && copies[0].find(before) == std::string::npos) tag = DateTagNow();
    std::vector<std::string> expected;
    for (std::string copy : c.copies) {
      const size_t at = copy.find("{tag}");
      if (at != std::string::npos) copy.replace(at, 5, tag);
      expected.push_back(copy);
    }
    EXPECT_EQ(expected, copies);
    const std::string about = AboutText(app.get());
    for (const std::string& says : c.about) {
      EXPECT_NE(std::string::npos, about.find(says)) << says << " in\n" << about;
    }
  }
}

}  // namespace
