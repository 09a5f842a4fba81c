// The resident program's shell: the switches, the hidden main window with its
// ten-second timer, the tray icon and its two prompts. (The replay folder is found
// by gamefolders/replay_folder.h, which brindlecap-cli shares.) Everything runs on
// the one thread that runs the message loop, and everything it keeps lives in one
// AppState that WinMain owns and the window carries.
#ifndef BRINDLECAP_APP_SHELL_H_
#define BRINDLECAP_APP_SHELL_H_

#include <stddef.h>
#include <windows.h>

#include "app/stored_settings.h"
#include "gamefolders/replay_folder.h"
#include "watcher/folders.h"
#include "watcher/news.h"
#include "watcher/watcher.h"

enum {
  kTrayIconId = 101,                    // the tray icon and the icon resource it shows
  kTrayCallbackMessage = WM_APP + 1,    // 0x8001: the shell's mouse notifications
  kTickTimerId = 1,
  kTickMilliseconds = 10000,
  kWindowWidth = 320,
  kWindowHeight = 240,
  kTrayTipSize = 64,                    // the tip field of the first tray record form
  // Room for the longest replay folder, two paths below it, the longest name
  // template and the prose, or for a dozen watched folders of a usual length
  // with what was saved in each.
  kAboutTextSize = 16384,
};

extern const char kMainClassName[];      // "Brindlecap"
extern const char kMainWindowTitle[];    // "WarCraft TFT Brindlecap"
extern const char kPromptCaption[];      // caption of both message boxes
extern const char kClosePromptText[];
extern const char kAlreadyRunningText[];  // "Brindlecap is already running."
extern const char kInstanceName[];        // the mutex that marks a running watcher

enum { kMaxFolderSwitches = kMaxStoredFolders };

// Where a setting in use came from: a switch wins over a stored setting for the
// run, and a stored setting over the default.
enum SettingSource {
  kFromDefault,
  kFromSettings,  // the settings window's, in the settings key
  kFromSwitch,    // the command line, a shortcut's as a rule
};

struct SettingSources {
  SettingSource custom;
  SettingSource date_tag;
  SettingSource modern;
  SettingSource name_template;
  SettingSource folders;
  SettingSource notify;
};

// The switches the command line gave, kept apart from the settings in use so that
// stored settings changed while the program runs combine with them again.
struct SwitchesGiven {
  bool custom;
  bool nodate;
  bool modern;
  bool name;
  char name_template[kPathSize];
};

// What the program keeps from start to end.
struct AppState {
  // The tray icon is loaded from this module.
  HINSTANCE instance;
  // The hidden window that owns the tray icon, the timer and the prompts.
  HWND window;
  // The shell's "TaskbarCreated" message, sent to every top-level window when
  // Explorer (re)starts; 0 until CreateMainWindow registers it.
  UINT taskbar_created;

  // The settings in use: the switches, else the stored settings, else the
  // defaults (ApplyStoredSettings); before it, the switches alone.
  WatchSettings settings;
  SettingSources sources;
  bool notify;  // a word after each game
  SwitchesGiven given;
  char folder_switches[kMaxFolderSwitches][kPathSize];
  int folder_switch_count;
  // The settings key, when the program reads one (NULL seam.changed: none), and
  // what it held when last read.
  SettingsSeam store;
  StoredSettings stored;
  // Why the command line cannot be followed, "" when it can. The program says so
  // in a box and ends rather than watching with settings the player did not mean.
  char switch_problem[256];

  // What is watched: with -modern or -folder (listed) the install path's replay
  // folder, the Documents folders of later game versions, and each -folder;
  // without either the install path's replay folder alone, a list of one, shown
  // in the about box as it always was.
  bool listed;
  char replay_folder[kPathSize];  // the install path's, as found at start-up
  WatchList list;
  // How the Documents folder was found, for the about box to say what could not be.
  DocumentsResult documents;
  DecodeScratch scratch;
  // Where the game's registry settings are, for the folders to be found again when
  // the settings change what is watched.
  HKEY game_root;
  const char* game_key;
  // The list as it was before it was made anew, for each folder kept to keep its
  // stamp and what it saved.
  WatchList previous_list;
  // What the passes have been told of, and the copy the latest word named (a click
  // on the notification shows it).
  NewsWatch news;
  char news_path[kPathSize];
};

// A fresh state: no switches, nothing watched. Large (a few hundred kilobytes):
// give it static or heap storage.
void InitAppState(AppState* app);

// One watcher per user session: two would save every replay twice. Creates the
// named mutex in the session's namespace. Returns 0 when another process holds it
// already; otherwise 1, with *claim holding it until the process ends. When the
// system cannot make the mutex at all, the program runs as if it were alone.
int ClaimInstance(const char* name, HANDLE* claim);

// Switches: "-custom" anywhere in the text turns custom games on, "-nodate"
// anywhere turns the date tag off, "-modern" anywhere chooses the length-aware
// reading.
// Case-sensitive substring tests, so a switch inside a longer word counts too.
// Settings the text does not name stay as they are.
// Two switches take a value, the next word, in double quotes when it holds
// blanks: "-folder PATH" (repeatable, into folder_switches) and "-name TEMPLATE"
// (into the naming options). Each must stand as a word of its own, and both it
// and its value are taken out of the text before the substring tests, so a folder
// named "my-custom-games" does not switch -custom on. What cannot be read, and a
// template NameTemplateProblem refuses, goes to switch_problem.
void ReadSwitches(const char* command_line, AppState* app);

// Takes the next word from *text: skips blanks, then reads up to the next blank,
// where text in double quotes counts as one word without its quotes. Copies at
// most size-1 bytes into word (when word is not NULL). Returns the word's length
// in the text, or -1 when no word is left; *text is moved past the word.
// *fits is false when the word did not fit in size.
int NextSwitchWord(const char** text, char* word, size_t size, bool* fits);

// After ReadSwitches: the settings in use from the switches, stored (as read
// into app->stored) and the defaults, and where each came from. Nothing else:
// the watch list is ChooseWatchedFolders's.
void ApplyStoredSettings(AppState* app, const StoredSettings* stored);

// After ApplyStoredSettings: finds the game's folders (root\key holds the game's
// registry settings) and decides what is watched.
void ChooseWatchedFolders(AppState* app, HKEY root, const char* key);

// Reads the stored settings again when the settings key has changed, and puts
// them in use: the switches, the template and, when they changed what is
// watched, the watch list, where each folder kept keeps its stamp and each new
// one is primed. Returns whether the settings in use changed. With the key
// unchanged it costs the seam's change question: no file-system call, no
// allocation.
bool RefreshSettings(AppState* app);

// One pass over what is watched; with prime set, records what is there now.
// Otherwise first takes settings changed since the last tick, and afterwards,
// when the player asked for it, gives a word of each copy saved and each replay
// that began to wait.
void WatchTick(AppState* app, bool prime);

// Shows news as a notification of the tray icon (a balloon, a toast on Windows
// 10 and 11); a saved copy's is remembered for a click to show. Returns the
// shell's result.
BOOL ShowNews(AppState* app, const News* news);

// The tray icon's callback for a click on the latest notification: Explorer
// opens on the copy it named, selected. Returns whether Explorer was started.
bool ShowNewsCopy(const AppState* app);

// Registers the window class and creates the main window (setting app->window,
// which also adds the tray icon), shows it with show_state, hides it at once and
// lets it update. The window carries app for its procedure. Returns the window,
// or NULL when it could not be created.
HWND CreateMainWindow(AppState* app, int show_state);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Adds the tray icon and releases the icon handle afterwards; returns the shell's result.
BOOL AddTrayIcon(HWND window, UINT id, HICON icon, const char* tip);
// Adds the program's own tray icon (icon resource 101 of instance, tip
// "Brindlecap") to window.
BOOL ShowTrayIcon(HWND window, HINSTANCE instance);
// Deletes the tray icon; returns the shell's result.
BOOL RemoveTrayIcon(HWND window, UINT id);
// The tray icon's mouse notification: right button down offers to close the
// program, left button down shows the about box, a click on a notification shows
// its copy. Everything else is ignored.
void TrayClicked(AppState* app, WPARAM id, LPARAM mouse_message);

// The about box's text: what the program does, the folder it watches, the
// settings, how many copies were saved since start and the latest one, and which
// replay waits for a retry and why. Always terminated within size; returns the
// length written.
size_t FormatAboutText(const AppState* app, char* out, size_t size);

#endif  // BRINDLECAP_APP_SHELL_H_
