// The game's folders inside a Wine prefix, read from the prefix's own files: its
// registry file (user.reg) and its drive_c.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "gamefolders/game_folders.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "replay/text.h"

const char kDefaultReplayFolder[] = "c:\\program files\\warcraft iii\\replay\\";
const char kGameRegistryKey[] = "Software\\Blizzard Entertainment\\Warcraft III";

namespace {

const char kReplaySubfolder[] = "replay\\";

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

bool StartsWithNoCase(const char* text, const char* end, const char* prefix) {
  return prefix[0] == '\0' || StartsWithIgnoringAsciiCase(text, prefix, end) > 0;
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
  char path[kGamePathSize];
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

void AddDocuments(GameFolders* found, const char* documents) {
  if (found->documents_count >= kMaxDocumentsFolders) {
    ++found->left_out;
    return;
  }
  snprintf(found->documents[found->documents_count++], sizeof found->documents[0], "%s",
           documents);
}

// The Documents folders of the prefix's users. personal is the user shell folder
// "Personal" as the prefix keeps it ("" when it has none).
void FindPrefixDocuments(GameFolders* found, const char* prefix, const char* personal) {
  const char kProfile[] = "%USERPROFILE%\\";
  char documents[kGamePathSize];
  if (personal[0] != '\0' && !StartsWithNoCase(personal, personal + strlen(personal), kProfile)) {
    // Redirected to a folder of its own: that is where the game writes.
    if (PrefixPath(prefix, personal, documents, sizeof documents)) {
      AddDocuments(found, documents);
    } else {
      ++found->left_out;
    }
    return;
  }
  const char* below = personal[0] != '\0' ? personal + strlen(kProfile) : "Documents";
  char users_folder[kGamePathSize];
  UserNames users;
  users.count = 0;
  if (!JoinPath(users_folder, sizeof users_folder, prefix, "drive_c\\users") ||
      !PlatformListFolder(users_folder, VisitUser, &users)) {
    return;
  }
  for (int i = 0; i < users.count; ++i) {
    char user[kGamePathSize];
    if (!JoinPath(user, sizeof user, users_folder, users.names[i]) ||
        !JoinPath(documents, sizeof documents, user, below)) {
      ++found->left_out;
      continue;
    }
    // Wine links Documents to the home folder; a link that leads nowhere is no
    // user's Documents.
    if (PlatformKindOf(documents) == kPlatformFolder) AddDocuments(found, documents);
  }
}

}  // namespace

void ClearGameFolders(GameFolders* found) {
  found->install[0] = '\0';
  found->documents_count = 0;
  found->left_out = 0;
  found->documents_result = kDocumentsFound;
}

int AppendReplaySubfolder(char* folder, size_t size) {
  size_t length = strnlen(folder, size);
  if (length == size) return 0;  // not even terminated within the buffer
  bool separator = length > 0 && IsPathSeparator(folder[length - 1]);
  size_t needed = length + (separator ? 0 : 1) + sizeof kReplaySubfolder;  // sizeof counts the NUL
  if (needed > size) return 0;
  if (!separator) folder[length++] = '\\';
  memcpy(folder + length, kReplaySubfolder, sizeof kReplaySubfolder);
  return 1;
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
  const char drive = LowerAscii(windows_path[0]);
  if (drive < 'a' || drive > 'z' || windows_path[1] != ':' || !IsPathSeparator(windows_path[2])) {
    return 0;
  }
  const char* rest = windows_path + 3;
  int n;
  if (drive == 'c') {
    n = snprintf(out, size, "%s%sdrive_c\\%s", prefix,
                 IsPathSeparator(prefix[strlen(prefix) - 1]) ? "" : "/", rest);
  } else if (drive == 'z') {
    n = snprintf(out, size, "\\%s", rest);
  } else {
    n = snprintf(out, size, "%s%sdosdevices\\%c:\\%s", prefix,
                 IsPathSeparator(prefix[strlen(prefix) - 1]) ? "" : "/", drive, rest);
  }
  return n >= 0 && static_cast<size_t>(n) < size;
}

int FindPrefixFolders(const char* prefix, bool modern, GameFolders* found) {
  ClearGameFolders(found);
  if (prefix[0] == '\0' || PlatformKindOf(prefix) != kPlatformFolder) return 0;
  size_t length = 0;
  char* registry = ReadUserRegistry(prefix, &length);
  const char* text = registry != nullptr ? registry : "";
  char value[kGamePathSize];
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
  if (windows_folder != nullptr &&
      !PrefixPath(prefix, windows_folder, found->install, sizeof found->install)) {
    found->install[0] = '\0';
  }
  if (modern) {
    static const char kShellFolders[][80] = {
        "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders",
        "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders"};
    value[0] = '\0';
    for (const char* key : kShellFolders) {
      if (FindWineRegistryValue(text, length, key, "Personal", value, sizeof value)) break;
      value[0] = '\0';
    }
    FindPrefixDocuments(found, prefix, value);
  }
  free(registry);
  return 1;
}
