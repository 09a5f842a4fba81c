// Where the game keeps its replays: the folder the tray program watches, found
// from the game's install path in the current user's registry. Windows only; both
// the tray program and brindlecap-cli call it, so they always agree.
#ifndef BRINDLECAP_GAMEFOLDERS_REPLAY_FOLDER_H_
#define BRINDLECAP_GAMEFOLDERS_REPLAY_FOLDER_H_

#include <stddef.h>
#include <windows.h>

#include "gamefolders/game_folders.h"

// Finds the replay folder from the install path kept under root\key: the value
// "InstallPathX", else "InstallPath", with "replay\" appended; "\replay\" when the
// key opens but neither value gives a usable path (an install path too long for
// "replay\" to fit counts as unusable); kDefaultReplayFolder when the key does
// not open. Nothing is written past size bytes.
void DiscoverReplayFolder(HKEY root, const char* key, char* folder, size_t size);

// The user's Documents folder as the shell knows it (OneDrive and a moved
// Documents included), in the program's code page, UTF-8 where the manifest
// takes effect.
DocumentsResult FindDocumentsFolder(char* out, size_t size);

// Finds the folders the tray program watches: the replay folder from root\key
// (as DiscoverReplayFolder), and with modern set, this user's Documents folder,
// where the game versions from 1.28 on write; documents_result says how the shell
// answered.
void FindGameFolders(HKEY root, const char* key, bool modern, GameFolders* found);

#endif  // BRINDLECAP_GAMEFOLDERS_REPLAY_FOLDER_H_
