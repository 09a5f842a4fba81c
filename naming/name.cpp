#include "naming/name.h"

#include <stdio.h>
#include <string.h>

#include "replay/text.h"

const char kSubfolders[6][8] = {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\", "Custom\\"};

namespace {

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

bool IsNameLetter(uint32_t code) {
  if (code < 0x80) return IsAsciiAlnum(static_cast<unsigned char>(code));
  if (code > 0x10FFFF) return false;  // no character at all
  // Latin-1's signs, its blank and its quotes; ª µ º and the superscript digits stay.
  if (code <= 0xBF) return code == 0xAA || code == 0xB5 || code == 0xBA || code == 0xB2 ||
                           code == 0xB3 || code == 0xB9;
  if (code == 0xD7 || code == 0xF7) return false;  // × ÷
  // Ranges of blanks, punctuation and symbols of every script's shared blocks, each
  // [first, last]: general punctuation to the currencies, arrows to the last
  // symbols before Glagolitic, supplemental punctuation, CJK symbols and
  // punctuation, vertical and compatibility forms, fullwidth punctuation, private
  // use, specials, emoji and the like, tags.
  static const uint32_t kNotLetters[][2] = {
      {0x1680, 0x1680},   {0x180E, 0x180E},   {0x2000, 0x206F},   {0x20A0, 0x20CF},
      {0x2190, 0x2BFF},   {0x2E00, 0x2E7F},   {0x3000, 0x3004},   {0x3008, 0x3020},
      {0x3030, 0x3030},   {0x303D, 0x303F},   {0x30FB, 0x30FB},   {0xD800, 0xF8FF},
      {0xFE00, 0xFE1F},   {0xFE30, 0xFE6F},   {0xFEFF, 0xFEFF},   {0xFF00, 0xFF0F},
      {0xFF1A, 0xFF20},   {0xFF3B, 0xFF40},   {0xFF5B, 0xFF65},   {0xFFF0, 0xFFFF},
      {0x1F000, 0x1FAFF}, {0xE0000, 0xE007F}, {0xF0000, 0x10FFFF},
  };
  for (const auto& range : kNotLetters) {
    if (code >= range[0] && code <= range[1]) return false;
  }
  return true;
}

namespace {

// Blanks a game name may carry at either end: ASCII's, the no-break space and the
// wide blanks (the ideographic space of CJK names among them).
bool IsBlank(uint32_t code) {
  return code == ' ' || (code >= 0x09 && code <= 0x0D) || code == 0xA0 || code == 0x1680 ||
         (code >= 0x2000 && code <= 0x200B) || code == 0x202F || code == 0x205F ||
         code == 0x3000 || code == 0xFEFF;
}

// The character at p: its code and its length in bytes; length 1 and code
// 0xFFFFFFFF for a byte that starts no well-formed UTF-8 character.
uint32_t CharacterAt(const unsigned char* p, size_t* length) {
  *length = Utf8CharacterLength(p);
  switch (*length) {
    case 1: return p[0];
    case 2: return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    case 3: return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    case 4: return (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
    default: *length = 1; return 0xFFFFFFFFu;
  }
}

}  // namespace

void SanitiseGameNameAnyAlphabet(char* text) {
  unsigned char* const start = reinterpret_cast<unsigned char*>(text);
  unsigned char* out = start;
  unsigned char* kept_end = start;  // just after the last character that is no blank
  bool leading = true;
  size_t length = 0;
  for (const unsigned char* p = start; *p != '\0'; p += length) {
    const uint32_t code = CharacterAt(p, &length);
    if (IsBlank(code)) {
      if (leading) continue;
      *out++ = '_';
      continue;
    }
    leading = false;
    if (IsNameLetter(code)) {
      memmove(out, p, length);  // never ahead of p: each character keeps or shrinks
      out += length;
    } else {
      *out++ = '_';
    }
    kept_end = out;
  }
  *kept_end = '\0';
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
    if (result->any_alphabet) {
      SanitiseGameNameAnyAlphabet(body);
    } else {
      SanitiseGameName(body);
    }
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
  const size_t name_fixed = strlen(name->date_tag) + strlen(kLongestCounter) + strlen(name->suffix);
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
                            name->body, name->suffix)
                 : snprintf(out, out_size, "%s%s%s%s[%d]%s", folder, name->subfolder,
                            name->date_tag, name->body, i, name->suffix);
  return n >= 0 && static_cast<size_t>(n) < out_size;
}
