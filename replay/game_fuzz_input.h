// The inputs of the whole-replay reading's fuzz target (game_fuzz.cpp): how one
// becomes a replay file, and the seeds made from a real replay. Shared with the
// seed writer (game_fuzz_seeds.cpp) and the tests, which read every seed through
// both inflaters.
#ifndef BRINDLECAP_REPLAY_GAME_FUZZ_INPUT_H_
#define BRINDLECAP_REPLAY_GAME_FUZZ_INPUT_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<unsigned char> Bytes;

// tools/fuzz-run's -max_len for game_fuzz: no seed is longer.
const size_t kGameFuzzLongestInput = 10000;

// The replay file an input stands for. Its leading byte chooses:
//   bit 0     the rest is the replay file from its first block header on (lying
//             block sizes, damaged and cut streams), or else the inflated data,
//             which is cut into blocks, each a zlib stream of its own, so that
//             mutations reach the record walk instead of the inflaters' error paths
//   bits 1-2  the game version: 26, 10030 (8-byte block headers, observers in team
//             12 and 24), 10032, 10100 (12-byte block headers)
//   bits 3-4  inflated bytes per block: 61, 500, 2048 or 8192
//   bit 5     each block's stream closed by the empty block a flush writes
//   bit 6     the last block padded with zeros to its full size
//   bit 7     the file header announces one block more than there is
// size is at least 1.
void GameFuzzFile(const uint8_t* data, size_t size, Bytes* file);

// The seeds from one real replay file, in the target's two kinds of input: the
// file from its first block header on, its inflated data (which the target cuts
// into blocks again), and its header records followed by the records of the
// game's last seconds, where the leave records are; each cut to the longest input
// the target takes, and led by the switch byte for the replay's own version. None
// for a file shorter than its file header.
std::vector<Bytes> GameFuzzSeeds(const Bytes& file);

#endif  // BRINDLECAP_REPLAY_GAME_FUZZ_INPUT_H_
