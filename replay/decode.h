// Replay header decoding: inflates the start of the first data block and walks the
// host record, the game name and the player records by their fixed distances, or
// (the length-aware reading, modern.h) by the lengths the records store. Bytes in,
// a value out: the caller owns the result and the scratch memory a decode works in.
#ifndef BRINDLECAP_REPLAY_DECODE_H_
#define BRINDLECAP_REPLAY_DECODE_H_

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
  // A player's or the game's name as kept; longer ones are cut. Names are cut far
  // shorter than this on their way into a file name.
  kNameSize = 1024,
};

// Which reading a decode follows: the fixed distances of the classic ladder
// replays, or ("-modern") the lengths every record stores.
enum HeaderReading {
  kFixedReading,
  kLengthReading,
};

struct PlayerEntry {
  char name[kNameSize];  // "" when none was read
  int race;              // race bits 0 to 15
  int side;              // the length-aware reading only: which side the player is on
};

struct DecodeResult {
  bool ladder;            // game name reads "BNet"
  bool ffa;               // ladder, game type 1 and more than two players
  int players;            // N as read (negative possible), limited to kPlayerTableSize
  char game_name[kNameSize];  // the game name for a custom game, "" for a ladder game
  // Set only by the length-aware reading (modern.h): players are then grouped by
  // side in player, each entry carrying its side, and sides counts them.
  bool modern = false;
  int sides = 0;
  // Set whenever the length-aware reading was asked for ("-modern"), whichever
  // reading gave the result: the game name then keeps the letters and digits of
  // every alphabet, as player names keep theirs.
  bool any_alphabet = false;
  // The map's path as the encoded settings string stores it ("Maps/(2)Amazonia.w3x");
  // "" when it cannot be read.
  char map_path[kMapPathSize];
  // The game's length in milliseconds, from the file header; -1 when the file is
  // too short to hold it.
  long long length_ms = -1;
  // Where the map path was read from: the settings string at scratch offset
  // settings (-1 when none was found), decoded no further than the first inflated
  // bytes of the scratch.
  long settings = -1;
  size_t inflated = 0;
  // The fixed reading: entry 0 is the host, 1 to players-1 the following records
  // in file order. The length-aware reading: by side, then record order.
  PlayerEntry player[kPlayerTableSize];
};

// What a decode inflates into and walks: the decoded start of the first block (of
// the first blocks, with the length-aware reading). Its owner hands it in; after a
// decode it holds what the result's settings and inflated refer to.
struct DecodeScratch {
  unsigned char data[kHeaderBufferSize];
};

// Decodes the encoded settings string that starts at data[start] (blocks of eight
// bytes: a mask byte, then seven bytes, each one less than stored unless its mask
// bit is set) and copies the map path it holds into out. Reads nothing outside
// data[start, length). Returns the path's length, or -1 when the string ends, or
// the data does, before the path's NUL, or the path does not fit out_size.
long DecodeMapPath(const unsigned char* data, size_t length, size_t start, char* out,
                   size_t out_size);

// Fills result's map_path, settings and inflated from the settings string at
// data[settings, inflated), and length_ms from the file's header. Both readings
// end with it.
void ReadMapAndLength(const unsigned char* bytes, size_t length, const unsigned char* data,
                      long settings, size_t inflated, DecodeResult* result);

// Empties result: no players, no names, no map, length unknown.
void ClearDecodeResult(DecodeResult* result);

// Decodes the replay held in bytes[0, length) by the fixed distances. Never
// fails: damaged or foreign input decodes to empty or odd strings.
void Decode(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
            DecodeResult* result);

// Decodes as reading asks: the length-aware reading when asked for and the
// records fit it, Decode otherwise, so that it never names a replay worse than
// the default does. The length-aware reading also finds the replay inside a
// NetEase container (replay/file_header.h) and reads that, with either reading.
// The one entry the pass and the commands use.
void DecodeReplay(const unsigned char* bytes, size_t length, HeaderReading reading,
                  DecodeScratch* scratch, DecodeResult* result);

// True when bytes open as every replay file does: "Warcraft III recorded game"
// and the byte 0x1A.
bool StartsAsReplay(const unsigned char* bytes, size_t length);

// True when bytes hold a replay: they open as one, or are a NetEase container
// with one where it says.
bool HoldsReplay(const unsigned char* bytes, size_t length);

// True for a name that is not empty and is neither "Observer" nor "Referee"
// (ASCII case-insensitive).
bool IsRealPlayer(const char* name);

#endif  // BRINDLECAP_REPLAY_DECODE_H_
