// Where the game keeps its replays: the folder the tray program watches, found
// from the game's install path in the current user's registry. Windows only; both
// the tray program and brindlecap-cli call it, so they always agree.
#ifndef BRINDLECAP_WATCHER_REPLAY_FOLDER_H_
#define BRINDLECAP_WATCHER_REPLAY_FOLDER_H_

#include <stddef.h>
#include <windows.h>

extern const char kDefaultReplayFolder[];
extern const char kGameRegistryKey[];    // below HKEY_CURRENT_USER

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

#endif  // BRINDLECAP_WATCHER_REPLAY_FOLDER_H_
