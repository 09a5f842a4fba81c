// brindlecap-cli folder: the replay folder the tray program watches, found by the
// tray program's own code, so that the answer cannot differ from what it watches.
#include <string.h>

#include "cli/commands.h"
#include "watcher/watcher.h"

#ifdef _WIN32
#include "watcher/replay_folder.h"
#endif

int CommandFolder(int argc, char** argv, FILE* out, FILE* err) {
  if (argc > 2) {
    if (strcmp(argv[2], "--help") == 0 || strcmp(argv[2], "-h") == 0) {
      fputs(kFolderUsage, out);
      return 0;
    }
    return UsageError(err, kFolderUsage, "folder takes no switches or operands");
  }
#ifdef _WIN32
  char folder[kPathSize];
  DiscoverReplayFolder(HKEY_CURRENT_USER, kGameRegistryKey, folder, sizeof folder);
  fprintf(out, "%s\n", folder);
  return 0;
#else
  // The folder comes from the game's registry settings; there are none to read here.
  fputs("brindlecap-cli: folder needs Windows (or Wine): the replay folder is found in the "
        "game's registry settings\n",
        err);
  return 2;
#endif
}
