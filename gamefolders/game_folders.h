// Where the game writes its replays, found from what the system and the game keep
// (the registry, the shell's Documents folder, a Wine prefix's files), apart from
// how those folders are then watched.
//
// Up to 1.27 the game writes below its install path; from 1.28 on it keeps its
// user files in the user's Documents: "Warcraft III\Replay\" up to 1.31, and from
// 1.32 one "Warcraft III\BattleNet\<account>\Replays\" per Battle.net account.
#ifndef BRINDLECAP_GAMEFOLDERS_GAME_FOLDERS_H_
#define BRINDLECAP_GAMEFOLDERS_GAME_FOLDERS_H_

#include <stddef.h>

enum {
  kGamePathSize = 1024,  // a path and its NUL, as every path buffer of the program
  // Users of one Wine prefix whose Documents are looked at; more are left out.
  kMaxDocumentsFolders = 16,
};

// The game's key below HKEY_CURRENT_USER, and the folder the game uses when the
// key is missing.
extern const char kGameRegistryKey[];
extern const char kDefaultReplayFolder[];

enum DocumentsResult {
  kDocumentsFound,
  kDocumentsNotGiven,   // the shell's known-folder call gave no Documents folder
  kDocumentsTooLong,    // longer than the path buffers hold
  kDocumentsNotInCodePage,  // the program's code page cannot spell it (an older
                            // Windows that ignores the UTF-8 of the manifest)
};

// What was found: the install path's replay folder and every Documents folder the
// game of 1.28 and later may use (the folders below them are the watcher's to
// add). Paths may end in a separator or not.
struct GameFolders {
  char install[kGamePathSize];  // "" when none was found
  char documents[kMaxDocumentsFolders][kGamePathSize];
  int documents_count;
  int left_out;  // folders that were there but could not be spelled within the buffers
  DocumentsResult documents_result;  // how the shell answered (Windows)
};

// Empties found.
void ClearGameFolders(GameFolders* found);

// Appends a backslash unless the folder already ends in "\" or "/" (an empty
// string gets one), then "replay\". Returns 1 on success; returns 0 and leaves
// the folder untouched when the result and its NUL would not fit in size bytes.
int AppendReplaySubfolder(char* folder, size_t size);

// The game's folders inside a Wine prefix (Wine, Proton, Lutris), found from the
// prefix's files alone: the install path's "replay\" from the prefix's user.reg
// (the game's default folder when its key is missing); with modern set also the
// Documents folder of every user below drive_c/users (the prefix's own
// redirection of Documents, the user shell folder "Personal", when it names one).
// Drive C: is the prefix's drive_c, Z: is "/", other drives go through
// dosdevices. Wine's links to the home folder are followed; a link that leads
// nowhere is passed over. Returns 0 when prefix is not a folder.
int FindPrefixFolders(const char* prefix, bool modern, GameFolders* found);

// The text of a quoted value of a Wine registry file (user.reg): value under
// [key] (both as they appear in the file, backslashes doubled in key), with its
// escapes undone and UTF-16 escapes as UTF-8. Returns 1 when found and it fits.
int FindWineRegistryValue(const char* text, size_t length, const char* key, const char* value,
                          char* out, size_t size);

// A Windows path of the prefix as a path of this system: "C:\x" is
// prefix/drive_c\x, "Z:\x" is \x, another drive letter prefix/dosdevices/d:\x.
// Returns 0 when it is not a drive path or does not fit.
int PrefixPath(const char* prefix, const char* windows_path, char* out, size_t size);

#endif  // BRINDLECAP_GAMEFOLDERS_GAME_FOLDERS_H_
