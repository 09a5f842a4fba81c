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
