// Builds synthetic replay files for tests: lays out the header records the watcher
// walks, deflates them with zlib behind a 68-byte file header and an 8-byte block
// header, and pads the file. The Modern* builders lay out every record the
// length-aware reading walks, down to the slot table, in blocks of either layout.
#ifndef BRINDLECAP_TESTS_REPLAY_BUILDER_H_
#define BRINDLECAP_TESTS_REPLAY_BUILDER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "replay/file_header.h"

typedef std::vector<unsigned char> Bytes;

struct SyntheticPlayer {
  std::string name;
  unsigned char race;  // the whole race byte; the watcher keeps the low four bits
};

struct SyntheticReplay {
  // The host is the first player of a ladder game and the only record of a custom one.
  SyntheticPlayer host = {"Host", 0x01};
  bool ladder = true;
  std::string game_name = "BNet";  // for a custom game, any name
  // Encoded settings string; it must carry no NUL in its first 14 bytes for the
  // fixed distances to land inside it.
  std::string settings = "\x01\x03\x49\x07\x01\x01\x91\x01\x15\x0b\x69\x01\x1d\x0b\x9d\x33";
  signed char count = 2;     // player count byte
  signed char game_type = 9; // 1 marks a free-for-all
  std::vector<SyntheticPlayer> others = {{"Guest", 0x08}};
  size_t file_length = 8192;  // padded with zeros up to this length
};

// Encodes settings the way the game stores them: blocks of a mask byte and up to
// seven bytes, each odd byte as it is with its mask bit set, each even one plus
// one; so the result holds no NUL.
std::string EncodeSettings(const Bytes& decoded);

// An encoded settings string that holds map_path: 9 bytes of game settings, a
// checksum, the path, its NUL, the creator's name and an empty string.
std::string MapSettings(const std::string& map_path);

// Puts the game's length (milliseconds) into a built file's header.
void SetGameLength(Bytes* file, uint32_t milliseconds);

// The decoded header bytes, as the watcher finds them after inflating.
Bytes BuildHeader(const SyntheticReplay& replay);

// A whole replay file whose first block inflates to the given header bytes.
Bytes WrapHeader(const Bytes& header, size_t file_length);

// BuildHeader and WrapHeader in one.
Bytes BuildReplay(const SyntheticReplay& replay);

// A ladder replay of the given players, host first; game type 9 unless ffa.
SyntheticReplay LadderReplay(const std::vector<SyntheticPlayer>& players, bool ffa = false);

// A custom game with the given game name.
SyntheticReplay CustomReplay(const std::string& game_name);

// Players of a ladder game who write their names in other alphabets, in UTF-8 as
// the game does: "Розовый" (human) and "안녕" (undead), then orcs "A", "B", ... up
// to count players in all.
std::vector<SyntheticPlayer> OtherAlphabetPlayers(int count);

// One slot of a modern header, in slot-table order, and the player record of its
// player id (the slot's index + 1), if it has one.
struct SyntheticSeat {
  std::string name;
  unsigned char race;  // the slot's race flags
  unsigned char team;
  bool computer = false;    // a computer's slot: player id 0, computer flag, no record
  bool record = true;       // a human without a player record when false
  unsigned char status = 2; // 2 = used
};

// A metadata record of the current game: kind (0x38 or 0x39), subtype, data.
struct SyntheticMetadata {
  unsigned char kind;
  unsigned char subtype;
  Bytes data;
};

struct SyntheticModernReplay {
  uint32_t version = 10100;  // at file offset 0x34; 12-byte block headers from 10032
  std::vector<SyntheticSeat> seats;  // seats[0] is the host, whose record leads
  // Order of the player records after the host's, as indices into seats; empty
  // for slot order.
  std::vector<size_t> record_order;
  Bytes host_extra = {0, 0};    // the host record's extra data; its length byte is its size
  Bytes player_extra = {0, 0};  // the same for every player record
  std::string game_name = "BNet";
  std::string password;  // the second string after the game name
  std::string settings = "\x01\x03\x49\x07\x01\x01\x91\x01\x15\x0b\x69\x01\x1d\x0b\x9d\x33";
  std::vector<SyntheticMetadata> metadata;
  bool slot_table = true;
  // A slot table with no slots (count 0, the seed and two bytes), as a 1.18 ladder
  // game has: each seat's race then goes into its record's extra data (at byte 4 of
  // 8, as a classic ladder record carries it).
  bool empty_slot_table = false;
  // The oldest file header (header version 0, 0x40 bytes, u16 version and build at
  // 0x32 and 0x34), as replays before 1.07 have; version is then the u16 one.
  bool oldest_header = false;
  int slot_count = -1;    // the count byte written; -1 for the number of seats
  int table_length = -1;  // the u16 length written; -1 for the true one
  size_t slot_size = 9;
  uint32_t random_seed = 0x12345678;  // after the slots
  size_t block_size = 8192;   // inflated bytes per data block, the last one padded
  size_t file_length = 8192;  // the file is padded with zeros up to this length
};

// The inflated header records of a modern replay.
Bytes BuildModernHeader(const SyntheticModernReplay& replay);

// A replay file of the given version whose data blocks (block_size inflated bytes
// each, zlib streams of their own, flushed but not finished as the game writes
// them) inflate to header followed by zeros; with oldest, behind the oldest file
// header.
Bytes WrapModernHeader(const Bytes& header, uint32_t version, size_t block_size,
                       size_t file_length, bool oldest = false);

// BuildModernHeader and WrapModernHeader in one.
Bytes BuildModernReplay(const SyntheticModernReplay& replay);

// The replay file as the game writes it, with no padding after its blocks and the
// file header's declared size (0x20) and block count (0x2C) filled in: whole by its
// lengths, and as short as such a game's replay really is.
Bytes BuildWholeModernReplay(const SyntheticModernReplay& replay);

// A NetEase container ("GRBN") holding replay: its 0x80-byte header, a zlib stream
// of platform data padded to platform_size bytes (at least 16), then the replay.
// The data a replay's declared blocks inflate to (with zlib's one-call inflate,
// block by block), at most limit bytes of it: replay is the replay from its leading
// text on, header what its file header says.
Bytes InflatedBlocks(const Bytes& replay, const ReplayFileHeader& header,
                     size_t limit = static_cast<size_t>(-1));

Bytes InNetEaseContainer(const Bytes& replay, size_t platform_size = 512);

// The bytes a platform may put after a replay's last block: a signature block
// ("NGIS" and 128 bytes, as a ladder server's) or, not a signature, a zlib stream
// of its own data after a zero byte (as the NetEase platform's).
Bytes SignatureTail();
Bytes PlatformDataTail();

// A game of the given seats (the host first) with every other field as defaulted.
SyntheticModernReplay ModernGame(const std::vector<SyntheticSeat>& seats,
                                 uint32_t version = 10100);

#endif  // BRINDLECAP_TESTS_REPLAY_BUILDER_H_
