// brindlecap-cli name: where each replay would be filed, without filing it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "naming/name.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

// Prints where one replay would go. Returns 0, or 1 when the file cannot be read.
int NameOne(const char* path, const WatchSettings* settings, DecodeScratch* scratch, FILE* out,
            FILE* err) {
  ReplayFile file;
  char spelt[kPathSize];
  const bool known = PlatformPathFromSystem(path, spelt, sizeof spelt) != 0;
  switch (known ? ReadReplayFile(spelt, &file, settings->reading) : kReadMissing) {
    case kReadDone:
      break;
    case kReadTooShort:
      fprintf(out, "%s\t- shorter than %d bytes\n", path, kReplayMinimumLength);
      return 0;
    default:
      fprintf(err, "brindlecap-cli: cannot read '%s'\n", path);
      return 1;
  }
  DecodeResult result;
  const bool filed = DecodeForFiling(file.head, file.held, settings, scratch, &result);
  ReplayGame* game = filed ? ReadGameForNames(&settings->naming, file.head, file.held) : nullptr;
  ReleaseReplayFile(&file);
  if (!filed) {
    fprintf(out, "%s\t- not a ladder game\n", path);
    return 0;
  }
  const NameDate now = LocalNameDate();
  NameOptions naming = settings->naming;  // a NetEase file's copy keeps its extension
  snprintf(naming.suffix, sizeof naming.suffix, "%s", CopySuffix(spelt, settings->reading));
  ReplayName name;
  char path_name[kPathSize];
  const bool fits =
      PrepareName(&result, &naming, &now, "", kPlatformPathLimit, &name, game) &&
      ComposeCandidate(path_name, sizeof path_name, "", &name, 0);
  free(game);
  if (!fits) {
    fprintf(out, "%s\t- no name fits\n", path);
    return 0;
  }
  fprintf(out, "%s\t%s\n", path, path_name);
  return 0;
}

}  // namespace

int CommandName(int argc, char** argv, FILE* out, FILE* err) {
  WatchSettings settings;
  int first = ParseSwitches(argc, argv, kNameUsage, &settings, nullptr, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  if (first >= argc) return UsageError(err, kNameUsage, "name needs at least one FILE");
  DecodeScratch* scratch = static_cast<DecodeScratch*>(malloc(sizeof(DecodeScratch)));
  if (scratch == nullptr) {
    fputs("brindlecap-cli: out of memory\n", err);
    return 1;
  }
  int status = 0;
  for (int i = first; i < argc; ++i) status |= NameOne(argv[i], &settings, scratch, out, err);
  free(scratch);
  return status;
}

