#include "watcher/decode.h"

#include <stdint.h>
#include <string.h>
#include <zlib.h>

unsigned char HeaderBuffer[kHeaderBufferSize];
PlayerEntry PlayerTable[kPlayerTableSize];
char MapPath[kMapPathSize];

// uncompress reports how much it inflated even when it stops short (zlib 1.2.9 on);
// the map path is read no further than that.
static_assert(ZLIB_VERNUM >= 0x1290, "zlib 1.2.9 or later is needed");

namespace {

const char kEmpty[] = "";

// Length of the string at offset, or -1 when it does not end inside HeaderBuffer
// (the offset lies past the end, or no NUL follows it). A damaged file can push
// offsets anywhere and, by inflating to the full buffer, leave a string unended.
long StringLength(long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return -1;
  const void* nul = memchr(HeaderBuffer + offset, 0, kHeaderBufferSize - offset);
  if (nul == nullptr) return -1;
  return static_cast<const unsigned char*>(nul) - (HeaderBuffer + offset);
}

// The string at offset, or "" when it does not end inside HeaderBuffer.
const char* StringAt(long offset) {
  if (StringLength(offset) < 0) return kEmpty;
  return reinterpret_cast<const char*>(HeaderBuffer + offset);
}

// Low byte of the field at offset as a signed value; 0 past the end.
int SignedByteAt(long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return 0;
  return static_cast<signed char>(HeaderBuffer[offset]);
}

int RaceAt(long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return 0;
  return HeaderBuffer[offset] & 0x0F;
}

// The settings string follows the game name, its NUL and a second string (empty
// but for a password). -1 when that lies outside the inflated data.
long SettingsAfterGameName(long game_name, size_t inflated) {
  const long name_length = StringLength(game_name);
  if (name_length < 0) return -1;
  const long second = game_name + name_length + 1;
  const long second_length = StringLength(second);
  if (second_length < 0) return -1;
  const long settings = second + second_length + 1;
  return settings < static_cast<long>(inflated) ? settings : -1;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

long DecodeMapPath(const unsigned char* data, size_t length, size_t start, char* out,
                   size_t out_size) {
  if (out_size > 0) out[0] = '\0';
  size_t decoded = 0;  // bytes of the decoded settings so far
  size_t kept = 0;     // bytes of the map path in out
  unsigned mask = 0;
  for (size_t at = start; at < length && data[at] != 0; ++at) {
    const size_t place = (at - start) % 8;
    if (place == 0) {
      mask = data[at];
      continue;
    }
    const unsigned char byte = (mask & (1u << place)) != 0 ? data[at]
                                                           : static_cast<unsigned char>(data[at] - 1);
    if (decoded++ < kSettingsBeforeMap) continue;
    if (kept >= out_size) break;
    out[kept] = static_cast<char>(byte);
    if (byte == 0) return static_cast<long>(kept);
    ++kept;
  }
  if (out_size > 0) out[0] = '\0';
  return -1;
}

void ReadMapAndLength(const unsigned char* bytes, size_t length, long settings,
                      size_t inflated, DecodeResult* result) {
  result->settings = settings;
  result->inflated = inflated;
  result->map_path = kEmpty;
  if (settings >= 0 && DecodeMapPath(HeaderBuffer, inflated, static_cast<size_t>(settings),
                                     MapPath, sizeof MapPath) >= 0) {
    result->map_path = MapPath;
  }
  result->length_ms = -1;
  if (length >= kGameLengthOffset + 4) {
    const unsigned char* p = bytes + kGameLengthOffset;
    result->length_ms = static_cast<long long>(
        p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24));
  }
}

bool IsRealPlayer(const char* name) {
  return name[0] != '\0' && !EqualsIgnoringAsciiCase(name, "Observer") &&
         !EqualsIgnoringAsciiCase(name, "Referee");
}

void Decode(const unsigned char* bytes, size_t length, DecodeResult* result) {
  memset(HeaderBuffer, 0, sizeof HeaderBuffer);
  for (int i = 0; i < kPlayerTableSize; ++i) PlayerTable[i] = PlayerEntry{kEmpty, 0};

  // Exactly 1024 bytes of the stream are inflated, whatever the block's real size.
  // The result code is not looked at: input that stops mid-stream is the usual
  // case, and whatever was inflated before it stopped is what the walk reads.
  size_t inflated = 0;
  if (length > kStreamOffset) {
    size_t available = length - kStreamOffset;
    uLong input = static_cast<uLong>(available < kStreamInput ? available : size_t{kStreamInput});
    uLongf output = kHeaderBufferSize;
    uncompress(HeaderBuffer, &output, bytes + kStreamOffset, input);
    inflated = output;
  }

  long host_length = StringLength(6);
  if (host_length < 0) host_length = 0;  // treated as end of data below
  const long L = host_length;
  PlayerTable[0].name = StringAt(6);

  result->ladder = EqualsIgnoringAsciiCase(StringAt(16 + L), "BNet");
  result->ffa = false;
  result->players = 0;
  result->game_name = kEmpty;
  result->modern = false;
  result->sides = 0;
  const long game_name = result->ladder ? 16 + L : 9 + L;
  ReadMapAndLength(bytes, length, SettingsAfterGameName(game_name, inflated), inflated, result);
  if (!result->ladder) {
    result->game_name = StringAt(9 + L);
    return;
  }

  // The settings string starts before P; its end E is where the fixed fields resume.
  const long P = 36 + L;
  long settings_length = StringLength(P);
  if (settings_length < 0) settings_length = kHeaderBufferSize;  // E lands past the end
  const long E = P + settings_length;

  int players = SignedByteAt(E + 1);
  const int game_type = SignedByteAt(E + 5);
  result->ffa = game_type == 1 && players > 2;
  // A damaged count may read up to 127; the table holds 16, and with that many the
  // game still counts as FFA and every name gets the smallest cap.
  if (players > kPlayerTableSize) players = kPlayerTableSize;
  result->players = players;

  PlayerTable[0].race = RaceAt(12 + L);

  long q = E + 15;
  for (int i = 1; i < players; ++i) {
    long n = StringLength(q);
    if (n < 0) break;  // end of data: the remaining entries stay empty
    PlayerTable[i].name = StringAt(q);
    PlayerTable[i].race = RaceAt(q + n + 6);
    q += n + 16;
  }
}
