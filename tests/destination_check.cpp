#include "tests/destination_check.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "naming/name.h"
#include "naming/name_template.h"
#include "platform/platform.h"
#include "replay/text.h"

namespace {

bool StartsWith(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

// The characters a player name loses in naming; a game name keeps even fewer.
bool ReplacedInNames(unsigned char c) {
  return (c >= 1 && c < 32) || strchr("\"\\/.:*!@#%$;,?<>|", c) != nullptr;
}

bool AsciiAlnumOrUnderscore(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// With -modern a custom game's name keeps letters beyond ASCII: the bytes at body
// must start a whole UTF-8 character of two to four bytes that is no blank (the
// blanks of other scripts, the no-break and the ideographic space among them). Its
// length, or 0 when they do not.
size_t WholeLetterBeyondAscii(const unsigned char* body) {
  const unsigned lead = body[0];
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5 || length == 0) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((body[i] & 0xC0) != 0x80) return 0;
    code = code << 6 | (body[i] & 0x3F);
  }
  const bool blank = code == 0xA0 || code == 0x1680 || (code >= 0x2000 && code <= 0x200B) ||
                     code == 0x202F || code == 0x205F || code == 0x3000 || code == 0xFEFF;
  return blank ? 0 : length;
}

bool RefusedByWindows(unsigned char c) {
  return (c >= 1 && c < 32) || strchr("\\/:*?\"<>|", c) != nullptr;
}

}  // namespace

bool IsDeviceFileName(const char* body) {
  size_t stem = strcspn(body, ".");
  while (stem > 0 && body[stem - 1] == ' ') --stem;
  char name[8];
  if (stem == 0 || stem >= sizeof name) return false;
  memcpy(name, body, stem);
  name[stem] = '\0';
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kNames) {
    if (EqualsIgnoringAsciiCase(name, device)) return true;
  }
  // Superscript one to three are port digits to Windows too (UTF-8 C2 B9, B2, B3).
  const bool digit = stem == 4 && name[3] >= '1' && name[3] <= '9';
  const bool superscript = stem == 5 && name[3] == '\xC2' &&
                           (name[4] == '\xB9' || name[4] == '\xB2' || name[4] == '\xB3');
  if (!digit && !superscript) return false;
  name[3] = '\0';
  return EqualsIgnoringAsciiCase(name, "COM") || EqualsIgnoringAsciiCase(name, "LPT");
}

const char* DestinationProblem(const char* path, const char* folder, bool custom, int counter,
                               const char* date_tag, const char* name_template,
                               bool any_alphabet) {
  const size_t length = strlen(path);
  if (length >= static_cast<size_t>(kPathSize)) return "path does not fit its buffer";
  if (length >= static_cast<size_t>(kPlatformPathLimit)) return "path exceeds the system limit";
  if (!StartsWith(path, folder)) return "path does not start with the replay folder";

  const char* below = path + strlen(folder);
  static const char* const kSubfolders[] = {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\",
                                            "Custom\\"};
  const char* name = nullptr;
  for (const char* subfolder : kSubfolders) {
    if (StartsWith(below, subfolder)) name = below + strlen(subfolder);
  }
  if (name == nullptr) return "no known subfolder below the replay folder";
  if (custom != StartsWith(below, "Custom\\")) return "custom and ladder games mixed up";
  if (strchr(name, '\\') != nullptr || strchr(name, '/') != nullptr) {
    return "file name holds a further separator";
  }
  const bool templated = !UsesDefaultTemplate(name_template);
  // Under a template ".." can be its own text; with no separator in the name it
  // cannot lead out of the subfolder.
  if (!templated && strstr(below, "..") != nullptr) return "\"..\" below the replay folder";
  if (strlen(name) > 255) return "file name longer than 255 characters";

  if (!StartsWith(name, date_tag)) return "file name does not start with the date tag";
  const char* body = name + strlen(date_tag);
  char ending[32];
  if (counter == 0) {
    snprintf(ending, sizeof ending, ".w3g");
  } else {
    snprintf(ending, sizeof ending, "[%d].w3g", counter);
  }
  const size_t body_length = strlen(body);
  if (body_length < strlen(ending) || strcmp(body + body_length - strlen(ending), ending) != 0) {
    return "file name does not end in the counter and \".w3g\"";
  }
  if (templated) {
    for (size_t i = 0; i + strlen(ending) < body_length; ++i) {
      if (RefusedByWindows(static_cast<unsigned char>(body[i]))) {
        return "templated body holds a character Windows refuses";
      }
    }
    // What stands before ".w3g", the counter included: "con [1].w3g" is a file.
    char stem[kPathSize];
    snprintf(stem, sizeof stem, "%.*s", static_cast<int>(body_length - strlen(".w3g")), body);
    if (date_tag[0] == '\0' && IsDeviceFileName(stem)) return "templated body is a device name";
    return nullptr;
  }
  for (size_t i = 0; i + strlen(ending) < body_length; ++i) {
    const unsigned char c = static_cast<unsigned char>(body[i]);
    if (ReplacedInNames(c)) return "body keeps a character naming replaces";
    if (!custom || AsciiAlnumOrUnderscore(c)) continue;
    const size_t letter =
        any_alphabet ? WholeLetterBeyondAscii(reinterpret_cast<const unsigned char*>(body + i)) : 0;
    if (letter == 0 || i + letter + strlen(ending) > body_length) {
      return any_alphabet ? "custom body keeps a byte that is no part of a letter or digit"
                          : "custom body keeps a byte other than [A-Za-z0-9_]";
    }
    i += letter - 1;
  }
  return nullptr;
}

int LongFolderName(const char* base, size_t length, char* out, size_t out_size) {
  const size_t base_length = strlen(base);
  if (length + 1 > out_size || length < base_length + 2) return 0;
  memcpy(out, base, base_length);
  size_t at = base_length;
  while (at < length) {
    size_t left = length - at;
    size_t take = left > 201 ? 201 : left;
    if (left - take == 1) --take;  // a component needs a letter and its backslash
    memset(out + at, 'd', take - 1);
    out[at + take - 1] = '\\';
    at += take;
  }
  out[at] = '\0';
  return 1;
}
