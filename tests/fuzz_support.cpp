#include "tests/fuzz_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "naming/name.h"
#include "naming/name_template.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "tests/destination_check.h"

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

// A decoded string must have its NUL inside the array the result keeps it in.
void CheckDecodedString(const char* text, size_t size, const char* what) {
  if (memchr(text, 0, size) == nullptr) Fail(what, "runs past the end of its array");
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
    const int next = result.player[i].side;
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
  CheckDecodedString(result.game_name, sizeof result.game_name, "game name");
  CheckDecodedString(result.map_path, sizeof result.map_path, "map path");
  for (int i = 0; i < kPlayerTableSize; ++i) {
    CheckDecodedString(result.player[i].name, sizeof result.player[i].name, "player name");
    if (result.player[i].race < 0 || result.player[i].race > 15) Fail("race out of 0..15", "");
  }
  CheckSides(result);
}

// The map path must be what the settings string gives when read over a heap block
// of exactly the inflated size, where AddressSanitizer sees a byte read past it; the
// scratch the decode worked in holds what it inflated.
void CheckMapPath(const DecodeResult& result, const DecodeScratch& scratch) {
  if (result.inflated > kHeaderBufferSize) Fail("more inflated than the scratch holds", "");
  if (result.length_ms < -1 || result.length_ms > 0xFFFFFFFFLL) Fail("length out of a u32", "");
  if (result.settings < 0) {
    if (result.map_path[0] != '\0') Fail("a map path without a settings string", "");
    return;
  }
  if (static_cast<size_t>(result.settings) >= result.inflated) {
    Fail("settings string outside the inflated data", "");
  }
  std::unique_ptr<unsigned char[]> copy(new unsigned char[result.inflated]);
  memcpy(copy.get(), scratch.data, result.inflated);
  char path[kMapPathSize];
  const long n = DecodeMapPath(copy.get(), result.inflated, static_cast<size_t>(result.settings),
                               path, sizeof path);
  if (strcmp(n < 0 ? "" : path, result.map_path) != 0) {
    Fail("map path differs over the exact copy", result.map_path);
  }
}

// Fixed templates: the default spelt out, every field, fields repeated until the
// name must be cut, literal text that is long or not ASCII, and the shapes that
// can make a custom game's name a device name.
const char* const kTemplates[] = {
    "",
    "{date}{players}{game}",
    "{type} {players}{game} on {map} ({mapfile}) {length}",
    "{year}-{month}-{day} {hour}.{minute} {date}{players} on {map}",
    "{map}{map}{mapfile}{mapfile}{players}{players}{game}{game}{length}{type}",
    "{game}",
    "{game}.{length}",
    "{game} ",
    "\xc3\xa9t\xc3\xa9 {players} \xe2\x80\x94 {map}!",
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "{players}{game}",
    "[{date}] {mapfile} .. {length}",
    "{players}{game}..{map}",
};
const size_t kTemplateCount = sizeof kTemplates / sizeof kTemplates[0];

}  // namespace

DecodeScratch* FuzzScratch() {
  static std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  return scratch.get();
}

size_t TakeFuzzTemplate(const unsigned char* data, size_t size, NameOptions* naming) {
  char* const name_template = naming->name_template;
  const size_t template_size = sizeof naming->name_template;
  name_template[0] = '\0';
  if (size == 0) return 0;
  const unsigned pick = data[size - 1];
  if (pick < kFuzzTemplateTexts) {
    snprintf(name_template, template_size, "%s", kTemplates[pick % kTemplateCount]);
    return 1;
  }
  size_t length = (pick - kFuzzTemplateTexts) % kFuzzTemplateLongest;
  if (length > size - 1) length = size - 1;
  snprintf(name_template, template_size, "%.*s", static_cast<int>(length),
           reinterpret_cast<const char*>(data + size - 1 - length));
  char problem[256];
  if (NameTemplateProblem(name_template, problem, sizeof problem)) {
    name_template[0] = '\0';
  } else {
    for (const char* p = name_template; *p != '\0'; ++p) {
      if (static_cast<unsigned char>(*p) < 32 || strchr("\\/:*?\"<>|", *p) != nullptr) {
        Fail("a template with a character no file name can hold was accepted", name_template);
      }
    }
  }
  return length + 1;
}

void FuzzReplayFile(unsigned switches, WatchSettings* settings, const unsigned char* file,
                    size_t length) {
  settings->save_custom = (switches & kFuzzCustom) != 0;
  settings->naming.date_tag = (switches & kFuzzNoDate) == 0;
  const NameOptions* naming = &settings->naming;
  const char* folder = Folder(switches >> kFuzzFolderShift);

  // A fixed moment, so that the body built twice below is built alike.
  const NameDate date = {2026, 7, 30, 21, 5, 9};

  DecodeScratch* scratch = FuzzScratch();
  DecodeResult result;
  DecodeReplay(file, length, settings->reading, scratch, &result);
  CheckDecode(result);
  CheckMapPath(result, *scratch);
  if (!result.ladder && !settings->save_custom) return;  // the pass records it and files nothing

  ReplayName name;
  const bool named = PrepareName(&result, naming, &date, folder, kPlatformPathLimit, &name);
  ReplayName unfitted;
  BuildName(&result, naming, &date, &unfitted);
  const char* tag = name.date_tag;
  const char* body = name.body;

  if (!named) {
    // Refused: only when not even an empty body fits, or when the only body that
    // fits is a device name with no room for the underscore that defuses it.
    const size_t fixed = strlen(tag) + strlen("[999].w3g");
    const size_t least = strlen(folder) + strlen(ChooseSubfolder(&result)) + fixed;
    const bool device = tag[0] == '\0' && IsDeviceFileName(body);
    if (least <= LongestPath() && fixed <= 255 && !device) {
      Fail("name refused although one fits", folder);
    }
    return;
  }
  if (strcmp(name.subfolder, unfitted.subfolder) != 0 || strcmp(tag, unfitted.date_tag) != 0) {
    Fail("fitting changed the subfolder or the date tag", body);
  }

  // Fitting only shortens the body, or defuses a device name with an underscore
  // where the device name ends (before the first dot and any blanks).
  size_t kept = strlen(body);
  char shortened[kPathSize];
  snprintf(shortened, sizeof shortened, "%s", body);
  size_t stem_end = strcspn(body, ".");
  while (stem_end > 0 && body[stem_end - 1] == ' ') --stem_end;
  if (tag[0] == '\0' && stem_end > 0 && body[stem_end - 1] == '_') {
    memmove(shortened + stem_end - 1, shortened + stem_end, kept - stem_end + 1);
    if (IsDeviceFileName(shortened) && strncmp(shortened, unfitted.body, kept - 1) == 0) --kept;
    else snprintf(shortened, sizeof shortened, "%s", body);
  }
  // A name that would come out empty is "Replay", as much of it as fits: the built
  // body was empty, or not even its first letter fitted.
  const unsigned char lead = static_cast<unsigned char>(unfitted.body[0]);
  const size_t first_letter = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const bool named_replay = tag[0] == '\0' && kept > 0 && kept <= strlen("Replay") &&
                            strncmp(body, "Replay", kept) == 0 &&
                            (unfitted.body[0] == '\0' || kept < first_letter);
  if (!named_replay && strncmp(shortened, unfitted.body, kept) != 0) {
    Fail("fitted body is not the built one", body);
  }
  if (tag[0] == '\0' && body[0] == '\0' &&
      strlen(folder) + strlen(name.subfolder) + strlen("R[999].w3g") <= LongestPath()) {
    Fail("an empty name was filed although a letter fits", folder);
  }
  if (tag[0] == '\0' && IsDeviceFileName(body)) Fail("a device name was filed", body);

  char path[kPathSize];
  static const int kCounters[] = {0, 1, 999};
  for (int counter : kCounters) {
    if (!ComposeCandidate(path, sizeof path, folder, &name, counter)) {
      Fail("a candidate of a fitted body does not fit", body);
    }
    const char* problem = DestinationProblem(path, folder, !result.ladder, counter, tag,
                                             naming->name_template, result.any_alphabet);
    if (problem != nullptr) Fail(problem, path);
  }
}
