// Where the game's replay lies in a file, and what its file header says. Three
// shapes come to a player's disk: the replay header of 1.07 and later (header
// version 1, 0x44 bytes), the oldest one (header version 0, 0x40 bytes, with 16-bit
// version and build numbers), and the NetEase platform's container (".nwg", opening
// with "GRBN"), which holds a compressed block of the platform's own data and then
// the game's replay. Bytes in, values out.
#ifndef BRINDLECAP_REPLAY_FILE_HEADER_H_
#define BRINDLECAP_REPLAY_FILE_HEADER_H_

#include <stddef.h>
#include <stdint.h>

enum {
  // The header of a NetEase container before the platform's data; its u32 at
  // kNetEaseDataSizeAt is how many bytes that data takes, and the replay follows it.
  kNetEaseHeader = 0x80,
  kNetEaseDataSizeAt = 0x0C,
  // The file header before the first block: 0x44 bytes, and 0x40 in header version 0.
  kReplayFileHeader = 0x44,
  kOldestFileHeader = 0x40,
};

enum ReplayHolder {
  kHolderNothing,        // neither a replay nor a container that holds one
  kHolderReplay,         // the file is the replay, from its first byte
  kHolderNetEase,        // a NetEase container, the replay further in
  kHolderNetEaseEmpty,   // a NetEase container with no replay where it says
};

struct ReplaySpan {
  ReplayHolder holder;
  size_t offset;  // where the replay's leading text stands (0 unless in a container)
  size_t length;  // the replay's bytes from there to the file's end
};

// Finds the replay in bytes[0, length). Reads nothing outside them.
ReplaySpan LocateReplay(const unsigned char* bytes, size_t length);

// Why a file gives no replay, in a few words ("not a replay", ...).
const char* ReplayHolderText(ReplayHolder holder);

struct ReplayFileHeader {
  uint32_t header_version;  // as stored: 0 or 1
  bool oldest;              // the 0x40-byte header of version 0 (before 1.07)
  uint32_t declared_size;   // the file's size as the header stores it
  uint32_t blocks;          // the data blocks it announces
  uint32_t game_id;         // 'W3XP' or 'WAR3' read as u32; 0 in the oldest header
  uint32_t version;         // 2 for 1.02 ... 10032 for 1.32, 10100 for 2.0
  uint32_t build;
  uint32_t flags;           // 0x8000 for a multiplayer game
  uint32_t length_ms;       // the game's length
  size_t first_block;       // offset of the first block header
  size_t block_header;      // 12 bytes from version 10032 on, 8 before (and in the oldest)
};

// Reads the file header of the replay in bytes[0, length) (a replay from its
// leading text on, as LocateReplay finds it). False when it is no replay or shorter
// than its file header.
bool ReadReplayFileHeader(const unsigned char* bytes, size_t length, ReplayFileHeader* header);

#endif  // BRINDLECAP_REPLAY_FILE_HEADER_H_
