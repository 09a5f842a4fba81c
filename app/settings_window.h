// The settings window ("Brindlecap settings" in the Start menu): the stored
// settings as native controls, a preview of the next name, the Startup shortcut,
// and the replay folders and the record a click away. It writes the settings key
// only when OK or Apply is pressed, and then only what the player changed; a
// running Brindlecap takes it at its next tick.
#ifndef BRINDLECAP_APP_SETTINGS_WINDOW_H_
#define BRINDLECAP_APP_SETTINGS_WINDOW_H_

#include <stddef.h>
#include <windows.h>

#include "app/settings_preview.h"
#include "app/stored_settings.h"

extern const char kStartupShortcutName[];  // "Brindlecap.lnk"

struct SettingsWindow {
  HINSTANCE instance;  // holds the dialog template and the sample replay
  SettingsSeam seam;
  StoredSettings loaded;  // what the key held when read last (opening, Apply)
  StoredSettings chosen;  // what the controls say, gathered for a preview or a write
  // The replay the preview names: the newest LastReplay.w3g of the folders
  // watched, else the sample in the program's resources.
  const unsigned char* replay;
  size_t replay_length;
  unsigned char* replay_owned;  // the head read from disk, or NULL
  bool replay_is_sample;
  // Where brindlecap.exe and brindlecap-report.exe are.
  char program_folder[MAX_PATH];
  // The user's Startup folder, and all users' (the installer's, before the
  // settings window made it the user's own).
  char startup_folder[MAX_PATH];
  char common_startup_folder[MAX_PATH];
  HWND dialog;
  bool modal;
  bool com;  // COM was started for the window, and is ended with it
  // Why the latest Apply failed, "" when it did not.
  char problem[256];
};

// Reads the settings through seam and finds the replay to preview. The window
// is not shown yet.
void InitSettingsWindow(SettingsWindow* window, HINSTANCE instance, const SettingsSeam& seam,
                        const char* program_folder);

// Shows the window and returns once it is closed: IDOK or IDCANCEL.
INT_PTR RunSettingsWindow(SettingsWindow* window, HWND owner);

// The same window, modeless: for the caller's own message loop (the tests').
HWND OpenSettingsWindow(SettingsWindow* window, HWND owner);

void ReleaseSettingsWindow(SettingsWindow* window);

// Whether a Brindlecap.lnk stands in either Startup folder.
bool StartsWithWindows(const SettingsWindow* window);

#endif  // BRINDLECAP_APP_SETTINGS_WINDOW_H_
