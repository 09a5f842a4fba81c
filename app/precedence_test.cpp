// Switches over stored settings over the defaults, what the about box says of
// where each came from, and stored settings changed while the program runs,
// taken at the next tick.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/fake_settings_key.h"
#include "app/shell.h"
#include "cli/cli_test_support.h"
#include "gtest/gtest.h"
#include "naming/name_template.h"
#include "platform/platform.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

// What WinMain does up to the priming pass, with the settings key a fake one.
std::unique_ptr<AppState> StartWith(const char* command_line, FakeKey* key) {
  std::unique_ptr<AppState> app(new AppState);
  InitAppState(app.get());
  ReadSwitches(command_line, app.get());
  EXPECT_STREQ("", app->switch_problem);
  app->store = key->Seam();
  app->store.changed(app->store.context);
  ReadStoredSettings(&app->store, &app->stored);
  ApplyStoredSettings(app.get(), &app->stored);
  return app;
}

std::string About(const AppState* app) {
  std::vector<char> text(kAboutTextSize);
  FormatAboutText(app, text.data(), text.size());
  return text.data();
}

// The line of text that starts with start, without its end of line.
std::string LineOf(const std::string& text, const std::string& start) {
  const size_t at = text.find("\n" + start);
  if (at == std::string::npos) return "(no line " + start + ")";
  const size_t end = text.find('\n', at + 1);
  return text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

TEST(Precedence, SwitchOverStoredOverDefaultAndTheAboutBoxSaysWhich) {
  struct Case {
    const char* what;
    const char* line;
    void (*store)(FakeKey*);
    bool custom, date_tag, modern, notify;
    const char* name_template;
    std::vector<std::string> lines;  // lines of the about box, each in full
  } cases[] = {
      {"nothing stored, no switch: as always", "", [](FakeKey* k) { k->exists = false; }, false,
       true, false, false, "",
       {"Custom games: not saved (start with -custom to keep them)",
        "Game versions 1.30 and later: not read (start with -modern)"}},
      {"stored settings",
       "",
       [](FakeKey* k) {
         k->Dword("KeepCustomGames", 1);
         k->Dword("DateTag", 0);
         k->Dword("Modern", 1);
         k->Dword("Notify", 1);
         k->Text("NameTemplate", "{players} {length}");
       },
       true, false, true, true, "{players} {length}",
       {"Custom games: saved, keep custom games (settings)", "Date tag: off, date tag (settings)",
        "Names: {players} {length}, template (settings)",
        "Game versions 1.30 and later: named, replays of every game version (settings)",
        "After each game: a notification, tell me when a replay is saved (settings)"}},
      {"switches win over what is stored",
       "-custom -nodate -modern -name \"{map}\"",
       [](FakeKey* k) {
         k->Dword("KeepCustomGames", 0);
         k->Dword("DateTag", 1);
         k->Dword("Modern", 0);
         k->Text("NameTemplate", "{players}");
       },
       true, false, true, false, "{map}",
       {"Custom games: saved, -custom (shortcut)", "Date tag: off, -nodate (shortcut)",
        "Names: {map}, -name (shortcut)",
        "Game versions 1.30 and later: named, -modern (shortcut)"}},
      {"a stored default is said to be stored",
       "",
       [](FakeKey* k) {
         k->Dword("KeepCustomGames", 0);
         k->Dword("Modern", 0);
         k->Dword("Notify", 0);
       },
       false, true, false, false, "",
       {"Custom games: not saved, keep custom games (settings)",
        "Game versions 1.30 and later: not read, replays of every game version (settings)",
        "After each game: no notification (settings)"}},
      {"what cannot be used is passed over and said",
       "-modern",
       [](FakeKey* k) {
         k->Text("NameTemplate", "{players} on {mapname}");
         k->Text("KeepCustomGames", "1");
       },
       false, true, true, false, "",
       {"Custom games: not saved (start with -custom to keep them)",
        "Passed over in the settings, so the default stands:",
        "KeepCustomGames: is a REG_SZ, not a REG_DWORD of 0 or 1",
        "NameTemplate: the -name template has an unknown field {mapname} (the fields are " +
            std::string(kNameFieldList) + ")"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKey key;
    c.store(&key);
    const std::unique_ptr<AppState> app = StartWith(c.line, &key);
    EXPECT_EQ(c.custom, app->settings.save_custom);
    EXPECT_EQ(c.date_tag, app->settings.naming.date_tag);
    EXPECT_EQ(c.modern, app->settings.reading == kLengthReading);
    EXPECT_EQ(c.notify, app->notify);
    EXPECT_STREQ(c.name_template, app->settings.naming.name_template);
    const std::string about = About(app.get());
    for (const std::string& line : c.lines) {
      EXPECT_EQ(line, LineOf(about, line.substr(0, line.find(':') + 1))) << about;
    }
    if (c.line[0] == '\0' && !key.exists) {
      EXPECT_EQ(std::string::npos, about.find("(settings)")) << about;
      EXPECT_EQ(std::string::npos, about.find("(shortcut)")) << about;
      EXPECT_EQ(std::string::npos, about.find("Passed over")) << about;
    }
    EXPECT_TRUE(key.written.empty()) << "the program never writes a setting";
  }
}

// Folders: the -folder switches replace the stored ones for the run.
class WatchedWith : public RedirectedUserKey {
 protected:
  void SetUp() override {
    RedirectedUserKey::SetUp();
    base_ = MakeTempFolder();
    ASSERT_FALSE(base_.empty());
    for (const char* name : {"a", "b", "c"}) {
      ASSERT_TRUE(PlatformMakeDirectory((base_ + name).c_str()));
    }
  }
  void TearDown() override {
    RemoveTree(base_);
    RedirectedUserKey::TearDown();
  }
  std::string Folders(const char* joined) {
    std::string bytes;
    for (const char* at = joined; *at != '\0'; ++at) {
      if (*at == '|') {
        bytes += '\0';
      } else {
        if (at == joined || at[-1] == '|') bytes += base_;
        bytes += *at;
      }
    }
    return bytes + std::string(2, '\0');
  }
  std::vector<std::string> Watched(const AppState* app) {
    std::vector<std::string> below;
    for (int i = 0; i < app->list.count; ++i) {
      const std::string path = app->list.folders[i].path;
      if (path.compare(0, base_.size(), base_) == 0) below.push_back(path.substr(base_.size()));
    }
    return below;
  }
  std::string base_;
};

TEST_F(WatchedWith, FolderSwitchesReplaceTheStoredFolders) {
  struct Case {
    const char* switches;  // -folder values below base_, joined by '|'
    const char* stored;
    std::vector<std::string> watched;
    const char* says;
  } cases[] = {
      {"", "a|b", {"a\\", "b\\"}, "Extra folders: 2, folders (settings)"},
      {"c", "a|b", {"c\\"}, "Extra folders: 1, -folder (shortcut)"},
      {"", "", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.switches) + " over " + c.stored);
    FakeKey key;
    if (c.stored[0] != '\0') key.Raw("Folders", REG_MULTI_SZ, Folders(c.stored));
    std::string line;
    if (c.switches[0] != '\0') line = "-folder \"" + base_ + c.switches + "\"";
    const std::unique_ptr<AppState> app = StartWith(line.c_str(), &key);
    ChooseWatchedFolders(app.get(), HKEY_CURRENT_USER, kGameRegistryKey);
    EXPECT_EQ(c.watched, Watched(app.get()));
    EXPECT_EQ(!c.watched.empty(), app->listed);
    const std::string about = About(app.get());
    if (c.says[0] != '\0') {
      EXPECT_EQ(c.says, LineOf(about, "Extra folders:"));
    } else {
      EXPECT_EQ(std::string::npos, about.find("Extra folders")) << about;
    }
  }
}

// A running program and the settings window beside it: what OK writes is taken
// at the next tick, without a restart.
class LiveSettings : public WatchedWith {
 protected:
  void SetUp() override {
    WatchedWith::SetUp();
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "130-standard_1304.w3g", &ladder_));
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "130-standard_1304.2on2.w3g", &custom_));
    key_.Raw("Folders", REG_MULTI_SZ, Folders("a"));
    key_.Dword("DateTag", 0);
    app_ = StartWith("", &key_);
    ChooseWatchedFolders(app_.get(), HKEY_CURRENT_USER, kGameRegistryKey);
  }
  void GameWrites(const char* folder, const Bytes& replay, int64_t second) {
    const std::string path = base_ + folder + "\\LastReplay.w3g";
    ASSERT_TRUE(WriteFileBytes(path, replay));
    ASSERT_TRUE(SetWriteTime(path, 1700000000 + second));
  }
  std::vector<std::string> Files(const char* folder) { return ListFiles(base_ + folder + "\\"); }
  // The settings window's OK: the values written, the key's change signalled.
  void PlayerPressesOk(void (*change)(FakeKey*)) {
    change(&key_);
    key_.changed = true;
  }
  FakeKey key_;
  std::unique_ptr<AppState> app_;
  Bytes ladder_;
  Bytes custom_;  // a custom game: kept only with "keep custom games"
};

TEST_F(LiveSettings, TheNextTickTakesTheTemplateCustomGamesAndFolders) {
  GameWrites("a", ladder_, 1);  // there at start-up
  GameWrites("b", ladder_, 1);  // in a folder not watched yet
  WatchTick(app_.get(), true);
  WatchTick(app_.get(), false);
  EXPECT_EQ(std::vector<std::string>{"LastReplay.w3g"}, Files("a"));

  PlayerPressesOk([](FakeKey* k) {
    k->Text("NameTemplate", "{type} {players}{game} kept");
    k->Dword("KeepCustomGames", 1);
  });
  key_.Raw("Folders", REG_MULTI_SZ, Folders("a|b"));
  GameWrites("a", custom_, 2);
  WatchTick(app_.get(), false);
  EXPECT_TRUE(app_->settings.save_custom);
  EXPECT_STREQ("{type} {players}{game} kept", app_->settings.naming.name_template);
  EXPECT_EQ((std::vector<std::string>{"Custom\\Custom inal5678 kept.w3g", "LastReplay.w3g"}),
            Files("a"))
      << "the custom game is filed by the new template, the first replay not again";
  EXPECT_EQ(std::vector<std::string>{"LastReplay.w3g"}, Files("b"))
      << "what a folder held when it came to be watched is not copied";
  GameWrites("b", ladder_, 3);
  WatchTick(app_.get(), false);
  EXPECT_EQ((std::vector<std::string>{"1v1\\1v1 Stormhoof(e) vs buffMyKotg(e) kept.w3g",
                                      "LastReplay.w3g"}),
            Files("b"));
  // Each folder kept what it saved when the list was made anew.
  EXPECT_NE(std::string::npos, About(app_.get()).find("Saved since start: 2 replays"));
}

TEST_F(LiveSettings, AnUnchangedKeyCostsOneProbeAFolderAndNothingElse) {
  WatchTick(app_.get(), true);
  for (int tick = 0; tick < 3; ++tick) {
    const uint64_t before = PlatformCallCount;
    EXPECT_FALSE(RefreshSettings(app_.get()));
    WatchTick(app_.get(), false);
    EXPECT_EQ(static_cast<uint64_t>(app_->list.count), PlatformCallCount - before)
        << "one probe of each folder's LastReplay.w3g";
  }
  // A change that changes nothing in use: read, and nothing made anew.
  key_.changed = true;
  EXPECT_FALSE(RefreshSettings(app_.get()));
  PlayerPressesOk([](FakeKey* k) { k->Dword("Modern", 1); });
  EXPECT_TRUE(RefreshSettings(app_.get()));
  EXPECT_EQ(kLengthReading, app_->settings.reading);
  EXPECT_TRUE(key_.written.empty());
}

TEST_F(LiveSettings, ABadTemplateWhileRunningIsPassedOverAndSaid) {
  WatchTick(app_.get(), true);
  PlayerPressesOk([](FakeKey* k) { k->Text("NameTemplate", "{players}/{map}"); });
  WatchTick(app_.get(), false);
  EXPECT_STREQ("", app_->settings.naming.name_template) << "the default stands";
  EXPECT_EQ("NameTemplate: the -name template holds '/', which no file name can hold",
            LineOf(About(app_.get()), "NameTemplate:"));
  PlayerPressesOk([](FakeKey* k) { k->Text("NameTemplate", "{players} on {map}"); });
  WatchTick(app_.get(), false);
  EXPECT_STREQ("{players} on {map}", app_->settings.naming.name_template);
  EXPECT_EQ(std::string::npos, About(app_.get()).find("Passed over"));
}

}  // namespace
