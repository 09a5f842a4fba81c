#include "watcher/filing.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "watcher/name_template.h"

char DateTag[16];
PlatformTime NameTime;
bool NameTimeFixed = false;
char NameTemplate[kPathSize];
char FiledPath[kPathSize];
PlatformError CopyError = kPlatformOk;

namespace {

const char kSuffix[] = ".w3g";
// What a copy is called when nothing else would stand before ".w3g" (a template
// whose fields are all empty, an empty game name without the date tag): a name of
// a dot and an extension alone is hidden on Linux and has no name in Explorer. It
// says what the file is, in any subfolder, and no system reserves it.
const char kEmptyName[] = "Replay";
// The longest counter a candidate can carry; names are fitted for it so that every
// candidate of one body is the same body.
const char kLongestCounter[] = "[999]";
const int kLastCounter = 999;
// First block a plan takes for its names: room for about a hundred long paths.
const size_t kPlannedBlock = 65536;
// NTFS, FAT and the usual Linux file systems take at most 255 characters in one name.
const size_t kNameLimit = 255;

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void AppendSide(int first, int count, size_t cap, char* body, size_t body_size) {
  for (int j = 0; j < count; ++j) {
    const PlayerEntry& player = PlayerTable[first + 2 * j];
    AppendPlayer(body, body_size, player.name, player.race, cap);
  }
}

// The current game names players by account tag, "anXieTy#2932": the '#' and the
// digits after it number the account and say nothing a reader needs. Returns the
// name's length without them; a name that is nothing but a tag keeps it.
size_t LengthWithoutAccountTag(const char* name) {
  const size_t length = strlen(name);
  size_t digits_start = length;
  while (digits_start > 0 && name[digits_start - 1] >= '0' && name[digits_start - 1] <= '9') {
    --digits_start;
  }
  if (digits_start == length || digits_start < 2 || name[digits_start - 1] != '#') return length;
  return digits_start - 1;
}

// Sides as the length-aware reading grouped them: two are set against each other,
// more are listed one after another as an FFA is.
void AppendModernSides(const DecodeResult* result, char* body, size_t body_size) {
  const int n = result->players < kPlayerTableSize ? result->players : kPlayerTableSize;
  const size_t cap = static_cast<size_t>(NameCap(n));
  for (int i = 0; i < n; ++i) {
    const PlayerEntry& player = PlayerTable[i];
    if (i > 0 && result->sides == 2 && player.side != PlayerTable[i - 1].side) {
      AppendCapped(body, body_size, " vs ", 4);
    }
    // A copy without the tag: HeaderBuffer keeps the name as it was decoded.
    char name[kPathSize];
    size_t kept = LengthWithoutAccountTag(player.name);
    if (kept > sizeof name - 1) kept = sizeof name - 1;
    memcpy(name, player.name, kept);
    name[kept] = '\0';
    AppendPlayer(body, body_size, name, player.race, cap);
  }
}

// Two sides of the same size k, 1 to 4, are a kvk game; anything else an FFA.
const char* ModernSubfolder(const DecodeResult* result) {
  static const char* const kEvenSides[] = {"1v1\\", "2v2\\", "3v3\\", "4v4\\"};
  if (result->sides != 2) return "FFA\\";
  const int n = result->players < kPlayerTableSize ? result->players : kPlayerTableSize;
  int first = 0;
  for (int i = 0; i < n; ++i) first += PlayerTable[i].side == 0 ? 1 : 0;
  if (first < 1 || first > 4 || n - first != first) return "FFA\\";
  return kEvenSides[first - 1];
}

// Device names Windows resolves whatever folder they stand in ("CON.w3g" is the
// console). Only a custom game's body can be one: ladder bodies carry race tags
// or " vs ".
bool IsReservedDeviceName(const char* stem) {
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* name : kNames) {
    if (EqualsIgnoringAsciiCase(stem, name)) return true;
  }
  // A port's digit is 1 to 9, or superscript one to three, which Windows counts as
  // digits too; names are UTF-8, so those are the two bytes C2 B9, C2 B2, C2 B3.
  const size_t length = strlen(stem);
  const unsigned char* digit = reinterpret_cast<const unsigned char*>(stem) + 3;
  const bool port = length == 4 ? digit[0] >= '1' && digit[0] <= '9'
                    : length == 5 && digit[0] == 0xC2 &&
                          (digit[1] == 0xB9 || digit[1] == 0xB2 || digit[1] == 0xB3);
  if (port) {
    char prefix[4] = {stem[0], stem[1], stem[2], '\0'};
    return EqualsIgnoringAsciiCase(prefix, "COM") || EqualsIgnoringAsciiCase(prefix, "LPT");
  }
  return false;
}

}  // namespace

size_t DeviceStemLength(const char* body) {
  // Windows looks at what stands before the first dot, trailing blanks dropped:
  // "con.txt" and "con .w3g" are the console too.
  size_t stem = strcspn(body, ".");
  while (stem > 0 && body[stem - 1] == ' ') --stem;
  char name[8];
  if (stem >= sizeof name) return 0;
  memcpy(name, body, stem);
  name[stem] = '\0';
  return IsReservedDeviceName(name) ? stem : 0;
}

namespace {

// Windows file names ignore ASCII case, so there "A.w3g" and "a.w3g" are one file.
unsigned char FoldCase(unsigned char c) {
#ifdef _WIN32
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
#else
  return c;
#endif
}

bool SameName(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != '\0' && FoldCase(*x) == FoldCase(*y)) {
    ++x;
    ++y;
  }
  return FoldCase(*x) == FoldCase(*y);
}

// A planned entry: the length and hash of the bytes planned under a path, then
// the path itself.
struct PlannedEntry {
  uint64_t length;
  uint64_t hash;
};
const size_t kEntryHead = sizeof(PlannedEntry);

// The entry planned under path, or NULL.
const char* FindPlanned(const PlannedNames* planned, const char* path) {
  if (planned == nullptr) return nullptr;
  for (size_t at = 0; at < planned->used;) {
    const char* entry = planned->text + at;
    if (SameName(entry + kEntryHead, path)) return entry;
    at += kEntryHead + strlen(entry + kEntryHead) + 1;
  }
  return nullptr;
}

bool PlannedSame(const char* entry, const ReplayCopy* same) {
  PlannedEntry head;
  memcpy(&head, entry, sizeof head);
  return head.length == same->length && head.hash == same->hash;
}

// Remembers path and what would be written there. Returns false when memory
// runs out.
bool RememberPlanned(PlannedNames* planned, const char* path, const ReplayCopy* same) {
  const size_t length = kEntryHead + strlen(path) + 1;
  if (planned->size - planned->used < length) {
    size_t size = planned->size == 0 ? kPlannedBlock : planned->size * 2;
    if (size - planned->used < length) size = planned->used + length;
    char* grown = static_cast<char*>(realloc(planned->text, size));
    if (grown == nullptr) return false;
    planned->text = grown;
    planned->size = size;
  }
  const PlannedEntry head = {same != nullptr ? same->length : 0, same != nullptr ? same->hash : 0};
  memcpy(planned->text + planned->used, &head, sizeof head);
  memcpy(planned->text + planned->used + kEntryHead, path, length - kEntryHead);
  planned->used += length;
  return true;
}

}  // namespace

size_t Utf8CutPoint(const char* text, size_t length) {
  // Look back for the lead byte of a character of up to four bytes: 110xxxxx
  // starts two, 1110xxxx three, 11110xxx four. Stray bytes are left as they are.
  for (size_t back = 1; back <= 3 && back <= length; ++back) {
    const unsigned char byte = static_cast<unsigned char>(text[length - back]);
    if ((byte & 0xC0) == 0x80) continue;  // 10xxxxxx: continues a character
    const size_t size = (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3
                      : (byte & 0xF8) == 0xF0 ? 4 : 1;
    return size > back ? length - back : length;
  }
  return length;
}

void AppendPlayer(char* body, size_t body_size, const char* name, int race, size_t cap) {
  if (!IsRealPlayer(name)) return;
  // The game writes names in UTF-8; a cut inside a character would leave a byte
  // that no code page shows as the player's letter.
  const size_t length = strnlen(name, cap);
  const size_t kept = length < cap || name[length] == '\0' ? length : Utf8CutPoint(name, length);
  AppendCapped(body, body_size, name, kept);
  const char tag[4] = {'(', RaceLetter(race), ')', '\0'};
  AppendCapped(body, body_size, tag, sizeof tag);
}

int NameCap(int players) {
  if (players <= 3) return 128;
  if (players <= 5) return 8;
  if (players <= 7) return 6;
  if (players == 8) return 5;
  return 4;
}

char RaceLetter(int race) {
  switch (race) {
    case 1: return 'h';
    case 2: return 'o';
    case 4: return 'e';
    case 8: return 'u';
    default: return 'r';
  }
}

void AppendCapped(char* destination, size_t destination_size, const char* source, size_t cap) {
  if (destination_size == 0) return;
  size_t end = strnlen(destination, destination_size - 1);
  for (size_t n = 0; n < cap && source[n] != '\0' && end + 1 < destination_size; ++n) {
    destination[end++] = source[n];
  }
  destination[end] = '\0';
}

void SanitisePlayerName(char* text) {
  static const char kReplaced[] = "\"\\/.:*!@#%$;,?<>|";
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != '\0'; ++p) {
    if (*p < 32 || strchr(kReplaced, *p) != nullptr) *p = '_';
  }
}

void SanitiseGameName(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != '\0'; ++p) {
    if (!IsAsciiAlnum(*p)) *p = '_';
  }
}

void EnsureSubfolder(const char* folder, const char* subfolder) {
  char path[kPathSize];
  int n = snprintf(path, sizeof path, "%s%s", folder, subfolder);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return;
  if (!FileExists(path)) PlatformMakeDirectory(path);
}

const char* ChooseSubfolder(const DecodeResult* result) {
  if (!result->ladder) return "Custom\\";
  if (result->modern) return ModernSubfolder(result);
  if (result->ffa) return "FFA\\";
  switch (result->players) {
    case 2: return "1v1\\";
    case 4: return "2v2\\";
    case 6: return "3v3\\";
    case 8: return "4v4\\";
    default: return "FFA\\";
  }
}

void BuildNameBody(const DecodeResult* result, char* body, size_t body_size) {
  if (body_size == 0) return;
  body[0] = '\0';
  if (!result->ladder) {
    snprintf(body, body_size, "%s", result->game_name);
    SanitiseGameName(body);
    return;
  }
  if (result->modern) {
    AppendModernSides(result, body, body_size);
    SanitisePlayerName(body);
    return;
  }
  const int n = result->players;
  const size_t cap = static_cast<size_t>(NameCap(n));
  // Even header positions form the first side, odd ones the second.
  AppendSide(0, n > 0 ? (n + 1) / 2 : 0, cap, body, body_size);
  if (!result->ffa) AppendCapped(body, body_size, " vs ", 4);
  AppendSide(1, n > 1 ? n / 2 : 0, cap, body, body_size);
  SanitisePlayerName(body);
}

void BuildDateTag() {
  DateTag[0] = '\0';
  if (!NameTimeFixed) PlatformLocalTime(&NameTime);
  if (!DateTagEnabled) return;
  snprintf(DateTag, sizeof DateTag, "[BC%02d%02d]", NameTime.month, NameTime.day);
}

int FitNameBody(char* body, const char* folder, const char* subfolder) {
  const size_t path_limit = static_cast<size_t>(kPlatformPathLimit) < static_cast<size_t>(kPathSize)
                                ? static_cast<size_t>(kPlatformPathLimit)
                                : static_cast<size_t>(kPathSize);
  // The file name itself, tag and counter included.
  const size_t name_fixed = strlen(DateTag) + strlen(kLongestCounter) + strlen(kSuffix);
  const size_t path_fixed = strlen(folder) + strlen(subfolder) + name_fixed + 1;  // + NUL
  if (path_fixed > path_limit || name_fixed > kNameLimit) return 0;
  size_t room = path_limit - path_fixed;
  if (kNameLimit - name_fixed < room) room = kNameLimit - name_fixed;
  if (strlen(body) > room) body[Utf8CutPoint(body, room)] = '\0';
  // With no room for a single letter, a hidden copy still beats none.
  if (DateTag[0] == '\0' && body[0] == '\0' && room > 0) {
    const size_t kept = room < strlen(kEmptyName) ? room : strlen(kEmptyName);
    memcpy(body, kEmptyName, kept);
    body[kept] = '\0';
  }
  const size_t stem = DeviceStemLength(body);
  if (DateTag[0] == '\0' && stem > 0) {
    const size_t length = strlen(body);
    if (length + 1 > room) return 0;
    // "con_.w3g" is a file; the underscore goes where the device name ends.
    memmove(body + stem + 1, body + stem, length - stem + 1);
    body[stem] = '_';
  }
  return 1;
}

int ComposeCandidate(char* out, size_t out_size, const char* folder, const char* subfolder,
                     const char* body, int i) {
  int n = i == 0 ? snprintf(out, out_size, "%s%s%s%s%s", folder, subfolder, DateTag, body, kSuffix)
                 : snprintf(out, out_size, "%s%s%s%s[%d]%s", folder, subfolder, DateTag, body, i,
                            kSuffix);
  return n >= 0 && static_cast<size_t>(n) < out_size;
}

void BuildName(const DecodeResult* result, const char* subfolder, char* body,
               size_t body_size) {
  BuildDateTag();
  if (UsesDefaultTemplate(NameTemplate)) {
    BuildNameBody(result, body, body_size);
    return;
  }
  FillNameTemplate(NameTemplate, result, subfolder, body, body_size);
  // The template has put the tag where it wants it, if anywhere; the body is the
  // whole name now, and fitting shortens it at its end.
  DateTag[0] = '\0';
}

const char* PrepareName(const DecodeResult* result, const char* folder, char* body,
                        size_t body_size) {
  const char* subfolder = ChooseSubfolder(result);
  BuildName(result, subfolder, body, body_size);
  return FitNameBody(body, folder, subfolder) ? subfolder : nullptr;
}

void ForgetPlannedNames(PlannedNames* planned) {
  free(planned->text);
  planned->text = nullptr;
  planned->used = planned->size = 0;
}

// Read in pieces, so that the first difference ends it, and to its end, so that
// a longer file differs.
bool HoldsSameBytes(const char* path, const ReplayCopy* same) {
  PlatformFile* file = PlatformOpenRead(path);
  if (file == nullptr) return false;
  unsigned char piece[65536];
  bool equal = true;
  for (size_t at = 0; equal && at < same->length;) {
    const size_t want = same->length - at < sizeof piece ? same->length - at : sizeof piece;
    equal = PlatformRead(file, piece, want) == want && memcmp(piece, same->bytes + at, want) == 0;
    at += want;
  }
  if (equal) equal = PlatformRead(file, piece, 1) == 0;
  PlatformClose(file);
  return equal;
}

uint64_t ReplayHash(const unsigned char* bytes, size_t length) {
  // FNV-1a, eight bytes at a time: a plan only has to tell apart replays of one
  // length, which differ in thousands of bytes when they differ at all.
  uint64_t hash = 14695981039346656037ull;
  size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint64_t word;
    memcpy(&word, bytes + at, sizeof word);
    hash = (hash ^ word) * 1099511628211ull;
  }
  for (; at < length; ++at) hash = (hash ^ bytes[at]) * 1099511628211ull;
  return hash;
}

FileOutcome FindFreeName(const char* folder, const char* subfolder, const char* body,
                         const PlannedNames* planned, char* path, size_t path_size,
                         const ReplayCopy* same) {
  for (int i = 0; i <= kLastCounter; ++i) {
    if (!ComposeCandidate(path, path_size, folder, subfolder, body, i)) return kNoNameFits;
    int32_t stamp = 0;
    int64_t length = -1;
    if (PlatformProbe(path, &stamp, same != nullptr ? &length : nullptr)) {
      ObservedStamp = stamp;
      // The length from the probe spares reading every candidate of another size.
      if (same != nullptr && length == static_cast<int64_t>(same->length) &&
          HoldsSameBytes(path, same)) {
        return kAlreadyThere;
      }
      continue;
    }
    const char* entry = FindPlanned(planned, path);
    if (entry == nullptr) return kFiled;
    if (same != nullptr && PlannedSame(entry, same)) return kAlreadyThere;
  }
  return kNoFreeName;
}

FileOutcome FileReplay(const DecodeResult* result, const unsigned char* bytes, size_t length,
                       bool unless_there) {
  return FileReplayIn(ReplayFolder, result, bytes, length, unless_there);
}

FileOutcome FileReplayIn(const char* folder, const DecodeResult* result,
                         const unsigned char* bytes, size_t length, bool unless_there) {
  char body[kPathSize];
  const char* subfolder = PrepareName(result, folder, body, sizeof body);
  if (subfolder == nullptr) return kNoNameFits;
  EnsureSubfolder(folder, subfolder);

  const ReplayCopy same = {bytes, length, 0};
  const FileOutcome found = FindFreeName(folder, subfolder, body, nullptr, FiledPath,
                                         sizeof FiledPath, unless_there ? &same : nullptr);
  if (found != kFiled) return found;
  PlatformFile* file = PlatformCreateNew(FiledPath);
  if (file == nullptr) {
    CopyError = PlatformLastError();
    return kCopyFailed;
  }
  const bool whole = PlatformWrite(file, bytes, length) == length;
  CopyError = PlatformLastError();
  const bool closed = PlatformClose(file) != 0;
  if (!whole || !closed) {
    if (whole) CopyError = PlatformLastError();
    // A truncated copy under a real replay name would pass for the replay itself.
    PlatformRemove(FiledPath);
    return kCopyFailed;
  }
  CopyError = kPlatformOk;
  return kFiled;
}

FileOutcome PlanReplay(const DecodeResult* result, PlannedNames* planned, char* path,
                       size_t path_size, const unsigned char* bytes, size_t length) {
  char body[kPathSize];
  const char* subfolder = PrepareName(result, ReplayFolder, body, sizeof body);
  if (subfolder == nullptr) return kNoNameFits;
  ReplayCopy same = {bytes, length, 0};
  if (bytes != nullptr) same.hash = ReplayHash(bytes, length);
  const ReplayCopy* looked_for = bytes != nullptr ? &same : nullptr;
  const FileOutcome found =
      FindFreeName(ReplayFolder, subfolder, body, planned, path, path_size, looked_for);
  if (found != kFiled) return found;
  return RememberPlanned(planned, path, looked_for) ? kFiled : kNoMemory;
}
