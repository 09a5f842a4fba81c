// Where the game keeps its replays: the folder the tray program watches, found
// from the game's install path in the current user's registry. Windows only; both
// the tray program and brindlecap-cli call it, so they always agree.
#ifndef BRINDLECAP_WATCHER_REPLAY_FOLDER_H_
#define BRINDLECAP_WATCHER_REPLAY_FOLDER_H_

#include <stddef.h>
#include <windows.h>

#include "watcher/folders.h"

// Finds the replay folder from the install path kept under root\key: the value
// "InstallPathX", else "InstallPath", with "replay\" appended; "\replay\" when the
// key opens but neither value gives a usable path (an install path too long for
// "replay\" to fit counts as unusable); kDefaultReplayFolder when the key does
// not open. Nothing is written past size bytes.
void DiscoverReplayFolder(HKEY root, const char* key, char* folder, size_t size);

enum DocumentsResult {
  kDocumentsFound,
  kDocumentsNotGiven,   // the shell's known-folder call gave no Documents folder
  kDocumentsTooLong,    // longer than the path buffers hold
  kDocumentsNotInCodePage,  // the program's code page cannot spell it (an older
                            // Windows that ignores the UTF-8 of the manifest)
};

// The user's Documents folder as the shell knows it (OneDrive and a moved
// Documents included), in the program's code page, UTF-8 where the manifest
// takes effect.
DocumentsResult FindDocumentsFolder(char* out, size_t size);

// Fills list with the folders the tray program watches: the replay folder from
// root\key (as DiscoverReplayFolder), and with modern set, the Documents folders
// of the game versions from 1.28 on. *documents (when not NULL) says how the
// Documents folder was found.
void DiscoverGameFolders(WatchList* list, HKEY root, const char* key, bool modern,
                         DocumentsResult* documents);

#endif  // BRINDLECAP_WATCHER_REPLAY_FOLDER_H_
