#include "tests/fuzz_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "tests/destination_check.h"
#include "watcher/decode.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

// Most characters a path may have: the path buffer and the system both bound it.
size_t LongestPath() {
  const size_t limit = static_cast<size_t>(kPlatformPathLimit) < static_cast<size_t>(kPathSize)
                           ? static_cast<size_t>(kPlatformPathLimit)
                           : static_cast<size_t>(kPathSize);
  return limit - 1;
}

// Replay folders from a short one to one that leaves no room for any name, the
// long ones at the edges where the date tag, the subfolder or the counter tips
// the name over the limit.
const char* Folder(unsigned index) {
  static char folders[kFuzzFolderCount][kPathSize];
  static bool built = false;
  if (!built) {
    const size_t longest = LongestPath();
    const size_t lengths[kFuzzFolderCount] = {
        3, 40, longest - 400, longest - 40, longest - 25, longest - 20, longest - 15, longest};
    for (unsigned i = 0; i < kFuzzFolderCount; ++i) {
      if (i == 0) {
        snprintf(folders[i], kPathSize, "R:\\");
      } else if (!LongFolderName("R:\\", lengths[i], folders[i], kPathSize)) {
        fprintf(stderr, "cannot build a replay folder of %zu characters\n", lengths[i]);
        abort();
      }
    }
    built = true;
  }
  return folders[index % kFuzzFolderCount];
}

[[noreturn]] void Fail(const char* what, const char* detail) {
  fprintf(stderr, "broken promise: %s%s%s\n", what, detail[0] != '\0' ? ": " : "", detail);
  abort();
}

// A decoded string must be the shared empty string or lie inside HeaderBuffer with
// its NUL there too.
void CheckDecodedString(const char* text, const char* what) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  if (p >= HeaderBuffer && p < HeaderBuffer + kHeaderBufferSize) {
    if (memchr(p, 0, static_cast<size_t>(HeaderBuffer + kHeaderBufferSize - p)) == nullptr) {
      Fail(what, "runs past the end of HeaderBuffer");
    }
  } else if (text[0] != '\0') {
    Fail(what, "points outside HeaderBuffer");
  }
}

// Only the length-aware reading groups players by side: one side after another,
// numbered from 0, as many as it says, and an FFA exactly when more than two.
void CheckSides(const DecodeResult& result) {
  if (!result.modern || !result.ladder) {
    if (result.sides != 0) Fail("sides without the length-aware reading of a ladder game", "");
    return;
  }
  if (result.players < 0) Fail("a negative player count from the length-aware reading", "");
  int side = 0;
  for (int i = 0; i < result.players; ++i) {
    const int next = PlayerTable[i].side;
    if (next != side && !(i > 0 && next == side + 1)) Fail("players out of side order", "");
    side = next;
  }
  if (result.sides != (result.players == 0 ? 0 : side + 1)) Fail("side count is off", "");
  if (result.ffa != (result.sides > 2)) Fail("FFA is not more than two sides", "");
}

void CheckDecode(const DecodeResult& result) {
  if (result.players > kPlayerTableSize) Fail("player count above the table", "");
  if (!result.ladder && (result.players != 0 || result.ffa)) {
    Fail("a custom game with players or FFA", "");
  }
  if (result.ffa && result.players <= 2) Fail("FFA with two players or fewer", "");
  CheckDecodedString(result.game_name, "game name");
  for (int i = 0; i < kPlayerTableSize; ++i) {
    CheckDecodedString(PlayerTable[i].name, "player name");
    if (PlayerTable[i].race < 0 || PlayerTable[i].race > 15) Fail("race out of 0..15", "");
  }
  CheckSides(result);
}

bool IsDeviceName(const char* stem) {
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* name : kNames) {
    if (EqualsIgnoringAsciiCase(stem, name)) return true;
  }
  if (strlen(stem) != 4 || stem[3] < '1' || stem[3] > '9') return false;
  char prefix[4] = {stem[0], stem[1], stem[2], '\0'};
  return EqualsIgnoringAsciiCase(prefix, "COM") || EqualsIgnoringAsciiCase(prefix, "LPT");
}

}  // namespace

void FuzzReplayFile(unsigned switches, const unsigned char* file, size_t length) {
  SaveCustomGames = (switches & kFuzzCustom) != 0;
  DateTagEnabled = (switches & kFuzzNoDate) == 0;
  const char* folder = Folder(switches >> kFuzzFolderShift);
  snprintf(ReplayFolder, sizeof ReplayFolder, "%s", folder);

  DecodeResult result;
  DecodeReplay(file, length, &result);
  CheckDecode(result);
  if (!result.ladder && !SaveCustomGames) return;  // the pass records it and files nothing

  char body[kPathSize];
  const char* subfolder = PrepareName(&result, folder, body, sizeof body);
  char unfitted[kPathSize];
  BuildNameBody(&result, unfitted, sizeof unfitted);

  if (subfolder == nullptr) {
    // Refused: only when not even an empty body fits, or when the only body that
    // fits is a device name with no room for the underscore that defuses it.
    const size_t fixed = strlen(DateTag) + strlen("[999].w3g");
    const size_t least = strlen(folder) + strlen(ChooseSubfolder(&result)) + fixed;
    const bool device = DateTag[0] == '\0' && IsDeviceName(body);
    if (least <= LongestPath() && fixed <= 255 && !device) {
      Fail("name refused although one fits", folder);
    }
    return;
  }

  // Fitting only shortens the body, or defuses a device name with an underscore.
  const size_t kept = strlen(body);
  bool defused = false;
  if (kept > 0 && body[kept - 1] == '_' && DateTag[0] == '\0') {
    char stem[kPathSize];
    snprintf(stem, sizeof stem, "%.*s", static_cast<int>(kept - 1), body);
    defused = IsDeviceName(stem) && strncmp(stem, unfitted, kept - 1) == 0;
  }
  if (strncmp(body, unfitted, kept) != 0 && !defused) Fail("fitted body is not the built one", body);

  char path[kPathSize];
  static const int kCounters[] = {0, 1, 999};
  for (int counter : kCounters) {
    if (!ComposeCandidate(path, sizeof path, folder, subfolder, body, counter)) {
      Fail("a candidate of a fitted body does not fit", body);
    }
    const char* problem = DestinationProblem(path, folder, !result.ladder, counter);
    if (problem != nullptr) Fail(problem, path);
  }
}
