// Replay header decoding: inflates the start of the first data block and walks the
// host record, the game name and the player records by their fixed distances.
#ifndef BRINDLECAP_WATCHER_DECODE_H_
#define BRINDLECAP_WATCHER_DECODE_H_

#include <stddef.h>

enum {
  kHeaderBufferSize = 131072,
  kPlayerTableSize = 16,
  // Where the first block's zlib stream starts and how much of it is inflated.
  kStreamOffset = 76,
  kStreamInput = 1024,
};

struct PlayerEntry {
  const char* name;  // inside HeaderBuffer (or a static empty string); never NULL
  int race;          // race bits 0 to 15
};

struct DecodeResult {
  bool ladder;            // game name reads "BNet"
  bool ffa;               // ladder, game type 1 and more than two players
  int players;            // N as read (negative possible), limited to kPlayerTableSize
  const char* game_name;  // the game name for a custom game, "" for a ladder game
};

// The decoded start of the first block; cleared before every decode.
extern unsigned char HeaderBuffer[kHeaderBufferSize];

// Entry 0 is the host, 1 to players-1 the following records in file order. Valid
// until the next Decode.
extern PlayerEntry PlayerTable[kPlayerTableSize];

// Decodes the replay held in bytes[0, length). Never fails: damaged or foreign
// input decodes to empty or odd strings.
void Decode(const unsigned char* bytes, size_t length, DecodeResult* result);

// True for a name that is not empty and is neither "Observer" nor "Referee"
// (ASCII case-insensitive).
bool IsRealPlayer(const char* name);

// ASCII-only case-insensitive equality; other bytes compare as they are.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

#endif  // BRINDLECAP_WATCHER_DECODE_H_
