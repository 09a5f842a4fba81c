// The settings window: the preview of real replays' names, and the dialog itself
// driven as a keyboard user drives it, against a settings key in memory.
#include "app/settings_window.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/fake_settings_key.h"
#include "app/settings_ids.h"
#include "app/settings_preview.h"
#include "gtest/gtest.h"
#include "naming/name_template.h"
#include "tests/real_replays.h"
#include "tests/test_support.h"

namespace {

TEST(SettingsPreview, TheNameOfARealReplayAsTheBoxesAndTemplateSay) {
  const NameDate date = {2026, 7, 30, 21, 5, 0};
  struct Case {
    const char* file;
    PreviewChoices choices;
    PreviewKind kind;
    const char* text;
  } cases[] = {
      {"130-standard_1304.w3g", {false, true, false, ""}, kPreviewName,
       "1v1\\[BC0730]Stormhoof(e) vs buffMyKotg(e).w3g"},
      {"130-standard_1304.w3g", {false, false, false, ""}, kPreviewName,
       "1v1\\Stormhoof(e) vs buffMyKotg(e).w3g"},
      {"130-standard_1304.w3g", {false, true, false, "{players} on {map} {length}"}, kPreviewName,
       "1v1\\Stormhoof(e) vs buffMyKotg(e) on TwistedMeadows 19m04s.w3g"},
      {"130-standard_1304.w3g", {false, true, false, "{year}-{month}-{day} {date}{players}"},
       kPreviewName, "1v1\\2026-07-30 [BC0730]Stormhoof(e) vs buffMyKotg(e).w3g"},
      {"132-reforged_release.w3g", {false, false, false, ""}, kPreviewNotKept,
       "not kept: a custom game (Keep custom games keeps it)"},
      {"132-reforged_release.w3g", {false, false, true, "{players} {result}"}, kPreviewName,
       "1v1\\anXieTy(h) vs IroNSoul(u) win.w3g"},
      {"130-standard_1304.2on2.w3g", {true, false, false, ""}, kPreviewName,
       "Custom\\inal5678.w3g"},
      {"130-standard_1304.2on2.w3g", {true, false, true, ""}, kPreviewName,
       "Custom\\final5678.w3g"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.choices.name_template);
    Bytes replay;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + c.file, &replay));
    Preview preview;
    PreviewName(replay.data(), replay.size(), &c.choices, &date, &preview);
    EXPECT_EQ(c.kind, preview.kind);
    EXPECT_STREQ(c.text, preview.text);
  }
  // A template that would be refused: the words the CLI gives for it.
  Bytes replay;
  ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "130-standard_1304.w3g", &replay));
  for (const char* refused : {"{players}: {map}", "{players", "{players} {mapname}", "a/b"}) {
    SCOPED_TRACE(refused);
    const PreviewChoices choices = {false, true, false, refused};
    Preview preview;
    PreviewName(replay.data(), replay.size(), &choices, &date, &preview);
    char problem[256];
    ASSERT_TRUE(NameTemplateProblem(refused, problem, sizeof problem));
    EXPECT_EQ(kPreviewRefused, preview.kind);
    EXPECT_STREQ(problem, preview.text);
  }
}

// The window, modeless, in this thread, over a key in memory and a Startup
// folder of the test's own.
class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override {
    startup_ = MakeTempFolder();
    ASSERT_FALSE(startup_.empty());
  }
  void TearDown() override {
    if (window_ != nullptr) {
      if (IsWindow(window_->dialog)) DestroyWindow(window_->dialog);
      ReleaseSettingsWindow(window_.get());
    }
    RemoveTree(startup_);
  }
  void Open() {
    window_.reset(new SettingsWindow);
    InitSettingsWindow(window_.get(), GetModuleHandleA(NULL), key_.Seam(), "C:\\Brindlecap");
    // Kept out of the prefix's own Startup folders.
    snprintf(window_->startup_folder, MAX_PATH, "%s", startup_.substr(0, startup_.size() - 1).c_str());
    window_->common_startup_folder[0] = '\0';
    dialog_ = OpenSettingsWindow(window_.get(), NULL);
    ASSERT_NE(nullptr, dialog_);
  }
  std::string Text(int id) {
    char text[2048] = "";
    GetDlgItemTextA(dialog_, id, text, sizeof text);
    return text;
  }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  bool Ticked(int id) { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
  void Press(int id) {
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
  }
  void Tick(int id) {
    CheckDlgButton(dialog_, id, Ticked(id) ? BST_UNCHECKED : BST_CHECKED);
    Press(id);
  }
  // Types text into the template, as the edit control tells its dialog.
  void TypeTemplate(const char* text) { SetDlgItemTextA(dialog_, IDC_TEMPLATE, text); }
  // A key as the dialog's own loop hands it over.
  void Key(WPARAM key) {
    MSG message = {GetFocus(), WM_KEYDOWN, key, 0x00010001, 0, {0, 0}};
    if (!IsDialogMessageA(dialog_, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  FakeKey key_;
  std::unique_ptr<SettingsWindow> window_;
  HWND dialog_ = NULL;
  std::string startup_;
};

TEST_F(SettingsDialog, ShowsWhatIsStoredAndTheDefaultsForTheRest) {
  key_.Dword("KeepCustomGames", 1);
  key_.Text("NameTemplate", "{players} on {map}");
  key_.Raw("Folders", REG_MULTI_SZ, std::string("D:\\a\0E:\\b c\0\0", 13));
  Open();
  char caption[64];
  GetWindowTextA(dialog_, caption, sizeof caption);
  EXPECT_STREQ("Brindlecap settings", caption);
  EXPECT_TRUE(Ticked(IDC_CUSTOM));
  EXPECT_TRUE(Ticked(IDC_DATE_TAG)) << "missing: the default, on";
  EXPECT_FALSE(Ticked(IDC_MODERN));
  EXPECT_FALSE(Ticked(IDC_NOTIFY));
  EXPECT_FALSE(Ticked(IDC_STARTUP));
  EXPECT_EQ("{players} on {map}", Text(IDC_TEMPLATE));
  HWND folders = GetDlgItem(dialog_, IDC_FOLDERS);
  EXPECT_EQ(2, SendMessageA(folders, LB_GETCOUNT, 0, 0));
  // Every field of a template, to insert.
  HWND fields = GetDlgItem(dialog_, IDC_FIELDS);
  std::string listed;
  for (LRESULT i = 0; i < SendMessageA(fields, LB_GETCOUNT, 0, 0); ++i) {
    char field[32];
    SendMessageA(fields, LB_GETTEXT, i, reinterpret_cast<LPARAM>(field));
    listed += (i > 0 ? " " : "") + std::string(field);
  }
  EXPECT_EQ(kNameFieldList, listed);
  // No replay of the player's yet: the sample's name, from the program's resources.
  EXPECT_EQ("Next name (of a sample replay):", Text(IDC_PREVIEW_LABEL));
  // A template without {date} carries no tag.
  EXPECT_EQ("1v1\\Stormhoof(e) vs buffMyKotg(e) on TwistedMeadows.w3g", Text(IDC_PREVIEW));
  EXPECT_TRUE(key_.written.empty()) << "opening writes nothing";
}

TEST_F(SettingsDialog, ThePreviewFollowsTheTypingAndARefusedTemplateHoldsOkBack) {
  key_.exists = false;
  Open();
  struct Step {
    const char* typed;
    bool usable;
    std::string preview;  // the start of it
  } steps[] = {
      {"{players}", true, "1v1\\Stormhoof(e) vs buffMyKotg(e).w3g"},
      {"{players} {", false, "the -name template has a \"{\" without its \"}\""},
      {"{players} {len", false, "the -name template has a \"{\" without its \"}\""},
      {"{players} {lenght}", false, "the -name template has an unknown field {lenght}"},
      {"{players} {length}", true, "1v1\\Stormhoof(e) vs buffMyKotg(e) 19m04s.w3g"},
      {"{players}?", false, "the -name template holds '?'"},
      {"", true, "1v1\\[BC"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.typed);
    TypeTemplate(step.typed);
    EXPECT_EQ(0u, Text(IDC_PREVIEW).find(step.preview)) << Text(IDC_PREVIEW);
    EXPECT_EQ(step.usable, Enabled(IDOK));
    EXPECT_EQ(step.usable, Enabled(IDC_APPLY));
    EXPECT_EQ(step.usable ? "Next name (of a sample replay):" : "This template cannot be used:",
              Text(IDC_PREVIEW_LABEL));
  }
  // The boxes count as well.
  TypeTemplate("{players}");
  Tick(IDC_DATE_TAG);
  EXPECT_EQ("1v1\\Stormhoof(e) vs buffMyKotg(e).w3g", Text(IDC_PREVIEW)) << "{date} is not in it";
  TypeTemplate("");
  EXPECT_EQ("1v1\\Stormhoof(e) vs buffMyKotg(e).w3g", Text(IDC_PREVIEW)) << "the date tag off";
  // A field from the list goes where the caret is.
  TypeTemplate("x ");
  SendDlgItemMessageA(dialog_, IDC_TEMPLATE, EM_SETSEL, 2, 2);
  SendDlgItemMessageA(dialog_, IDC_FIELDS, LB_SETCURSEL, 1, 0);  // {players}
  Press(IDC_INSERT);
  EXPECT_EQ("x {players}", Text(IDC_TEMPLATE));
  EXPECT_TRUE(key_.written.empty()) << "nothing is written before OK or Apply";
}

TEST_F(SettingsDialog, OkWritesWhatThePlayerChangedAndApplyKeepsTheWindow) {
  key_.Dword("Modern", 1);
  Open();
  Tick(IDC_CUSTOM);
  TypeTemplate("{players} on {map}");
  Press(IDC_APPLY);
  EXPECT_EQ((std::vector<std::string>{"KeepCustomGames", "NameTemplate"}), key_.written);
  EXPECT_TRUE(IsWindow(dialog_)) << "Apply leaves the window open";
  Press(IDC_APPLY);
  EXPECT_EQ(2u, key_.written.size()) << "nothing changed since: nothing written again";
  Tick(IDC_NOTIFY);
  Tick(IDC_MODERN);
  Press(IDOK);
  EXPECT_EQ((std::vector<std::string>{"KeepCustomGames", "NameTemplate", "Modern", "Notify"}),
            key_.written);
  EXPECT_FALSE(IsWindow(dialog_)) << "OK closes it";
  const SettingsSeam seam = key_.Seam();
  StoredSettings stored;
  ReadStoredSettings(&seam, &stored);
  EXPECT_EQ(1, stored.keep_custom);
  EXPECT_EQ(0, stored.modern);
  EXPECT_EQ(1, stored.notify);
  EXPECT_EQ(-1, stored.date_tag) << "left at its default, never written";
  EXPECT_STREQ("{players} on {map}", stored.name_template);
}

TEST_F(SettingsDialog, EscapeAndCancelWriteNothing) {
  Open();
  Tick(IDC_CUSTOM);
  TypeTemplate("{map}");
  SetFocus(GetDlgItem(dialog_, IDC_TEMPLATE));
  Key(VK_ESCAPE);
  EXPECT_FALSE(IsWindow(dialog_)) << "Escape closes the window";
  EXPECT_TRUE(key_.written.empty());
}

TEST_F(SettingsDialog, EveryControlIsReachedByTabAndHasItsOwnMnemonic) {
  Open();
  // The order Tab goes, from the first box to Apply and round again.
  const std::vector<int> order = {IDC_CUSTOM, IDC_DATE_TAG, IDC_MODERN, IDC_TEMPLATE,
                                  IDC_FIELDS, IDC_INSERT,   IDC_FOLDERS, IDC_ADD,
                                  IDC_REMOVE, IDC_STARTUP,  IDC_NOTIFY,  IDC_OPEN,
                                  IDC_RECORD, IDOK,         IDCANCEL,    IDC_APPLY};
  HWND at = GetDlgItem(dialog_, IDC_CUSTOM);
  for (size_t i = 1; i <= order.size(); ++i) {
    at = GetNextDlgTabItem(dialog_, at, FALSE);
    EXPECT_EQ(order[i % order.size()], GetDlgCtrlID(at)) << "after " << order[i - 1];
  }
  // Tab as the dialog's loop takes it moves the focus along the same way.
  SetFocus(GetDlgItem(dialog_, IDC_TEMPLATE));
  Key(VK_TAB);
  EXPECT_EQ(IDC_FIELDS, GetDlgCtrlID(GetFocus()));
  // Enter is OK; the letters after '&' are each one control's.
  EXPECT_EQ(IDOK, LOWORD(SendMessageA(dialog_, DM_GETDEFID, 0, 0)));
  std::map<char, std::string> mnemonics;
  for (HWND child = GetWindow(dialog_, GW_CHILD); child != NULL;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char text[256];
    GetWindowTextA(child, text, sizeof text);
    const char* amp = strchr(text, '&');
    if (amp == nullptr || amp[1] == '\0') continue;
    const char letter = static_cast<char>(tolower(static_cast<unsigned char>(amp[1])));
    EXPECT_EQ(0u, mnemonics.count(letter)) << "'" << letter << "' of " << text << " and of "
                                           << mnemonics[letter];
    mnemonics[letter] = text;
  }
  EXPECT_EQ(13u, mnemonics.size());
}

TEST_F(SettingsDialog, StartWithWindowsMakesAndRemovesTheShortcut) {
  Open();
  const std::string link = startup_ + "Brindlecap.lnk";
  EXPECT_FALSE(Ticked(IDC_STARTUP));
  Tick(IDC_STARTUP);
  Press(IDC_APPLY);
  EXPECT_EQ(std::vector<std::string>{"Brindlecap.lnk"}, ListFiles(startup_));
  EXPECT_TRUE(StartsWithWindows(window_.get()));
  Tick(IDC_STARTUP);
  Press(IDC_APPLY);
  EXPECT_TRUE(ListFiles(startup_).empty());
  EXPECT_TRUE(key_.written.empty()) << "the shortcut is no setting of the key";
}

}  // namespace
