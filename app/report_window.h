// The Start menu's statistics program shows this window while it reads the
// player's replays: how many of those found are read, the folder being read, and
// Cancel. The reading runs on a thread of its own and tells the window through a
// ReadingShown they share; Escape, Enter, Cancel and closing the window all ask
// the reading to stop, and the window goes once the reading has ended.
#ifndef BRINDLECAP_APP_REPORT_WINDOW_H_
#define BRINDLECAP_APP_REPORT_WINDOW_H_

#include <windows.h>

#include <atomic>
#include <mutex>

extern const char kProgressClassName[];  // "BrindlecapStatistics"
extern const char kProgressTitle[];      // "Brindlecap statistics"

enum {
  kProgressMessage = WM_APP + 1,     // the reading told something new
  kReadingDoneMessage = WM_APP + 2,  // the reading has ended: the window goes
  kCountTextId = 101,                // "Reading replay 12 of 345"
  kProgressBarId = 102,
  kFolderTextId = 103,               // the folder being read
  kCancelId = IDCANCEL,
  kShownFolderSize = 1024,
};

// What the reading tells the window. The reading's thread writes it under lock;
// the window reads it when a kProgressMessage comes.
struct ReadingShown {
  std::mutex lock;
  bool walking = true;  // still looking for the replays
  int read = 0;
  int found = 0;
  char folder[kShownFolderSize] = "";
  HWND window = nullptr;  // where the news goes; set before the reading starts
  std::atomic<bool> posted{false};  // a kProgressMessage is on its way: no need for another
  std::atomic<bool> stop{false};    // the player asked to stop
};

// The reading's side (CliProgress's functions, context a ReadingShown): note what
// is new and tell the window.
void ShowWalking(void* context, int found, const char* folder);
void ShowReading(void* context, int read, int found, const char* file);

// Where the controls go in a client area of the returned size, at dpi dots per
// inch (96 is 100%).
struct ProgressLayout {
  RECT count;
  RECT bar;
  RECT folder;
  RECT cancel;
  SIZE client;
};
ProgressLayout LayOutProgress(int dpi);

// Registers the window's class and creates the window, sized for the DPI of the
// monitor it is on, centred on the work area; shows it with Cancel focused.
// shown->window is set. NULL when it could not be made.
HWND CreateProgressWindow(HINSTANCE instance, ReadingShown* shown);

// Runs the messages of the calling thread until the window has gone: Escape and
// Enter anywhere in it ask to stop, as Cancel does.
void RunProgressWindow(HWND window);

#endif  // BRINDLECAP_APP_REPORT_WINDOW_H_
