// The watch list: every folder the game may write LastReplay.w3g to (as
// gamefolders/ finds them, and those named with -folder), each watched on its own
// with its own stamp and status, and the accounts that appear while it is watched.
// The program without -modern and -folder watches a list of one.
#ifndef BRINDLECAP_WATCHER_FOLDERS_H_
#define BRINDLECAP_WATCHER_FOLDERS_H_

#include <stddef.h>
#include <stdint.h>

#include "gamefolders/game_folders.h"
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

// Adds what gamefolders/ found: the install path's folder, then the Documents
// folders (as AddDocumentsFolders), counting what was left out.
void WatchGameFolders(WatchList* list, const GameFolders* found);

// One pass over folder index of the list. A folder that an earlier one of the
// list is under another spelling (links, "..") passes what it finds to that one.
PassOutcome WatchFolderPass(WatchList* list, int index, bool prime, const WatchSettings* settings,
                            DecodeScratch* scratch);

// With prime set, records what every folder holds now. Otherwise notices new
// accounts first, then makes one pass over every folder; an account that has just
// appeared is not primed, since all it holds was written after start-up. Idle, it
// costs one probe per folder and one of the accounts folder, and allocates nothing.
void WatchEveryFolder(WatchList* list, bool prime, const WatchSettings* settings,
                      DecodeScratch* scratch);

// Everything below, across the list.
int SavedInList(const WatchList* list);

#endif  // BRINDLECAP_WATCHER_FOLDERS_H_
