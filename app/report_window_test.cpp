// The statistics program's window while it reads: its layout at every scale, what
// it shows of the reading, every way a player cancels, and a real reading told to it
// from a thread of its own.
#include "app/report_window.h"

#include <commctrl.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "tests/real_replays.h"

namespace {

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const RECT& r, SIZE client) {
  return r.left >= 0 && r.top >= 0 && r.right <= client.cx && r.bottom <= client.cy &&
         r.left < r.right && r.top < r.bottom;
}

TEST(ReportWindow, LayoutGrowsWithTheScaleAndNothingOverlaps) {
  const ProgressLayout base = LayOutProgress(96);
  for (int dpi : {96, 120, 144, 168, 192, 288}) {
    const ProgressLayout layout = LayOutProgress(dpi);
    const RECT* rects[] = {&layout.count, &layout.bar, &layout.folder, &layout.cancel};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(Inside(*rects[i], layout.client)) << dpi << " dpi, control " << i;
      for (int j = i + 1; j < 4; ++j) {
        EXPECT_FALSE(Overlap(*rects[i], *rects[j])) << dpi << " dpi, controls " << i << ", " << j;
      }
    }
    // A line of text stays a line of the message font at that scale (about 15
    // pixels at 100%), and the button wide enough for its word.
    EXPECT_GE(layout.count.bottom - layout.count.top, MulDiv(16, dpi, 96)) << dpi;
    EXPECT_GE(layout.folder.bottom - layout.folder.top, MulDiv(16, dpi, 96)) << dpi;
    EXPECT_GE(layout.cancel.right - layout.cancel.left, MulDiv(75, dpi, 96)) << dpi;
    EXPECT_EQ(MulDiv(base.client.cx, dpi, 96), layout.client.cx) << dpi;
    EXPECT_EQ(MulDiv(base.client.cy, dpi, 96), layout.client.cy) << dpi;
  }
  const ProgressLayout twice = LayOutProgress(192);
  EXPECT_EQ(2 * base.bar.left, twice.bar.left);
  EXPECT_EQ(2 * (base.bar.right - base.bar.left), twice.bar.right - twice.bar.left);
  EXPECT_EQ(2 * base.cancel.top, twice.cancel.top);
}

std::string TextOf(HWND window, int id) {
  char text[1024] = "";
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

// Handles what is waiting for this thread's windows, without the window's own loop.
void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

class ReportWindowShown : public testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateProgressWindow(GetModuleHandleA(nullptr), &shown_);
    ASSERT_NE(nullptr, window_);
    EXPECT_EQ(window_, shown_.window);
    bar_ = GetDlgItem(window_, kProgressBarId);
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    Pump();
  }
  int Position() { return static_cast<int>(SendMessageA(bar_, PBM_GETPOS, 0, 0)); }
  int Range() { return static_cast<int>(SendMessageA(bar_, PBM_GETRANGE, FALSE, 0)); }

  ReadingShown shown_;
  HWND window_ = nullptr;
  HWND bar_ = nullptr;
};

TEST_F(ReportWindowShown, ShowsTheWalkThenTheFilesReadAndTheirFolder) {
  char title[64] = "";
  GetWindowTextA(window_, title, sizeof title);
  EXPECT_STREQ("Brindlecap statistics", title);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window_, kCancelId)));

  ShowWalking(&shown_, 7, "C:\\Users\\me\\Documents\\Warcraft III\\Replay");
  Pump();
  EXPECT_EQ("Looking for replays... 7 found", TextOf(window_, kCountTextId));
  EXPECT_EQ("C:\\Users\\me\\Documents\\Warcraft III\\Replay", TextOf(window_, kFolderTextId));
  EXPECT_EQ(0, Position());

  ShowReading(&shown_, 0, 40, nullptr);
  Pump();
  EXPECT_EQ("Reading replay 0 of 40", TextOf(window_, kCountTextId));
  EXPECT_EQ(40, Range());
  EXPECT_EQ(0, Position());
  EXPECT_EQ("C:\\Users\\me\\Documents\\Warcraft III\\Replay", TextOf(window_, kFolderTextId));

  ShowReading(&shown_, 3, 40, "C:\\Replays\\Autosaved\\Multiplayer\\Replay_2020_06_18_2318.w3g");
  Pump();
  EXPECT_EQ("Reading replay 3 of 40", TextOf(window_, kCountTextId));
  EXPECT_EQ(3, Position());
  EXPECT_EQ("C:\\Replays\\Autosaved\\Multiplayer", TextOf(window_, kFolderTextId));
}

// News faster than the window takes it: one message on its way at a time, and the
// window shows the latest.
TEST_F(ReportWindowShown, ManyFilesReadBetweenTwoLooksShowTheLatest) {
  for (int read = 1; read <= 1000; ++read) {
    ShowReading(&shown_, read, 1000, read < 1000 ? "C:\\a\\x.w3g" : "C:\\b\\y.w3g");
  }
  int waiting = 0;
  MSG message;
  while (PeekMessageA(&message, window_, kProgressMessage, kProgressMessage, PM_REMOVE)) {
    ++waiting;
    DispatchMessageA(&message);
  }
  EXPECT_EQ(1, waiting);
  EXPECT_FALSE(shown_.posted.load());
  EXPECT_EQ("Reading replay 1000 of 1000", TextOf(window_, kCountTextId));
  EXPECT_EQ(1000, Position());
  EXPECT_EQ("C:\\b", TextOf(window_, kFolderTextId));
  ShowReading(&shown_, 1000, 1000, "C:\\c\\z.w3g");  // news after a look brings another
  Pump();
  EXPECT_EQ("C:\\c", TextOf(window_, kFolderTextId));
}

// What the player sees once Cancel is chosen, as a thread beside the window's loop
// finds it: the reading asked to stop, the window still there saying so with
// Cancel greyed, until the reading ends.
struct Seen {
  bool stop = false;
  bool window_there = false;
  bool cancel_enabled = true;
  std::string count;
};

Seen CancelWith(ReadingShown* shown, HWND window, const std::function<void()>& act) {
  Seen seen;
  std::thread reading([&] {
    act();
    for (int waited = 0; !shown->stop && waited < 10000; waited += 10) Sleep(10);
    seen.stop = shown->stop;
    seen.window_there = IsWindow(window) != 0;
    seen.cancel_enabled = IsWindowEnabled(GetDlgItem(window, kCancelId)) != 0;
    char text[128] = "";
    GetWindowTextA(GetDlgItem(window, kCountTextId), text, sizeof text);
    seen.count = text;
    PostMessageA(window, kReadingDoneMessage, 0, 0);
  });
  RunProgressWindow(window);
  reading.join();
  return seen;
}

TEST_F(ReportWindowShown, EveryWayToCancel) {
  const LPARAM kKeyDown = 0x00010001;  // repeat count 1, as a key press comes
  struct Case {
    const char* what;
    std::function<void(HWND)> act;
  };
  const Case cases[] = {
      {"Escape on Cancel",
       [=](HWND w) { PostMessageA(GetDlgItem(w, kCancelId), WM_KEYDOWN, VK_ESCAPE, kKeyDown); }},
      {"Enter on Cancel",
       [=](HWND w) { PostMessageA(GetDlgItem(w, kCancelId), WM_KEYDOWN, VK_RETURN, kKeyDown); }},
      {"Escape on the window", [=](HWND w) { PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, kKeyDown); }},
      {"Enter on the folder's line",
       [=](HWND w) {
         PostMessageA(GetDlgItem(w, kFolderTextId), WM_KEYDOWN, VK_RETURN, kKeyDown);
       }},
      {"a click on Cancel", [](HWND w) { PostMessageA(GetDlgItem(w, kCancelId), BM_CLICK, 0, 0); }},
      {"the close box", [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }},
  };
  for (const Case& c : cases) {
    if (!IsWindow(window_)) {
      shown_.stop = false;
      window_ = CreateProgressWindow(GetModuleHandleA(nullptr), &shown_);
      ASSERT_NE(nullptr, window_) << c.what;
    }
    HWND window = window_;
    const Seen seen = CancelWith(&shown_, window, [&] { c.act(window); });
    EXPECT_TRUE(seen.stop) << c.what;
    EXPECT_TRUE(seen.window_there) << c.what << ": the window went before the reading ended";
    EXPECT_FALSE(seen.cancel_enabled) << c.what;
    EXPECT_EQ("Stopping...", seen.count) << c.what;
    EXPECT_FALSE(IsWindow(window)) << c.what << ": the window stayed after the reading ended";
  }
}

// Without a word from the player the reading is never asked to stop, and the
// window goes when the reading ends.
TEST_F(ReportWindowShown, TheWindowGoesWhenTheReadingEnds) {
  HWND window = window_;
  std::thread reading([window] { PostMessageA(window, kReadingDoneMessage, 0, 0); });
  RunProgressWindow(window);
  reading.join();
  EXPECT_FALSE(shown_.stop.load());
  EXPECT_FALSE(IsWindow(window));
}

// A real record read on a thread of its own, as the program reads it: the window
// is told of the walk and of every file.
TEST_F(ReportWindowShown, ARealReadingTellsTheWindow) {
  ASSERT_FALSE(RealReplayFolder().empty());
  std::string replays = RealReplayFolder();
  int code = -1;
  HWND window = window_;
  ReadingShown* shown = &shown_;
  std::thread reading([&] {
    const CliProgress progress = {shown, ShowWalking, ShowReading, &shown->stop};
    std::vector<std::string> args = {"brindlecap-cli", "stats", "--jobs", "2", replays};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, &progress);
    fclose(out);
    fclose(err);
    PostMessageA(window, kReadingDoneMessage, 0, 0);
  });
  RunProgressWindow(window);
  reading.join();
  EXPECT_EQ(0, code);
  EXPECT_FALSE(shown_.walking);
  EXPECT_GT(shown_.found, 20);
  EXPECT_EQ(shown_.found, shown_.read);
  EXPECT_EQ(0, std::string(shown_.folder).find(replays.substr(0, replays.size() - 1)))
      << shown_.folder;
}

}  // namespace
