// Every folder the game may write LastReplay.w3g to, each watched on its own.
//
// Up to 1.27 the game writes below its install path; from 1.28 on it keeps its
// user files in the user's Documents: "Warcraft III\Replay\" up to 1.31, and from
// 1.32 one "Warcraft III\BattleNet\<account>\Replays\" per Battle.net account that
// has played on the machine. A watch list holds each such folder with its own
// stamp and status, and notices accounts that appear while it is watched.
#ifndef BRINDLECAP_WATCHER_FOLDERS_H_
#define BRINDLECAP_WATCHER_FOLDERS_H_

#include <stddef.h>
#include <stdint.h>

#include "watcher/watcher.h"

enum {
  // More accounts than any machine has played on; the rest are left out, and
  // the about box says how many.
  kMaxWatchedFolders = 32,
};

enum FolderSource {
  kFolderInstallPath,  // the game's install path with "replay\" (up to 1.27)
  kFolderDocuments,    // <Documents>\Warcraft III\Replay\ (1.28 to 1.31)
  kFolderAccount,      // <Documents>\Warcraft III\BattleNet\<digits>\Replays\ (1.32 on)
  kFolderSwitch,       // named with -folder
};

struct WatchedFolder {
  char path[kPathSize];  // ends in a separator
  FolderSource source;
  int32_t last_seen;     // stamp of its LastReplay.w3g when last accepted
  WatcherStatus status;
};

struct WatchList {
  WatchedFolder folders[kMaxWatchedFolders];
  int count;
  int left_out;           // folders that could not be watched: too long, or no room
  int accounts_left_out;  // of the latest listing of the accounts, those left out
  // <Documents>\Warcraft III\BattleNet without a separator: its stamp changes when
  // an account folder is made in it. "" when no Documents is watched.
  char accounts[kPathSize];
  bool accounts_seen;     // accounts_stamp is the stamp of the latest listing
  int32_t accounts_stamp;
};

// The game's key below HKEY_CURRENT_USER, and the folder the game uses when the
// key is missing.
extern const char kGameRegistryKey[];
extern const char kDefaultReplayFolder[];

// Appends a backslash unless the folder already ends in "\" or "/" (an empty
// string gets one), then "replay\". Returns 1 on success; returns 0 and leaves
// the folder untouched when the result and its NUL would not fit in size bytes.
int AppendReplaySubfolder(char* folder, size_t size);

// Empties the list.
void ClearWatchList(WatchList* list);

enum AddResult {
  kAdded,
  kAlreadyWatched,  // the same folder (ASCII case and separators aside on Windows)
  kLeftOut,         // too long for the path buffers, or the list is full; counted
};

// Adds folder, with a separator appended when it has none, unprimed.
AddResult AddWatchedFolder(WatchList* list, const char* folder, FolderSource source);

// Adds <documents>\Warcraft III\Replay\ and the Replays folder of every account
// found now below <documents>\Warcraft III\BattleNet, which is remembered, so that
// NoticeNewAccounts finds those that come later.
void AddDocumentsFolders(WatchList* list, const char* documents);

// One probe of the accounts folder; when its stamp has changed since the latest
// listing, lists it again and adds the accounts not yet watched. Returns how many
// were added. An account folder is a folder named with digits only.
int NoticeNewAccounts(WatchList* list);

// One pass over one folder of the list.
PassOutcome WatchFolderPass(WatchedFolder* folder, bool prime);

// With prime set, records what every folder holds now. Otherwise notices new
// accounts first, then makes one pass over every folder; an account that has just
// appeared is not primed, since all it holds was written after start-up. Idle, it
// costs one probe per folder and one of the accounts folder, and allocates nothing.
void WatchEveryFolder(WatchList* list, bool prime);

// Everything below, across the list.
int SavedInList(const WatchList* list);

// The part of path below folder (path itself when it does not start there).
const char* BelowFolder(const char* path, const char* folder);

// The game's folders inside a Wine prefix (Wine, Proton, Lutris), found from the
// prefix's files alone: with modern unset, the install path's "replay\" from the
// prefix's user.reg (the game's default folder when its key is missing); with
// modern set also the Documents folders of every user below drive_c/users (the
// prefix's own redirection of Documents, the user shell folder "Personal", when it
// names one). Drive C: is the prefix's drive_c, Z: is "/", other drives go
// through dosdevices. Wine's links to the home folder are followed; a link that
// leads nowhere or in a loop is passed over. Returns 0 when prefix is not a
// folder.
int DiscoverPrefixFolders(WatchList* list, const char* prefix, bool modern);

// The text of a quoted value of a Wine registry file (user.reg): value under
// [key] (both as they appear in the file, backslashes doubled in key), with its
// escapes undone and UTF-16 escapes as UTF-8. Returns 1 when found and it fits.
int FindWineRegistryValue(const char* text, size_t length, const char* key, const char* value,
                          char* out, size_t size);

// A Windows path of the prefix as a path of this system: "C:\x" is
// prefix/drive_c\x, "Z:\x" is \x, another drive letter prefix/dosdevices/d:\x.
// Returns 0 when it is not a drive path or does not fit.
int PrefixPath(const char* prefix, const char* windows_path, char* out, size_t size);

#endif  // BRINDLECAP_WATCHER_FOLDERS_H_
