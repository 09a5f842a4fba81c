// The length-aware reading of a replay header ("-modern"): it finds the first data
// block from the game version, inflates it (and further blocks) until the records
// are complete, and walks every record by the lengths it stores, down to the slot
// table, where the teams and races are. It serves every game version,
// the current game's 12-byte block headers and growing metadata records included.
#ifndef BRINDLECAP_REPLAY_MODERN_H_
#define BRINDLECAP_REPLAY_MODERN_H_

#include <stddef.h>
#include <stdint.h>

#include "replay/decode.h"

enum {
  kModernFileHeader = 68,       // the file header before the first block
  kModernVersionOffset = 0x34,  // u32 game version inside it
  // From this version on a block header is 12 bytes (u32 packed size, u32
  // inflated size, u32 checksum); before it 8 (u16, u16, u32).
  kModernWideBlocks = 10032,
  // Observers sit in team 24, or in team 12 in files older than version 29.
  kModernObserverTeam = 24,
  kModernOldObserverTeam = 12,
  kModernOldObserverBelow = 29,
};

enum ModernVerdict {
  kModernComplete,   // every record up to the slot table was read
  kModernNeedsMore,  // a record runs past the data given; more data may complete it
  kModernBroken,     // the records cannot be read this way (no slot table, slots that
                     // do not fit it)
};

// One player as the slot table and the player records give it.
struct ModernSeat {
  size_t name;  // offset of the NUL-terminated name in the walked data
  int race;     // the slot's race flags & 0x0F
  int side;     // 0 for the side named first, 1 for the next, ...
};

// What the walk found, as offsets into the data it walked, so that the same walk
// can run over any copy of that data.
struct ModernHeader {
  size_t inflated;   // bytes of the scratch the blocks filled (ReadModernHeader)
  int observer_team;
  size_t game_name;  // offset of the game name
  size_t settings;   // offset of the encoded settings string, which holds the map path
  int players;       // at most kPlayerTableSize, in naming order: by side, then record order
  int sides;
  ModernSeat seat[kPlayerTableSize];
};

// Walks data[0, length) with the given observer team; reads nothing outside it.
// Fills header's game_name, settings, players, sides and seats when complete. An
// empty slot table (no slots, nothing but the seed and two bytes) makes each player
// record a player, a side of its own, with the race a classic ladder record carries.
ModernVerdict WalkModernHeader(const unsigned char* data, size_t length, int observer_team,
                               ModernHeader* header);

// Inflates the replay's blocks into the scratch, in steps, only while the walk
// needs more, and walks them (either file header, never past the declared blocks).
// The result is the verdict of the last walk; header->inflated tells how much of
// the scratch it walked. kModernBroken also for a file without the leading text or
// the first block.
ModernVerdict ReadModernHeader(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
                               ModernHeader* header);

// The length-aware reading into a decode result (modern set, players and sides by
// team), of a replay file or of the replay a NetEase container holds. Returns false, with the result not filled, when the records do not fit.
bool DecodeModern(const unsigned char* bytes, size_t length, DecodeScratch* scratch,
                  DecodeResult* result);

// True when the file (or the replay a NetEase container holds) is whole by the
// lengths it stores: the leading text, a file header whose declared file size lies
// within the file, and exactly the declared number of blocks, each block header's
// packed size leading to the next and the last ending at the declared size (block
// headers of 12 bytes from version 10032 on, of 8 before and in the oldest header);
// what follows that in the file is a platform's, not the replay's. A real game's
// replay can be short (a game left at once); a file cut while written, or padded,
// is not whole. Reads nothing outside bytes[0, length).
bool ReadsWholeByLengths(const unsigned char* bytes, size_t length);

#endif  // BRINDLECAP_REPLAY_MODERN_H_
