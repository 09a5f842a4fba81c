#include "replay/decode.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include "replay/file_header.h"
#include "replay/text.h"

// uncompress reports how much it inflated even when it stops short (zlib 1.2.9 on);
// the map path is read no further than that.
static_assert(ZLIB_VERNUM >= 0x1290, "zlib 1.2.9 or later is needed");

namespace {

// The decoded data a fixed-distance walk reads: every offset is checked against
// the whole scratch, which the decode cleared first.
struct Walk {
  const unsigned char* data;
};

// Length of the string at offset, or -1 when it does not end inside the scratch
// (the offset lies past the end, or no NUL follows it). A damaged file can push
// offsets anywhere and, by inflating to the full buffer, leave a string unended.
long StringLength(const Walk& walk, long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return -1;
  const void* nul = memchr(walk.data + offset, 0, kHeaderBufferSize - offset);
  if (nul == nullptr) return -1;
  return static_cast<const unsigned char*>(nul) - (walk.data + offset);
}

// Copies the string at offset into out, "" when it does not end inside the scratch.
void CopyStringAt(const Walk& walk, long offset, char* out, size_t size) {
  out[0] = '\0';
  if (StringLength(walk, offset) < 0) return;
  snprintf(out, size, "%s", reinterpret_cast<const char*>(walk.data + offset));
}

// Low byte of the field at offset as a signed value; 0 past the end.
int SignedByteAt(const Walk& walk, long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return 0;
  return static_cast<signed char>(walk.data[offset]);
}

int RaceAt(const Walk& walk, long offset) {
  if (offset < 0 || offset >= kHeaderBufferSize) return 0;
  return walk.data[offset] & 0x0F;
}

// The settings string follows the game name, its NUL and a second string (empty
// but for a password). -1 when that lies outside the inflated data.
long SettingsAfterGameName(const Walk& walk, long game_name, size_t inflated) {
  const long name_length = StringLength(walk, game_name);
  if (name_length < 0) return -1;
  const long second = game_name + name_length + 1;
  const long second_length = StringLength(walk, second);
  if (second_length < 0) return -1;
  const long settings = second + second_length + 1;
  return settings < static_cast<long>(inflated) ? settings : -1;
}

bool IsLadderName(const Walk& walk, long offset) {
  return StringLength(walk, offset) >= 0 &&
         EqualsIgnoringAsciiCase(reinterpret_cast<const char*>(walk.data + offset), "BNet");
}

}  // namespace

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

void ReadMapAndLength(const unsigned char* bytes, size_t length, const unsigned char* data,
                      long settings, size_t inflated, DecodeResult* result) {
  result->settings = settings;
  result->inflated = inflated;
  result->map_path[0] = '\0';
  if (settings >= 0) {
    DecodeMapPath(data, inflated, static_cast<size_t>(settings), result->map_path,
                  sizeof result->map_path);
  }
  result->length_ms = -1;
  if (length >= kGameLengthOffset + 4) {
    result->length_ms = static_cast<long long>(LoadU32(bytes + kGameLengthOffset));
  }
}

bool StartsAsReplay(const unsigned char* bytes, size_t length) {
  static const char kLeading[] = "Warcraft III recorded game\x1A";
  return length >= sizeof kLeading - 1 && memcmp(bytes, kLeading, sizeof kLeading - 1) == 0;
}

bool HoldsReplay(const unsigned char* bytes, size_t length) {
  const ReplayHolder holder = LocateReplay(bytes, length).holder;
  return holder == kHolderReplay || holder == kHolderNetEase;
}

bool IsRealPlayer(const char* name) {
  return name[0] != '\0' && !EqualsIgnoringAsciiCase(name, "Observer") &&
         !EqualsIgnoringAsciiCase(name, "Referee");
}

void ClearDecodeResult(DecodeResult* result) {
  result->ladder = false;
  result->ffa = false;
  result->players = 0;
  result->game_name[0] = '\0';
  result->modern = false;
  result->sides = 0;
  result->any_alphabet = false;
  result->map_path[0] = '\0';
  result->length_ms = -1;
  result->settings = -1;
  result->inflated = 0;
  for (PlayerEntry& player : result->player) {
    player.name[0] = '\0';
    player.race = 0;
    player.side = 0;
  }
}

void Decode(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
            DecodeResult* result) {
  memset(scratch->data, 0, sizeof scratch->data);
  ClearDecodeResult(result);
  const Walk walk = {scratch->data};

  // Exactly 1024 bytes of the stream are inflated, whatever the block's real size.
  // The result code is not looked at: input that stops mid-stream is the usual
  // case, and whatever was inflated before it stopped is what the walk reads.
  size_t inflated = 0;
  if (length > kStreamOffset) {
    size_t available = length - kStreamOffset;
    uLong input = static_cast<uLong>(available < kStreamInput ? available : size_t{kStreamInput});
    uLongf output = kHeaderBufferSize;
    uncompress(scratch->data, &output, bytes + kStreamOffset, input);
    inflated = output;
  }

  long host_length = StringLength(walk, 6);
  if (host_length < 0) host_length = 0;  // treated as end of data below
  const long L = host_length;
  CopyStringAt(walk, 6, result->player[0].name, sizeof result->player[0].name);

  result->ladder = IsLadderName(walk, 16 + L);
  const long game_name = result->ladder ? 16 + L : 9 + L;
  ReadMapAndLength(bytes, length, scratch->data,
                   SettingsAfterGameName(walk, game_name, inflated), inflated, result);
  if (!result->ladder) {
    CopyStringAt(walk, 9 + L, result->game_name, sizeof result->game_name);
    return;
  }

  // The settings string starts before P; its end E is where the fixed fields resume.
  const long P = 36 + L;
  long settings_length = StringLength(walk, P);
  if (settings_length < 0) settings_length = kHeaderBufferSize;  // E lands past the end
  const long E = P + settings_length;

  int players = SignedByteAt(walk, E + 1);
  const int game_type = SignedByteAt(walk, E + 5);
  result->ffa = game_type == 1 && players > 2;
  // A damaged count may read up to 127; the table holds 16, and with that many the
  // game still counts as FFA and every name gets the smallest cap.
  if (players > kPlayerTableSize) players = kPlayerTableSize;
  result->players = players;

  result->player[0].race = RaceAt(walk, 12 + L);

  long q = E + 15;
  for (int i = 1; i < players; ++i) {
    long n = StringLength(walk, q);
    if (n < 0) break;  // end of data: the remaining entries stay empty
    CopyStringAt(walk, q, result->player[i].name, sizeof result->player[i].name);
    result->player[i].race = RaceAt(walk, q + n + 6);
    q += n + 16;
  }
}
