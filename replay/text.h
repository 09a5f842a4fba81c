// Small helpers every reader of replay bytes and names shares: little-endian
// loads and ASCII-only case folding (the game's names are UTF-8, and only their
// ASCII letters fold; every other byte compares as it is).
#ifndef BRINDLECAP_REPLAY_TEXT_H_
#define BRINDLECAP_REPLAY_TEXT_H_

#include <stddef.h>
#include <stdint.h>

inline uint32_t LoadU16(const unsigned char* p) { return p[0] | (uint32_t{p[1]} << 8); }

inline uint32_t LoadU32(const unsigned char* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII-only case-insensitive equality; other bytes compare as they are.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// Length of prefix when text starts with it, ASCII case aside; 0 otherwise. A NUL
// in text ends the match. With end given, text is read no further than end.
size_t StartsWithIgnoringAsciiCase(const char* text, const char* prefix,
                                   const char* end = nullptr);

// Compares as a player's file browser orders names: ASCII case aside, then by
// bytes, so that the order never depends on anything else.
int CompareNamesIgnoringAsciiCase(const char* a, const char* b);

// The bytes of the UTF-8 character that starts at p, when p[0] starts a
// well-formed one whose continuation bytes all follow (1 for ASCII); 0 when p[0]
// is no character's first byte or the character is cut short. Writers of names
// into other formats replace what gives 0 rather than pass it on.
size_t Utf8CharacterLength(const unsigned char* p);

#endif  // BRINDLECAP_REPLAY_TEXT_H_
