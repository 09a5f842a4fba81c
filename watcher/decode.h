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
  int side = 0;      // the length-aware reading only: which side the player is on
};

struct DecodeResult {
  bool ladder;            // game name reads "BNet"
  bool ffa;               // ladder, game type 1 and more than two players
  int players;            // N as read (negative possible), limited to kPlayerTableSize
  const char* game_name;  // the game name for a custom game, "" for a ladder game
  // Set only by the length-aware reading (modern.h): players are then grouped by
  // side in PlayerTable, each entry carrying its side, and sides counts them.
  bool modern = false;
  int sides = 0;
};

// The decoded start of the first block (of the first blocks, with -modern). Decode
// clears it first; the length-aware reading reads only the part it inflated.
extern unsigned char HeaderBuffer[kHeaderBufferSize];

// Entry 0 is the host, 1 to players-1 the following records in file order. Valid
// until the next Decode.
extern PlayerEntry PlayerTable[kPlayerTableSize];

// Decodes the replay held in bytes[0, length). Never fails: damaged or foreign
// input decodes to empty or odd strings.
void Decode(const unsigned char* bytes, size_t length, DecodeResult* result);

// Decodes as the settings ask: the length-aware reading when ModernReading is on
// and the records fit it, Decode otherwise. The one entry the pass and the
// commands use.
void DecodeReplay(const unsigned char* bytes, size_t length, DecodeResult* result);

// True for a name that is not empty and is neither "Observer" nor "Referee"
// (ASCII case-insensitive).
bool IsRealPlayer(const char* name);

// ASCII-only case-insensitive equality; other bytes compare as they are.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

#endif  // BRINDLECAP_WATCHER_DECODE_H_
