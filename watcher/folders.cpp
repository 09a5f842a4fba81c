// The watch list: every replay folder of every game version, each with its own
// stamp and status, and the accounts folder whose stamp tells of new accounts.
#include "watcher/folders.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

const char kDefaultReplayFolder[] = "c:\\program files\\warcraft iii\\replay\\";
const char kGameRegistryKey[] = "Software\\Blizzard Entertainment\\Warcraft III";

namespace {

const char kReplaySubfolder[] = "replay\\";
const size_t kLastReplaySize = sizeof "LastReplay.w3g";  // with its NUL

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldCase(char c) {
#ifdef _WIN32
  // Windows names ignore ASCII case: two spellings of one folder are one folder,
  // and watching it twice would save every replay twice.
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
#endif
  return IsSeparator(c) ? '\\' : c;
}

bool SameFolder(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldCase(*a) != FoldCase(*b)) return false;
  }
  return *a == *b;
}

// out = first, a separator unless first ends in one, then second. Returns 0 when
// it does not fit.
int JoinPath(char* out, size_t size, const char* first, const char* second) {
  const size_t length = strlen(first);
  const bool separated = length > 0 && IsSeparator(first[length - 1]);
  const int n = snprintf(out, size, "%s%s%s", first, separated ? "" : "\\", second);
  return n >= 0 && static_cast<size_t>(n) < size;
}

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
  const bool separated = length > 0 && IsSeparator(folder[length - 1]);
  const int n = snprintf(path, sizeof path, "%s%s", folder, separated ? "" : "\\");
  // A folder whose LastReplay.w3g the system cannot name could never be watched.
  const bool fits = length > 0 && n >= 0 && static_cast<size_t>(n) < sizeof path &&
                    static_cast<size_t>(n) + kLastReplaySize <= kPlatformPathLimit;
  if (fits) {
    for (int i = 0; i < list->count; ++i) {
      if (SameFolder(list->folders[i].path, path)) return kAlreadyWatched;
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

// Reads a small text file whole through the seam, NUL-terminated; free() it.
char* ReadTextFile(const char* path, size_t* length) {
  PlatformFile* file = PlatformOpenRead(path);
  if (file == nullptr) return nullptr;
  const int64_t size = PlatformFileLength(file);
  // A registry file of a few megabytes is large; anything past 64 MB is not one.
  char* text = nullptr;
  if (size >= 0 && size < (int64_t{64} << 20)) text = static_cast<char*>(malloc(size + 1));
  if (text != nullptr) {
    *length = PlatformRead(file, text, static_cast<size_t>(size));
    text[*length] = '\0';
  }
  PlatformClose(file);
  return text;
}

// Appends the UTF-8 form of code point c. Returns 0 when it does not fit.
int PutUtf8(char* out, size_t size, size_t* at, unsigned long c) {
  unsigned char bytes[4];
  size_t n;
  if (c < 0x80) {
    bytes[0] = static_cast<unsigned char>(c);
    n = 1;
  } else if (c < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 2;
  } else if (c < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 4;
  }
  if (*at + n >= size) return 0;
  memcpy(out + *at, bytes, n);
  *at += n;
  return 1;
}

// Reads up to four hex digits of a "\x" escape, as Wine writes UTF-16 code units.
unsigned long HexUnit(const char** p) {
  unsigned long value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = **p;
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * 16 + static_cast<unsigned long>(digit);
    ++*p;
  }
  return value;
}

// Undoes the escapes of a quoted registry string that starts after its opening
// quote. Returns 1 when the closing quote came and the text fits.
int Unquote(const char* p, const char* end, char* out, size_t size) {
  size_t at = 0;
  while (p < end && *p != '"' && *p != '\n') {
    unsigned long c = static_cast<unsigned char>(*p++);
    if (c == '\\' && p < end) {
      const char e = *p++;
      if (e == 'x') {
        c = HexUnit(&p);
        // A character past the first plane comes as two units.
        if (c >= 0xD800 && c < 0xDC00 && p + 1 < end && p[0] == '\\' && p[1] == 'x') {
          const char* q = p + 2;
          const unsigned long low = HexUnit(&q);
          if (low >= 0xDC00 && low < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            p = q;
          }
        }
        if (!PutUtf8(out, size, &at, c)) return 0;
        continue;
      }
      c = static_cast<unsigned char>(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
    }
    // Bytes past ASCII are UTF-8 already, as newer Wine writes them.
    if (at + 1 >= size) return 0;
    out[at++] = static_cast<char>(c);
  }
  if (p >= end || *p != '"') return 0;
  out[at] = '\0';
  return 1;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(const char* text, const char* end, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (text >= end) return false;
    if (LowerAscii(*text) != LowerAscii(*prefix)) return false;
  }
  return true;
}

// The start of the line after p, or end.
const char* NextLine(const char* p, const char* end) {
  const char* newline = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
  return newline != nullptr ? newline + 1 : end;
}

// Where [key] starts its values in a registry file, or NULL.
const char* FindSection(const char* text, const char* end, const char* key) {
  for (const char* line = text; line < end; line = NextLine(line, end)) {
    if (*line != '[' || !StartsWithNoCase(line + 1, end, key)) continue;
    const char* close = line + 1 + strlen(key);
    if (close < end && *close == ']') return NextLine(close, end);
  }
  return nullptr;
}

// Reads the prefix's user.reg into a fresh block; NULL when there is none.
char* ReadUserRegistry(const char* prefix, size_t* length) {
  char path[kPathSize];
  if (!JoinPath(path, sizeof path, prefix, "user.reg")) return nullptr;
  return ReadTextFile(path, length);
}

// The user folders below drive_c/users, Public aside: it holds no user's game.
struct UserNames {
  char names[16][256];
  int count;
};

int VisitUser(void* context, const char* name, PlatformKind kind, bool) {
  UserNames* users = static_cast<UserNames*>(context);
  const size_t length = strlen(name);
  const bool is_public = length == 6 && StartsWithNoCase(name, name + length, "public");
  if (kind != kPlatformFolder || is_public) return 1;
  if (length < sizeof users->names[0]) {
    snprintf(users->names[users->count++], sizeof users->names[0], "%s", name);
  }
  return users->count < 16;
}

// Adds the Documents folders of the prefix's users. personal is the user shell
// folder "Personal" as the prefix keeps it ("" when it has none).
void AddPrefixDocuments(WatchList* list, const char* prefix, const char* personal) {
  const char kProfile[] = "%USERPROFILE%\\";
  char documents[kPathSize];
  if (personal[0] != '\0' && !StartsWithNoCase(personal, personal + strlen(personal), kProfile)) {
    // Redirected to a folder of its own: that is where the game writes.
    if (PrefixPath(prefix, personal, documents, sizeof documents)) {
      AddDocumentsFolders(list, documents);
    } else {
      ++list->left_out;
    }
    return;
  }
  const char* below = personal[0] != '\0' ? personal + strlen(kProfile) : "Documents";
  char users_folder[kPathSize];
  UserNames users;
  users.count = 0;
  if (!JoinPath(users_folder, sizeof users_folder, prefix, "drive_c\\users") ||
      !PlatformListFolder(users_folder, VisitUser, &users)) {
    return;
  }
  for (int i = 0; i < users.count; ++i) {
    char user[kPathSize];
    if (!JoinPath(user, sizeof user, users_folder, users.names[i]) ||
        !JoinPath(documents, sizeof documents, user, below)) {
      ++list->left_out;
      continue;
    }
    // Wine links Documents to the home folder; a link that leads nowhere is no
    // user's Documents.
    if (PlatformKindOf(documents) == kPlatformFolder) AddDocumentsFolders(list, documents);
  }
}

}  // namespace

int AppendReplaySubfolder(char* folder, size_t size) {
  size_t length = strnlen(folder, size);
  if (length == size) return 0;  // not even terminated within the buffer
  bool separator = length > 0 && IsSeparator(folder[length - 1]);
  size_t needed = length + (separator ? 0 : 1) + sizeof kReplaySubfolder;  // sizeof counts the NUL
  if (needed > size) return 0;
  if (!separator) folder[length++] = '\\';
  memcpy(folder + length, kReplaySubfolder, sizeof kReplaySubfolder);
  return 1;
}

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

PassOutcome WatchFolderPass(WatchedFolder* folder, bool prime) {
  return SaveReplayIn(folder->path, &folder->last_seen, &folder->status, prime);
}

void WatchEveryFolder(WatchList* list, bool prime) {
  if (!prime) NoticeNewAccounts(list);
  for (int i = 0; i < list->count; ++i) WatchFolderPass(&list->folders[i], prime);
}

int SavedInList(const WatchList* list) {
  int saved = 0;
  for (int i = 0; i < list->count; ++i) saved += list->folders[i].status.saved;
  return saved;
}

const char* BelowFolder(const char* path, const char* folder) {
  const size_t length = strlen(folder);
  return strncmp(path, folder, length) == 0 ? path + length : path;
}

int FindWineRegistryValue(const char* text, size_t length, const char* key, const char* value,
                          char* out, size_t size) {
  const char* end = text + length;
  const char* line = FindSection(text, end, key);
  for (; line != nullptr && line < end && *line != '['; line = NextLine(line, end)) {
    if (*line != '"' || !StartsWithNoCase(line + 1, end, value)) continue;
    const char* p = line + 1 + strlen(value);
    if (p + 1 >= end || p[0] != '"' || p[1] != '=') continue;
    p += 2;
    // An expandable string is written str(2):"...".
    if (StartsWithNoCase(p, end, "str(")) {
      while (p < end && *p != ':' && *p != '\n') ++p;
      if (p < end && *p == ':') ++p;
    }
    if (p >= end || *p != '"') return 0;
    return Unquote(p + 1, end, out, size);
  }
  return 0;
}

int PrefixPath(const char* prefix, const char* windows_path, char* out, size_t size) {
  char drive = windows_path[0];
  if (drive >= 'A' && drive <= 'Z') drive = static_cast<char>(drive - 'A' + 'a');
  if (drive < 'a' || drive > 'z' || windows_path[1] != ':' || !IsSeparator(windows_path[2])) {
    return 0;
  }
  const char* rest = windows_path + 3;
  int n;
  if (drive == 'c') {
    n = snprintf(out, size, "%s%sdrive_c\\%s", prefix,
                 IsSeparator(prefix[strlen(prefix) - 1]) ? "" : "/", rest);
  } else if (drive == 'z') {
    n = snprintf(out, size, "\\%s", rest);
  } else {
    n = snprintf(out, size, "%s%sdosdevices\\%c:\\%s", prefix,
                 IsSeparator(prefix[strlen(prefix) - 1]) ? "" : "/", drive, rest);
  }
  return n >= 0 && static_cast<size_t>(n) < size;
}

int DiscoverPrefixFolders(WatchList* list, const char* prefix, bool modern) {
  if (prefix[0] == '\0' || PlatformKindOf(prefix) != kPlatformFolder) return 0;
  size_t length = 0;
  char* registry = ReadUserRegistry(prefix, &length);
  const char* text = registry != nullptr ? registry : "";
  char value[kPathSize];
  char folder[kPathSize];
  // The install path as the tray program finds it: InstallPathX, else
  // InstallPath, with replay\ added; the default folder without the game's key.
  const char* windows_folder = nullptr;
  if (FindWineRegistryValue(text, length, "Software\\\\Blizzard Entertainment\\\\Warcraft III",
                            "InstallPathX", value, sizeof value) ||
      FindWineRegistryValue(text, length, "Software\\\\Blizzard Entertainment\\\\Warcraft III",
                            "InstallPath", value, sizeof value)) {
    if (AppendReplaySubfolder(value, sizeof value)) windows_folder = value;
  } else if (FindSection(text, text + length,
                         "Software\\\\Blizzard Entertainment\\\\Warcraft III") == nullptr) {
    windows_folder = kDefaultReplayFolder;
  }
  if (windows_folder != nullptr && PrefixPath(prefix, windows_folder, folder, sizeof folder)) {
    AddWatchedFolder(list, folder, kFolderInstallPath);
  }
  if (modern) {
    const char* kShellFolders[] = {
        "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders",
        "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders"};
    value[0] = '\0';
    for (const char* key : kShellFolders) {
      if (FindWineRegistryValue(text, length, key, "Personal", value, sizeof value)) break;
      value[0] = '\0';
    }
    AddPrefixDocuments(list, prefix, value);
  }
  free(registry);
  return 1;
}
