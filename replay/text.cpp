#include "replay/text.h"

#include <string.h>

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

size_t StartsWithIgnoringAsciiCase(const char* text, const char* prefix, const char* end) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (end != nullptr && text + i >= end) return 0;
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return 0;  // a NUL ends it here too
  }
  return i;
}

int CompareNamesIgnoringAsciiCase(const char* a, const char* b) {
  for (size_t i = 0;; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == '\0') break;
  }
  return strcmp(a, b);
}

size_t Utf8CharacterLength(const unsigned char* p) {
  const unsigned c = p[0];
  if (c < 0x80) return 1;
  size_t follow = 0;
  if (c >= 0xC2 && c <= 0xDF) follow = 1;
  else if (c >= 0xE0 && c <= 0xEF) follow = 2;
  else if (c >= 0xF0 && c <= 0xF4) follow = 3;
  else return 0;  // never a character's first byte
  for (size_t i = 1; i <= follow; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;  // a NUL stops it here too
  }
  return follow + 1;
}
