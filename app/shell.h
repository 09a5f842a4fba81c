// The resident program's shell: the switches, the replay folder, the hidden main
// window with its ten-second timer, the tray icon and its two prompts. Everything
// runs on the one thread that runs the message loop.
#ifndef BRINDLECAP_APP_SHELL_H_
#define BRINDLECAP_APP_SHELL_H_

#include <stddef.h>
#include <windows.h>

enum {
  kTrayIconId = 101,                    // the tray icon and the icon resource it shows
  kTrayCallbackMessage = WM_APP + 1,    // 0x8001: the shell's mouse notifications
  kTickTimerId = 1,
  kTickMilliseconds = 10000,
  kWindowWidth = 320,
  kWindowHeight = 240,
  kTrayTipSize = 64,                    // the tip field of the first tray record form
  kAboutTextSize = 2048,                // room for the longest replay folder and the prose
};

extern const char kMainClassName[];      // "Brindlecap"
extern const char kMainWindowTitle[];    // "WarCraft TFT Brindlecap"
extern const char kPromptCaption[];      // caption of both message boxes
extern const char kClosePromptText[];
extern const char kDefaultReplayFolder[];
extern const char kGameRegistryKey[];    // below HKEY_CURRENT_USER

// Kept at start-up: the tray icon is loaded from this module.
extern HINSTANCE AppInstance;
// The hidden window that owns the tray icon, the timer and the prompts.
extern HWND MainWindow;

// Switches: "-custom" anywhere in the text turns SaveCustomGames on, "-nodate"
// anywhere turns DateTagEnabled off, "-modern" anywhere turns ModernReading on.
// Case-sensitive substring tests, so a switch inside a longer word counts too.
// Settings the text does not name stay as they are.
void ReadSwitches(const char* command_line);

// Appends a backslash unless the folder already ends in "\" or "/" (an empty
// string gets one), then "replay\". Returns 1 on success; returns 0 and leaves
// the folder untouched when the result and its NUL would not fit in size bytes.
int AppendReplaySubfolder(char* folder, size_t size);

// Finds the replay folder from the install path kept under root\key: the value
// "InstallPathX", else "InstallPath", with "replay\" appended; "\replay\" when the
// key opens but neither value gives a usable path (an install path too long for
// "replay\" to fit counts as unusable); kDefaultReplayFolder when the key does
// not open. Nothing is written past size bytes.
void DiscoverReplayFolder(HKEY root, const char* key, char* folder, size_t size);

// Registers the window class and creates the main window (setting MainWindow,
// which also adds the tray icon), shows it with show_state, hides it at once and
// lets it update. Returns the window, or NULL when it could not be created.
HWND CreateMainWindow(int show_state);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Adds the tray icon and releases the icon handle afterwards; returns the shell's result.
BOOL AddTrayIcon(HWND window, UINT id, HICON icon, const char* tip);
// Deletes the tray icon; returns the shell's result.
BOOL RemoveTrayIcon(HWND window, UINT id);
// The tray icon's mouse notification: right button down offers to close the
// program, left button down shows the about box. Everything else is ignored.
void TrayClicked(WPARAM id, LPARAM mouse_message);

// The about box's text: what the program does, the folder it watches and the
// settings. Always terminated within size; returns the length written.
size_t FormatAboutText(char* out, size_t size);

#endif  // BRINDLECAP_APP_SHELL_H_
