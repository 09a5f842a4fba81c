// The main window's procedure, message by message, and the about box's text.
#include <string.h>
#include <windows.h>

#include <shellapi.h>

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "app/shell.h"
#include "gtest/gtest.h"
#include "platform/platform.h"
#include "tests/test_support.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

namespace {

// A state as the program starts with, before the switches are read.
std::unique_ptr<AppState> FreshState() {
  std::unique_ptr<AppState> app(new AppState);
  InitAppState(app.get());
  return app;
}

// The program without -modern and -folder: the install path's folder alone, a
// list of one.
void WatchOneFolder(AppState* app, const std::string& folder) {
  snprintf(app->replay_folder, sizeof app->replay_folder, "%s", folder.c_str());
  app->listed = false;
  ClearWatchList(&app->list);
  AddWatchedFolder(&app->list, folder.c_str(), kFolderInstallPath);
}

// Message boxes are refused as they are created, and counted, so that a click
// that opens one does not block the test. (Their caption is set only after
// creation; the end-to-end run reads it.)
int BoxesOpened = 0;
HWND LastBoxOwner = NULL;

LRESULT CALLBACK RefuseDialogs(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND) {
    CBT_CREATEWNDA* create = reinterpret_cast<CBT_CREATEWNDA*>(lparam);
    char class_name[64] = "";
    GetClassNameA(reinterpret_cast<HWND>(wparam), class_name, sizeof class_name);
    if (strcmp(class_name, "#32770") == 0) {
      ++BoxesOpened;
      LastBoxOwner = create->lpcs->hwndParent;
      return 1;
    }
  }
  return CallNextHookEx(NULL, code, wparam, lparam);
}

class MainWindowTest : public testing::Test {
 protected:
  // One window for the suite, as the program has one; it carries app.
  static void SetUpTestSuite() {
    app = new AppState;
    InitAppState(app);
    app->instance = GetModuleHandleA(NULL);
    CreateMainWindow(app, SW_SHOWNORMAL);
    MainWindow = app->window;
  }

  void SetUp() override {
    ASSERT_NE(nullptr, MainWindow);
    TakeQuit(NULL);
    BoxesOpened = 0;
    LastBoxOwner = NULL;
    hook_ = SetWindowsHookExA(WH_CBT, RefuseDialogs, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook_);
  }

  void TearDown() override {
    if (hook_ != NULL) UnhookWindowsHookEx(hook_);
  }

  // True when a quit message is waiting; takes it and its code.
  static bool TakeQuit(WPARAM* code) {
    MSG message;
    if (!PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (code != NULL) *code = message.wParam;
    return true;
  }

  HHOOK hook_ = NULL;
  static AppState* app;
  static HWND MainWindow;
};
AppState* MainWindowTest::app = nullptr;
HWND MainWindowTest::MainWindow = NULL;

TEST_F(MainWindowTest, StartsHiddenUnderItsClassAndTitle) {
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  char text[64];
  ASSERT_GT(GetClassNameA(MainWindow, text, sizeof text), 0);
  EXPECT_STREQ("Brindlecap", text);
  ASSERT_GT(GetWindowTextA(MainWindow, text, sizeof text), 0);
  EXPECT_STREQ("WarCraft TFT Brindlecap", text);
}

// The shell accepts a change to an icon only while it holds that icon.
bool TrayHolds(HWND window) {
  NOTIFYICONDATAA record;
  memset(&record, 0, sizeof record);
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = window;
  record.uID = kTrayIconId;
  return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

TEST_F(MainWindowTest, CreationAddsTheTrayIcon) { EXPECT_TRUE(TrayHolds(MainWindow)); }

// Explorer restarted: its new tray knows no icons until each program adds its own.
TEST_F(MainWindowTest, TheTaskbarComingBackGetsTheIconAgain) {
  const UINT TaskbarCreatedMessage = app->taskbar_created;
  ASSERT_NE(0u, TaskbarCreatedMessage);
  EXPECT_EQ(TaskbarCreatedMessage, RegisterWindowMessageA("TaskbarCreated"));
  for (int restart = 0; restart < 2; ++restart) {
    ASSERT_TRUE(RemoveTrayIcon(MainWindow, kTrayIconId));
    ASSERT_FALSE(TrayHolds(MainWindow));
    EXPECT_EQ(0, SendMessageA(MainWindow, TaskbarCreatedMessage, 0, 0));
    EXPECT_TRUE(TrayHolds(MainWindow)) << "restart " << restart;
  }
  EXPECT_FALSE(TakeQuit(NULL));
}

// A word after a game goes to the icon the shell holds; a click on it shows the
// copy a saved replay's word named, and nothing for a replay that waits.
TEST_F(MainWindowTest, NewsIsShownByTheIconAndOnlyASavedCopyIsShownOnAClick) {
  ASSERT_TRUE(TrayHolds(MainWindow));
  News saved;
  saved.saved = true;
  snprintf(saved.title, sizeof saved.title, "Replay saved");
  snprintf(saved.text, sizeof saved.text, "1v1\\A(h) vs B(u).w3g \xE2\x80\x94 won, 18m11s");
  snprintf(saved.path, sizeof saved.path, "D:\\R\\1v1\\A(h) vs B(u).w3g");
  EXPECT_TRUE(ShowNews(app, &saved));
  EXPECT_STREQ("D:\\R\\1v1\\A(h) vs B(u).w3g", app->news_path);
  News waiting = saved;
  waiting.saved = false;
  snprintf(waiting.title, sizeof waiting.title, "Replay not saved yet");
  EXPECT_TRUE(ShowNews(app, &waiting));
  EXPECT_STREQ("", app->news_path) << "the copy that could not be made is no file to show";
  EXPECT_FALSE(ShowNewsCopy(app));
  // Without the icon the shell has nothing to show it by.
  ASSERT_TRUE(RemoveTrayIcon(MainWindow, kTrayIconId));
  EXPECT_FALSE(ShowNews(app, &saved));
  ShowTrayIcon(MainWindow, app->instance);
  app->news_path[0] = '\0';
}

TEST(ClaimInstance, OnlyOneHolderAtATimeAndFreeOnceItLetsGo) {
  const char name[] = "Local\\Brindlecap.Test.ClaimInstance";
  HANDLE first = NULL;
  ASSERT_EQ(1, ClaimInstance(name, &first));
  ASSERT_NE(nullptr, first);
  HANDLE second = NULL;
  EXPECT_EQ(0, ClaimInstance(name, &second));
  EXPECT_EQ(nullptr, second);
  CloseHandle(first);
  EXPECT_EQ(1, ClaimInstance(name, &second));
  CloseHandle(second);
}

TEST_F(MainWindowTest, MessagesThatEndTheLoopAndThoseThatDoNot) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM wparam;
    bool quits;
    bool keeps_icon;
  } cases[] = {
      {"Escape", WM_KEYDOWN, VK_ESCAPE, true, true},  // quits but leaves the icon
      {"another key", WM_KEYDOWN, 'Q', false, true},
      {"Enter", WM_KEYDOWN, VK_RETURN, false, true},
      {"close", WM_CLOSE, 0, true, false},
      {"destroy", WM_DESTROY, 0, true, false},
      {"size", WM_SIZE, SIZE_MINIMIZED, false, true},
      {"activate", WM_ACTIVATE, WA_ACTIVE, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!TrayHolds(MainWindow)) AddTrayIcon(MainWindow, kTrayIconId, NULL, "Brindlecap");
    ASSERT_TRUE(TrayHolds(MainWindow));
    EXPECT_EQ(0, SendMessageA(MainWindow, c.message, c.wparam, 0));
    WPARAM code = 12345;
    EXPECT_EQ(c.quits, TakeQuit(&code));
    if (c.quits) {
      EXPECT_EQ(0u, code);
    }
    EXPECT_EQ(c.keeps_icon, TrayHolds(MainWindow));
    // Closing ends the loop but never destroys the window.
    EXPECT_TRUE(IsWindow(MainWindow));
  }
  // The icon back, for whatever test runs next.
  if (!TrayHolds(MainWindow)) ShowTrayIcon(MainWindow, app->instance);
}

TEST_F(MainWindowTest, OnlyButtonDownOnOurIconOpensABox) {
  struct Case {
    WPARAM id;
    LPARAM mouse;
    int boxes;
  } cases[] = {
      {kTrayIconId, WM_RBUTTONDOWN, 1}, {kTrayIconId, WM_LBUTTONDOWN, 1},
      {kTrayIconId, WM_MOUSEMOVE, 0},   {kTrayIconId, WM_RBUTTONUP, 0},
      {kTrayIconId, WM_LBUTTONUP, 0},   {kTrayIconId, WM_LBUTTONDBLCLK, 0},
      {kTrayIconId + 1, WM_RBUTTONDOWN, 0}, {0, WM_LBUTTONDOWN, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << ", mouse message 0x" << std::hex
                                    << c.mouse);
    BoxesOpened = 0;
    SendMessageA(MainWindow, kTrayCallbackMessage, c.id, c.mouse);
    EXPECT_EQ(c.boxes, BoxesOpened);
    if (c.boxes > 0) {
      EXPECT_EQ(MainWindow, LastBoxOwner);
    }
    // A refused prompt is no Yes: the program keeps running.
    EXPECT_FALSE(TakeQuit(NULL));
  }
}

TEST_F(MainWindowTest, EveryTickRunsAFullPass) {
  const std::string folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  app->settings = WatchSettings();
  app->settings.naming.date_tag = false;
  WatchOneFolder(app, folder);
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 0x01}, {"Beta", 0x08}}));
  ASSERT_TRUE(WriteFileBytes(folder + "LastReplay.w3g", replay));
  ASSERT_TRUE(SetWriteTime(folder + "LastReplay.w3g", 1700000000));

  SendMessageA(MainWindow, WM_TIMER, kTickTimerId, 0);
  Bytes copy;
  EXPECT_TRUE(ReadFileBytes(folder + "1v1\\Alpha(h) vs Beta(u).w3g", &copy));
  EXPECT_TRUE(copy == replay);

  // Any timer identifier drives a pass.
  ASSERT_TRUE(SetWriteTime(folder + "LastReplay.w3g", 1700000100));
  SendMessageA(MainWindow, WM_TIMER, 77, 0);
  EXPECT_TRUE(ReadFileBytes(folder + "1v1\\Alpha(h) vs Beta(u)[1].w3g", &copy));
  EXPECT_EQ(2, app->list.folders[0].status.saved);
  ClearWatchList(&app->list);
  RemoveTree(folder);
}

// With -modern or -folder the program watches a list; the about box lists it.
class WatchedListTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    app_ = FreshState();
    snprintf(app_->replay_folder, sizeof app_->replay_folder, "%s", "D:\\Games\\replay\\");
    app_->settings.naming.date_tag = false;
    app_->listed = true;
  }
  void TearDown() override { RemoveTree(folder_); }
  std::string About() {
    std::vector<char> text(kAboutTextSize);
    const size_t length = FormatAboutText(app_.get(), text.data(), text.size());
    EXPECT_EQ(strlen(text.data()), length);
    return text.data();
  }
  std::string folder_;
  std::unique_ptr<AppState> app_;
};

TEST_F(WatchedListTest, TheAboutBoxListsEveryFolderWithWhatHappenedThere) {
  const std::string missing = "C:\\Users\\me\\Documents\\Warcraft III\\Replay\\";
  ASSERT_EQ(kAdded, AddWatchedFolder(&app_->list, folder_.c_str(), kFolderAccount));
  ASSERT_EQ(kAdded, AddWatchedFolder(&app_->list, missing.c_str(), kFolderDocuments));
  WatchedFolder& there = app_->list.folders[0];
  there.status.saved = 1;
  snprintf(there.status.last_copy, kPathSize, "%s1v1\\Alpha(h) vs Beta(u).w3g", folder_.c_str());
  there.status.retry = kRetryCopyFailed;
  there.status.copy_error = kPlatformDiskFull;
  snprintf(there.status.retry_path, kPathSize, "%s2v2\\A(h)B(h) vs C(o)D(o).w3g", folder_.c_str());
  const std::string text = About();
  const std::string expected = "\n" + folder_ +
                               "\nSaved here: 1, the last 1v1\\Alpha(h) vs Beta(u).w3g"
                               "\nNot saved yet, tried again every ten seconds: "
                               "2v2\\A(h)B(h) vs C(o)D(o).w3g (the disk is full)"
                               "\n" + missing + "\n(this folder does not exist yet)\n";
  EXPECT_NE(std::string::npos, text.find(expected)) << text;
  EXPECT_NE(std::string::npos, text.find("Saved since start: 1 replay\n")) << text;
  EXPECT_EQ(std::string::npos, text.find("D:\\Games")) << "the process-wide folder is no list's";
  EXPECT_EQ(std::string::npos, text.find("Not watched")) << text;
}

TEST_F(WatchedListTest, TheAboutBoxSaysWhatCouldNotBeWatched) {
  AddWatchedFolder(&app_->list, folder_.c_str(), kFolderInstallPath);
  struct Case {
    DocumentsResult documents;
    int left_out;
    int accounts_left_out;
    const char* says;
  } cases[] = {
      {kDocumentsFound, 0, 3,
       "Not watched: 3 more folders, with a path too long or past the first 32."},
      {kDocumentsFound, 1, 0, "Not watched: 1 more folder,"},
      {kDocumentsNotGiven, 1, 0,
       "Not watched: the folders in Documents, because Windows did not say where"},
      {kDocumentsNotInCodePage, 1, 0, "has letters this Windows cannot pass on"},
      {kDocumentsTooLong, 1, 0, "the path of your Documents folder is too long"},
  };
  for (const Case& c : cases) {
    app_->documents = c.documents;
    app_->list.left_out = c.left_out;
    app_->list.accounts_left_out = c.accounts_left_out;
    const std::string text = About();
    EXPECT_NE(std::string::npos, text.find(c.says)) << text;
  }
}

TEST_F(WatchedListTest, ManyLongFoldersAreCountedWhenTheyNoLongerFit) {
  for (int i = 0; i < kMaxWatchedFolders; ++i) {
    std::string path = "C:\\" + std::string(200, 'a' + i % 26) + "\\" + std::to_string(i);
    ASSERT_EQ(kAdded, AddWatchedFolder(&app_->list, path.c_str(), kFolderAccount));
  }
  EXPECT_EQ(std::string::npos, About().find("...and")) << "room enough for all in the box";
  // In a smaller buffer the folders give way to the rest of the text.
  char small[4096];
  FormatAboutText(app_.get(), small, sizeof small);
  const std::string text = small;
  EXPECT_NE(std::string::npos, text.find("\n...and ")) << "folders past the room are counted";
  EXPECT_NE(std::string::npos, text.find("close Brindlecap.")) << "nothing cut off at the end";
}

TEST_F(WatchedListTest, EveryTickPassesEveryFolderAndFilesBelowEach) {
  const std::string second = folder_ + "second\\";
  ASSERT_TRUE(PlatformMakeDirectory(second.c_str()));
  AddWatchedFolder(&app_->list, folder_.c_str(), kFolderSwitch);
  AddWatchedFolder(&app_->list, second.c_str(), kFolderSwitch);
  const Bytes replay = BuildReplay(LadderReplay({{"Alpha", 0x01}, {"Beta", 0x08}}));
  ASSERT_TRUE(WriteFileBytes(second + "LastReplay.w3g", replay));
  ASSERT_TRUE(SetWriteTime(second + "LastReplay.w3g", 1700000000));
  WatchTick(app_.get(), true);  // start-up: what is there is recorded
  WatchTick(app_.get(), false);
  EXPECT_EQ(std::vector<std::string>{"second\\LastReplay.w3g"}, ListFiles(folder_));
  for (const std::string& folder : {folder_, second}) {
    ASSERT_TRUE(WriteFileBytes(folder + "LastReplay.w3g", replay));
    ASSERT_TRUE(SetWriteTime(folder + "LastReplay.w3g", 1700000100));
  }
  WatchTick(app_.get(), false);
  Bytes copy;
  for (const std::string& folder : {folder_, second}) {
    EXPECT_TRUE(ReadFileBytes(folder + "1v1\\Alpha(h) vs Beta(u).w3g", &copy)) << folder;
    EXPECT_TRUE(copy == replay);
  }
  EXPECT_EQ(1, app_->list.folders[0].status.saved) << "each folder keeps its own count";
  EXPECT_EQ(1, app_->list.folders[1].status.saved) << "each folder keeps its own count";
}

TEST(FormatAboutText, NamesTheFolderAndTheSettings) {
  const std::unique_ptr<AppState> app = FreshState();
  WatchOneFolder(app.get(), "D:\\Games\\Warcraft III\\replay\\");
  char text[kAboutTextSize];
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "\nD:\\Games\\Warcraft III\\replay\\\n")) << text;
  EXPECT_NE(nullptr, strstr(text, "does not exist")) << text;
  EXPECT_NE(nullptr, strstr(text, "Custom games: not saved")) << text;
  EXPECT_NE(nullptr, strstr(text, "Date tag: on, names start with [BC")) << text;
  EXPECT_NE(nullptr, strstr(text, "Game versions 1.30 and later: not read (start with -modern)\n"))
      << text;

  app->settings.save_custom = true;
  app->settings.naming.date_tag = false;
  app->settings.reading = kLengthReading;
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "Custom games: saved\n")) << text;
  EXPECT_NE(nullptr, strstr(text, "Date tag: off")) << text;
  EXPECT_NE(nullptr, strstr(text, "Game versions 1.30 and later: named (-modern)\n")) << text;
  // How to see the record, whatever the switches.
  EXPECT_NE(nullptr, strstr(text, "Start menu, Brindlecap statistics (or brindlecap-cli report)"))
      << text;
}

// The longest paths of copies below the folder: one saved, one waiting.
void SetLongestCopyPaths(WatcherStatus* status) {
  status->saved = 1;
  status->retry = kRetryCopyFailed;
  memset(status->last_copy, 'c', kPathSize - 1);
  status->last_copy[kPathSize - 1] = '\0';
  memcpy(status->retry_path, status->last_copy, kPathSize);
}

// The list of one whose folder is too long for any file below it to be opened:
// the about box still shows it whole.
void WatchLongestFolder(AppState* app) {
  memset(app->replay_folder, 'f', kPathSize - 1);
  app->replay_folder[kPathSize - 1] = '\0';
  app->listed = false;
  ClearWatchList(&app->list);
  app->list.count = 1;
  memcpy(app->list.folders[0].path, app->replay_folder, kPathSize);
  app->list.folders[0].status = WatcherStatus();
}

TEST(FormatAboutText, ShowsTheNameTemplateWhenOneIsGiven) {
  const std::unique_ptr<AppState> app = FreshState();
  WatchOneFolder(app.get(), "D:\\Games\\Warcraft III\\replay\\");
  char* name_template = app->settings.naming.name_template;
  const size_t template_size = sizeof app->settings.naming.name_template;
  char text[kAboutTextSize];
  snprintf(name_template, template_size, "%s", "{year}-{month}-{day} {players} on {map}");
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "Date tag: on, {date} gives [BC")) << text;
  EXPECT_NE(nullptr, strstr(text, "\nNames: {year}-{month}-{day} {players} on {map} (-name)\n"))
      << text;
  // The default template names as always: the tag still leads. Only one given
  // is shown.
  name_template[0] = '\0';
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_EQ(nullptr, strstr(text, "Names:")) << text;
  EXPECT_NE(nullptr, strstr(text, "Date tag: on, names start with [BC")) << text;
  snprintf(name_template, template_size, "%s", "{date}{players}{game}");
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "\nNames: {date}{players}{game} (-name)\n")) << text;
  EXPECT_NE(nullptr, strstr(text, "Date tag: on, names start with [BC")) << text;
  // The longest template fits beside the longest folder and paths.
  memset(name_template, 't', kPathSize - 1);
  name_template[kPathSize - 1] = '\0';
  WatchLongestFolder(app.get());
  SetLongestCopyPaths(&app->list.folders[0].status);
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, name_template));
  EXPECT_NE(nullptr, strstr(text, "close Brindlecap.")) << "cut off with a long template";
}

TEST(FormatAboutText, SaysWhatWasSavedAndWhatWaits) {
  const std::unique_ptr<AppState> app = FreshState();
  WatchOneFolder(app.get(), "D:\\R\\");
  WatcherStatus& status = app->list.folders[0].status;
  char text[kAboutTextSize];
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "Saved since start: none yet\n")) << text;
  EXPECT_EQ(nullptr, strstr(text, "Not saved")) << text;

  status.saved = 2;
  snprintf(status.last_copy, kPathSize, "D:\\R\\1v1\\Alpha(h) vs Beta(u).w3g");
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "Saved since start: 2 replays\nLast saved: 1v1\\Alpha(h) vs Beta(u).w3g\n"))
      << text;

  struct Case {
    RetryReason retry;
    PlatformError error;
    const char* shown;
  } cases[] = {
      {kRetryCopyFailed, kPlatformDiskFull, "1v1\\Gamma(o) vs Delta(e).w3g\nReason: the disk is full"},
      {kRetryCopyFailed, kPlatformDenied, "1v1\\Gamma(o) vs Delta(e).w3g\nReason: access is denied"},
      {kRetryCopyFailed, kPlatformMissing, "\nReason: the folder is missing"},
      {kRetryCannotOpen, kPlatformOk, "\nLastReplay.w3g\nReason: the game or another program still holds it"},
      {kRetryStillWriting, kPlatformOk, "\nLastReplay.w3g\nReason: the game was still writing it"},
  };
  for (const Case& c : cases) {
    status.retry = c.retry;
    status.copy_error = c.error;
    snprintf(status.retry_path, kPathSize, "%s",
             c.retry == kRetryCopyFailed ? "D:\\R\\1v1\\Gamma(o) vs Delta(e).w3g" : "");
    FormatAboutText(app.get(), text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "Not saved yet")) << text;
    EXPECT_NE(nullptr, strstr(text, c.shown)) << text;
  }
}

TEST(FormatAboutText, TheLongestFolderFitsAndSmallBuffersStayBounded) {
  const std::unique_ptr<AppState> app = FreshState();
  WatchLongestFolder(app.get());
  char text[kAboutTextSize];
  const size_t length = FormatAboutText(app.get(), text, sizeof text);
  EXPECT_EQ(strlen(text), length);
  EXPECT_NE(nullptr, strstr(text, app->replay_folder));
  EXPECT_NE(nullptr, strstr(text, "close Brindlecap."));  // nothing cut off at the end

  // With the longest paths of copies below it too.
  SetLongestCopyPaths(&app->list.folders[0].status);
  FormatAboutText(app.get(), text, sizeof text);
  EXPECT_NE(nullptr, strstr(text, "close Brindlecap.")) << "cut off with two long paths";
  app->list.folders[0].status = WatcherStatus{};

  char small[48];
  memset(small, 'x', sizeof small);
  EXPECT_EQ(39u, FormatAboutText(app.get(), small, 40));
  EXPECT_EQ('\0', small[39]);
  EXPECT_EQ('x', small[40]);
}

}  // namespace
