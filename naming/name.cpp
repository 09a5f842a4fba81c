#include "naming/name.h"

#include <stdio.h>
#include <string.h>

#include "replay/text.h"

const char kSubfolders[6][8] = {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\", "Custom\\"};

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
// NTFS, FAT and the usual Linux file systems take at most 255 characters in one name.
const size_t kNameLimit = 255;

// Where FFA\ and Custom\ stand among the subfolders.
enum { kFfa = 4, kCustom = 5 };

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void AppendSide(const DecodeResult* result, int first, int count, size_t cap, char* body,
                size_t body_size) {
  for (int j = 0; j < count; ++j) {
    const PlayerEntry& player = result->player[first + 2 * j];
    AppendPlayer(body, body_size, player.name, player.race, cap);
  }
}

// Sides as the length-aware reading grouped them: two are set against each other,
// more are listed one after another as an FFA is.
void AppendModernSides(const DecodeResult* result, char* body, size_t body_size) {
  const int n = result->players < kPlayerTableSize ? result->players : kPlayerTableSize;
  const size_t cap = static_cast<size_t>(NameCap(n));
  for (int i = 0; i < n; ++i) {
    const PlayerEntry& player = result->player[i];
    if (i > 0 && result->sides == 2 && player.side != result->player[i - 1].side) {
      AppendCapped(body, body_size, " vs ", 4);
    }
    // A copy without the tag: the result keeps the name as it was decoded.
    char name[kNameSize];
    size_t kept = LengthWithoutAccountTag(player.name);
    if (kept > sizeof name - 1) kept = sizeof name - 1;
    memcpy(name, player.name, kept);
    name[kept] = '\0';
    AppendPlayer(body, body_size, name, player.race, cap);
  }
}

// Two sides of the same size k, 1 to 4, are a kvk game; anything else an FFA.
const char* ModernSubfolder(const DecodeResult* result) {
  if (result->sides != 2) return kSubfolders[kFfa];
  const int n = result->players < kPlayerTableSize ? result->players : kPlayerTableSize;
  int first = 0;
  for (int i = 0; i < n; ++i) first += result->player[i].side == 0 ? 1 : 0;
  if (first < 1 || first > 4 || n - first != first) return kSubfolders[kFfa];
  return kSubfolders[first - 1];
}

// Device names Windows resolves whatever folder they stand in ("CON.w3g" is the
// console). Only a custom game's body can be one: ladder bodies carry race tags
// or " vs ".
bool IsReservedDeviceName(const char* stem) {
  static const char kNames[][4] = {"CON", "PRN", "AUX", "NUL"};
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

size_t LengthWithoutAccountTag(const char* name) {
  const size_t length = strlen(name);
  size_t digits_start = length;
  while (digits_start > 0 && name[digits_start - 1] >= '0' && name[digits_start - 1] <= '9') {
    --digits_start;
  }
  if (digits_start == length || digits_start < 2 || name[digits_start - 1] != '#') return length;
  return digits_start - 1;
}

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

const char* ChooseSubfolder(const DecodeResult* result) {
  if (!result->ladder) return kSubfolders[kCustom];
  if (result->modern) return ModernSubfolder(result);
  if (result->ffa) return kSubfolders[kFfa];
  switch (result->players) {
    case 2: return kSubfolders[0];
    case 4: return kSubfolders[1];
    case 6: return kSubfolders[2];
    case 8: return kSubfolders[3];
    default: return kSubfolders[kFfa];
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
  AppendSide(result, 0, n > 0 ? (n + 1) / 2 : 0, cap, body, body_size);
  if (!result->ffa) AppendCapped(body, body_size, " vs ", 4);
  AppendSide(result, 1, n > 1 ? n / 2 : 0, cap, body, body_size);
  SanitisePlayerName(body);
}

void BuildDateTag(const NameOptions* options, const NameDate* date, char* tag, size_t size) {
  if (size == 0) return;
  tag[0] = '\0';
  if (!options->date_tag) return;
  snprintf(tag, size, "[BC%02d%02d]", date->month, date->day);
}

int FitNameBody(ReplayName* name, const char* folder, size_t path_limit) {
  if (path_limit > static_cast<size_t>(kPathSize)) path_limit = kPathSize;
  char* body = name->body;
  // The file name itself, tag and counter included.
  const size_t name_fixed = strlen(name->date_tag) + strlen(kLongestCounter) + strlen(kSuffix);
  const size_t path_fixed = strlen(folder) + strlen(name->subfolder) + name_fixed + 1;  // + NUL
  if (path_fixed > path_limit || name_fixed > kNameLimit) return 0;
  size_t room = path_limit - path_fixed;
  if (kNameLimit - name_fixed < room) room = kNameLimit - name_fixed;
  if (strlen(body) > room) body[Utf8CutPoint(body, room)] = '\0';
  // With no room for a single letter, a hidden copy still beats none.
  if (name->date_tag[0] == '\0' && body[0] == '\0' && room > 0) {
    const size_t kept = room < strlen(kEmptyName) ? room : strlen(kEmptyName);
    memcpy(body, kEmptyName, kept);
    body[kept] = '\0';
  }
  const size_t stem = DeviceStemLength(body);
  if (name->date_tag[0] == '\0' && stem > 0) {
    const size_t length = strlen(body);
    if (length + 1 > room) return 0;
    // "con_.w3g" is a file; the underscore goes where the device name ends.
    memmove(body + stem + 1, body + stem, length - stem + 1);
    body[stem] = '_';
  }
  return 1;
}

int ComposeCandidate(char* out, size_t out_size, const char* folder, const ReplayName* name,
                     int i) {
  int n = i == 0 ? snprintf(out, out_size, "%s%s%s%s%s", folder, name->subfolder, name->date_tag,
                            name->body, kSuffix)
                 : snprintf(out, out_size, "%s%s%s%s[%d]%s", folder, name->subfolder,
                            name->date_tag, name->body, i, kSuffix);
  return n >= 0 && static_cast<size_t>(n) < out_size;
}
