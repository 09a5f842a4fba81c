// The watch list: every replay folder of every game version, each with its own
// stamp and status, and the accounts folder whose stamp tells of new accounts.
#include "watcher/folders.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

namespace {

const size_t kLastReplaySize = sizeof "LastReplay.w3g";  // with its NUL

bool AllDigits(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// AddWatchedFolder without counting what is left out: accounts are counted
// apart, afresh at every listing.
AddResult AddFolder(WatchList* list, const char* folder, FolderSource source) {
  char path[kPathSize];
  const size_t length = strlen(folder);
  const bool separated = length > 0 && IsPathSeparator(folder[length - 1]);
  const int n = snprintf(path, sizeof path, "%s%s", folder, separated ? "" : "\\");
  // A folder whose LastReplay.w3g the system cannot name could never be watched.
  const bool fits = length > 0 && n >= 0 && static_cast<size_t>(n) < sizeof path &&
                    static_cast<size_t>(n) + kLastReplaySize <= kPlatformPathLimit;
  if (fits) {
    for (int i = 0; i < list->count; ++i) {
      if (SamePathSpelling(list->folders[i].path, path)) return kAlreadyWatched;
    }
  }
  if (!fits || list->count >= kMaxWatchedFolders) return kLeftOut;
  WatchedFolder* added = &list->folders[list->count++];
  memcpy(added->path, path, static_cast<size_t>(n) + 1);
  added->source = source;
  added->last_seen = 0;
  memset(&added->status, 0, sizeof added->status);
  return kAdded;
}

int VisitAccount(void* context, const char* name, PlatformKind kind, bool) {
  WatchList* list = static_cast<WatchList*>(context);
  // A file named like an account, a link that leads nowhere or round in a loop,
  // and every name the game does not give an account are passed over.
  if (kind != kPlatformFolder || !AllDigits(name)) return 1;
  char account[kPathSize];
  char replays[kPathSize];
  if (!JoinPath(account, sizeof account, list->accounts, name) ||
      !JoinPath(replays, sizeof replays, account, "Replays\\") ||
      AddFolder(list, replays, kFolderAccount) == kLeftOut) {
    ++list->accounts_left_out;
  }
  return 1;
}

// Lists the accounts folder and adds the accounts not yet watched. Returns how
// many were added.
int ListAccounts(WatchList* list) {
  const int before = list->count;
  list->accounts_left_out = 0;
  if (!PlatformListFolder(list->accounts, VisitAccount, list)) {
    // Tried again at the next pass rather than waiting for another change.
    list->accounts_seen = false;
  }
  return list->count - before;
}

}  // namespace

void ClearWatchList(WatchList* list) {
  list->count = 0;
  list->left_out = 0;
  list->accounts_left_out = 0;
  list->accounts[0] = '\0';
  list->accounts_seen = false;
  list->accounts_stamp = 0;
}

AddResult AddWatchedFolder(WatchList* list, const char* folder, FolderSource source) {
  const AddResult added = AddFolder(list, folder, source);
  if (added == kLeftOut) ++list->left_out;
  return added;
}

void AddDocumentsFolders(WatchList* list, const char* documents) {
  char game[kPathSize];
  char replay[kPathSize];
  if (!JoinPath(game, sizeof game, documents, "Warcraft III") ||
      !JoinPath(replay, sizeof replay, game, "Replay\\")) {
    ++list->left_out;
    return;
  }
  AddWatchedFolder(list, replay, kFolderDocuments);
  // One accounts folder is followed; a second Documents (another user of a
  // prefix) gets its accounts listed once, now.
  char accounts[kPathSize];
  if (!JoinPath(accounts, sizeof accounts, game, "BattleNet")) {
    ++list->left_out;
    return;
  }
  char kept[kPathSize];
  memcpy(kept, list->accounts, sizeof kept);
  const bool kept_seen = list->accounts_seen;
  const int32_t kept_stamp = list->accounts_stamp;
  memcpy(list->accounts, accounts, sizeof accounts);
  // The stamp first: an account made between the probe and the listing changes
  // the stamp again, and the next pass lists once more.
  list->accounts_seen = PlatformProbe(list->accounts, &list->accounts_stamp) != 0;
  if (list->accounts_seen) ListAccounts(list);
  if (kept[0] != '\0') {
    memcpy(list->accounts, kept, sizeof kept);
    list->accounts_seen = kept_seen;
    list->accounts_stamp = kept_stamp;
  }
}

int NoticeNewAccounts(WatchList* list) {
  if (list->accounts[0] == '\0') return 0;
  int32_t stamp = 0;
  if (!PlatformProbe(list->accounts, &stamp)) {
    // Gone (or not there yet): whatever comes back is listed afresh.
    list->accounts_seen = false;
    return 0;
  }
  if (list->accounts_seen && stamp == list->accounts_stamp) return 0;
  list->accounts_seen = true;
  list->accounts_stamp = stamp;
  return ListAccounts(list);
}

void WatchGameFolders(WatchList* list, const GameFolders* found) {
  if (found->install[0] != '\0') AddWatchedFolder(list, found->install, kFolderInstallPath);
  for (int i = 0; i < found->documents_count; ++i) AddDocumentsFolders(list, found->documents[i]);
  list->left_out += found->left_out;
}

namespace {

// One folder of a list and the list it is in.
struct ListedFolder {
  const WatchList* list;
  int index;
};

// Two Wine users whose Documents lead to one folder, or a -folder that names a
// watched folder through a link, would file every replay twice: the first folder
// of the list that is this one files it, the others pass.
bool WatchedEarlierInList(void* context, const char* folder) {
  const ListedFolder* listed = static_cast<const ListedFolder*>(context);
  PlatformIdentity self;
  if (!PlatformIdentify(folder, &self)) return false;
  for (int j = 0; j < listed->index; ++j) {
    PlatformIdentity other;
    if (PlatformIdentify(listed->list->folders[j].path, &other) && other.volume == self.volume &&
        other.index == self.index) {
      return true;
    }
  }
  return false;
}

PassOutcome PassInList(WatchList* list, int index, bool prime, const WatchSettings* settings,
                       DecodeScratch* scratch) {
  WatchedFolder* folder = &list->folders[index];
  ListedFolder listed = {list, index};
  return SaveReplayIn(folder->path, &folder->last_seen, &folder->status, prime, settings,
                      scratch, WatchedEarlierInList, &listed);
}

}  // namespace

PassOutcome WatchFolderPass(WatchList* list, int index, bool prime, const WatchSettings* settings,
                            DecodeScratch* scratch) {
  return PassInList(list, index, prime, settings, scratch);
}

void WatchEveryFolder(WatchList* list, bool prime, const WatchSettings* settings,
                      DecodeScratch* scratch) {
  if (!prime) NoticeNewAccounts(list);
  for (int i = 0; i < list->count; ++i) PassInList(list, i, prime, settings, scratch);
}

int SavedInList(const WatchList* list) {
  int saved = 0;
  for (int i = 0; i < list->count; ++i) saved += list->folders[i].status.saved;
  return saved;
}


