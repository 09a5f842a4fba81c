// brindlecap-cli folder: the replay folders the tray program watches, found by the
// tray program's own code, so that the answer cannot differ from what it watches.
// On Linux the same folders inside a Wine prefix, for the game under Wine.
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "gamefolders/game_folders.h"
#include "platform/platform.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

#ifdef _WIN32
#include "gamefolders/replay_folder.h"
#endif

#ifndef _WIN32
namespace {

// The prefix the game runs in when none is named: Wine's own default.
const char* DefaultPrefix(char* buffer, size_t size) {
  const char* named = getenv("WINEPREFIX");
  if (named != nullptr && named[0] != '\0') return named;
  const char* home = getenv("HOME");
  if (home == nullptr || home[0] == '\0') return "";
  const int n = snprintf(buffer, size, "%s/.wine", home);
  return n > 0 && static_cast<size_t>(n) < size ? buffer : "";
}

}  // namespace
#endif

int TakePrefixSwitch(int* argc, char** argv, const char** prefix, FILE* err) {
  for (int i = 2; i < *argc; ++i) {
    if (strcmp(argv[i], "--") == 0) break;
    if (strcmp(argv[i], "--prefix") != 0) continue;
    if (i + 1 >= *argc) {
      fputs("brindlecap-cli: --prefix needs a DIR after it\n", err);
      return 0;
    }
    *prefix = argv[i + 1];
    for (int j = i; j + 2 < *argc; ++j) argv[j] = argv[j + 2];
    *argc -= 2;
    --i;
  }
  return 1;
}

void PrintFolderPath(const char* path, FILE* out) {
  // The watcher builds its paths with backslashes; here they are this system's.
  char shown[kPathSize];
  fprintf(out, "%s\n", PlatformPathToSystem(path, shown, sizeof shown) ? shown : path);
}

int FindWatchedFolders(WatchList* list, bool modern, const char* prefix, FILE* err) {
  ClearWatchList(list);
#ifdef _WIN32
  if (prefix != nullptr) {
    fputs("brindlecap-cli: --prefix is for Linux; on Windows the folders are this user's\n", err);
    return 0;
  }
  GameFolders found;
  FindGameFolders(HKEY_CURRENT_USER, kGameRegistryKey, modern, &found);
  WatchGameFolders(list, &found);
  if (found.documents_result != kDocumentsFound) {
    fputs(found.documents_result == kDocumentsNotInCodePage
              ? "brindlecap-cli: the Documents folder's path has letters this Windows's code "
                "page cannot hold; its folders are left out\n"
              : "brindlecap-cli: the Documents folder could not be found; its folders are "
                "left out\n",
          err);
  }
#else
  char buffer[kPathSize];
  if (prefix == nullptr) prefix = DefaultPrefix(buffer, sizeof buffer);
  GameFolders found;
  char spelt[kPathSize];
  if (!PlatformPathFromSystem(prefix, spelt, sizeof spelt) ||
      !FindPrefixFolders(spelt, modern, &found)) {
    fprintf(err, "brindlecap-cli: no Wine prefix at '%s'\n", prefix);
    return 0;
  }
  WatchGameFolders(list, &found);
#endif
  const int left_out = list->left_out + list->accounts_left_out;
  if (left_out > 0) {
    fprintf(err, "brindlecap-cli: %d more %s left out, too long or past the first %d\n",
            left_out, left_out == 1 ? "folder" : "folders", kMaxWatchedFolders);
  }
  return 1;
}

WatchList* ReplayFoldersThere(const char* prefix, FILE* err) {
  WatchList* list = static_cast<WatchList*>(calloc(1, sizeof(WatchList)));
  if (list == nullptr) {
    fputs("brindlecap-cli: out of memory\n", err);
    return nullptr;
  }
  if (!FindWatchedFolders(list, true, prefix, err)) {
    free(list);
    return nullptr;
  }
  int kept = 0;
  for (int i = 0; i < list->count; ++i) {
    char* folder = list->folders[i].path;
    if (PlatformKindOf(folder) != kPlatformFolder) continue;
    // Lines name the files as this system spells paths, as for a FOLDER typed.
    char shown[sizeof list->folders[i].path];
    if (!PlatformPathToSystem(folder, shown, sizeof shown)) continue;
    memcpy(folder, shown, sizeof shown);
    if (kept != i) list->folders[kept] = list->folders[i];
    ++kept;
  }
  list->count = kept;
  return list;
}

int CommandFolder(int argc, char** argv, FILE* out, FILE* err) {
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, kFolderUsage, nullptr);
  bool modern = false;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      fputs(kFolderUsage, out);
      return 0;
    }
    if (strcmp(argv[i], "-modern") != 0) {
      return UsageError(err, kFolderUsage,
                        "folder takes no switches or operands but -modern and --prefix DIR");
    }
    modern = true;
  }
#ifndef _WIN32
  if (!modern && prefix == nullptr) {
    // The folder comes from the game's registry settings; there are none to read
    // here, unless a Wine prefix is named.
    fputs("brindlecap-cli: folder needs Windows (or Wine): the replay folder is found in the "
          "game's registry settings; --prefix DIR or -modern look inside a Wine prefix\n",
          err);
    return 2;
  }
#endif
  WatchList* list = static_cast<WatchList*>(calloc(1, sizeof(WatchList)));
  if (list == nullptr) {
    fputs("brindlecap-cli: out of memory\n", err);
    return 1;
  }
  const int found = FindWatchedFolders(list, modern, prefix, err);
  for (int i = 0; found && i < list->count; ++i) PrintFolderPath(list->folders[i].path, out);
  free(list);
  return found ? 0 : 2;
}
