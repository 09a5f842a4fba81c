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
  // The game's length in milliseconds: a u32 in the file header.
  kGameLengthOffset = 0x3C,
  // The decoded settings string opens with 9 bytes of game settings and a u32
  // checksum; the map path follows.
  kSettingsBeforeMap = 13,
  kMapPathSize = 1024,
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
  // The map's path as the encoded settings string stores it ("Maps/(2)Amazonia.w3x"),
  // in MapPath; "" when it cannot be read.
  const char* map_path = "";
  // The game's length in milliseconds, from the file header; -1 when the file is
  // too short to hold it.
  long long length_ms = -1;
  // Where the map path was read from: the settings string at HeaderBuffer offset
  // settings (-1 when none was found), decoded no further than the first inflated
  // bytes of HeaderBuffer.
  long settings = -1;
  size_t inflated = 0;
};

// The decoded start of the first block (of the first blocks, with -modern). Decode
// clears it first; the length-aware reading reads only the part it inflated.
extern unsigned char HeaderBuffer[kHeaderBufferSize];

// Entry 0 is the host, 1 to players-1 the following records in file order. Valid
// until the next Decode.
extern PlayerEntry PlayerTable[kPlayerTableSize];

// The map path of the latest decode; DecodeResult::map_path points here or at "".
extern char MapPath[kMapPathSize];

// Decodes the encoded settings string that starts at data[start] (blocks of eight
// bytes: a mask byte, then seven bytes, each one less than stored unless its mask
// bit is set) and copies the map path it holds into out. Reads nothing outside
// data[start, length). Returns the path's length, or -1 when the string ends, or
// the data does, before the path's NUL, or the path does not fit out_size.
long DecodeMapPath(const unsigned char* data, size_t length, size_t start, char* out,
                   size_t out_size);

// Fills result's map_path (into MapPath), settings and inflated from the settings
// string at data[settings, inflated), and length_ms from the file's header. Both
// readings end with it.
void ReadMapAndLength(const unsigned char* bytes, size_t length, long settings,
                      size_t inflated, DecodeResult* result);

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
