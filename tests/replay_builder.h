// Builds synthetic replay files for tests: lays out the header records the watcher
// walks, deflates them with zlib behind a 68-byte file header and an 8-byte block
// header, and pads the file.
#ifndef BRINDLECAP_TESTS_REPLAY_BUILDER_H_
#define BRINDLECAP_TESTS_REPLAY_BUILDER_H_

#include <stddef.h>

#include <string>
#include <vector>

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

#endif  // BRINDLECAP_TESTS_REPLAY_BUILDER_H_
