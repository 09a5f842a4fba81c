// Fuzz target of the whole-replay reading. The leading input byte chooses:
//   bit 0     the rest is the replay file from its first block header on (lying
//             block sizes, damaged and cut streams), or else the inflated data,
//             which the target cuts into blocks, each a zlib stream of its own, so
//             that mutations reach the record walk instead of zlib's error paths
//   bits 1-2  the game version: 26, 10030 (8-byte block headers, observers in team
//             12 and 24), 10032, 10100 (12-byte block headers)
//   bits 3-4  inflated bytes per block: 61, 500, 2048 or 8192
//   bit 5     each block's stream closed by the empty block a flush writes
//   bit 6     the last block padded with zeros to its full size
//   bit 7     the file header announces one block more than there is
// The second byte chooses how the replay lies in the file:
//   bit 0     the oldest file header (version 0: 0x40 bytes, 16-bit version and
//             build, 8-byte block headers; version 2, so observers in team 12)
//   bit 1     inside a NetEase container ("GRBN", the platform's data, the replay)
//   bit 2     bytes after the last block: a signature block, as a platform adds one
//   bits 3-7  with the raw file, the blocks the file header declares (0: none)
// Every input is read twice, into scratches filled differently beforehand: the
// two results must be the same bytes, so nothing read depends on what a scratch
// held. Then the result must hold together (see Check).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "replay/game.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const uint32_t kVersions[] = {26, 10030, 10032, 10100};
const size_t kBlockSizes[] = {61, 500, 2048, 8192};

void Put16(Bytes* out, size_t value) {
  out->push_back(static_cast<unsigned char>(value));
  out->push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes* out, uint32_t value) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// The second byte's bits.
const unsigned kOldestHeader = 1;
const unsigned kInContainer = 2;
const unsigned kTrailing = 4;
const unsigned kDeclaredShift = 3;
const size_t kOldestFileHeader = 0x40;
const uint32_t kOldestVersion = 2;

void FileHeader(Bytes* file, uint32_t version, uint32_t blocks, bool oldest) {
  file->assign(oldest ? kOldestFileHeader : kGameFileHeader, 0);
  memcpy(file->data(), "Warcraft III recorded game\x1A", 27);
  (*file)[0x1C] = static_cast<unsigned char>(file->size());
  (*file)[0x24] = oldest ? 0 : 1;
  for (int k = 0; k < 4; ++k) (*file)[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
  if (oldest) {
    (*file)[0x32] = static_cast<unsigned char>(kOldestVersion);  // u16 version, u16 build
    (*file)[0x34] = 0xB3;
    (*file)[0x35] = 0x11;
    return;
  }
  for (int k = 0; k < 4; ++k) {
    (*file)[0x30 + k] = static_cast<unsigned char>("PX3W"[k]);
    (*file)[0x34 + k] = static_cast<unsigned char>(version >> (8 * k));
  }
}

// The replay's bytes as a NetEase container holds them: its header, the platform's
// data (a zlib stream, padded), then the replay.
void PutInContainer(Bytes* file) {
  Bytes container(0x80, 0);
  memcpy(container.data(), "GRBN", 4);
  container[4] = 2;
  const Bytes data = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0};
  container[0x0C] = static_cast<unsigned char>(data.size());
  container.insert(container.end(), data.begin(), data.end());
  file->insert(file->begin(), container.begin(), container.end());
}

// What a platform may put after the replay's last block.
void AddTrailingBytes(Bytes* file) {
  static const unsigned char kSignature[] = {'N', 'G', 'I', 'S', 0x85, 0x7C, 0x31, 0x30,
                                             0x8D, 0x2F, 0x75, 0x11};
  file->insert(file->end(), kSignature, kSignature + sizeof kSignature);
}

// One block as a zlib stream of stored deflate blocks, flushed and never finished
// as the game leaves its streams; with sync_mark, closed by the empty stored block
// a flush writes. Written by hand: deflating every input again would cost more
// than reading it, and zlib's own compressing is not what is tested here.
Bytes Store(const unsigned char* data, size_t length, bool sync_mark) {
  Bytes packed = {0x78, 0x01};
  for (size_t start = 0; start < length; start += 65535) {
    const size_t part = length - start < 65535 ? length - start : 65535;
    packed.push_back(0x00);  // not the final block, stored
    Put16(&packed, part);
    Put16(&packed, ~part & 0xFFFF);
    packed.insert(packed.end(), data + start, data + start + part);
  }
  if (sync_mark) {
    packed.push_back(0x00);
    Put16(&packed, 0);
    Put16(&packed, 0xFFFF);
  }
  return packed;
}

void BuildReplay(unsigned switches, const uint8_t* data, size_t size, unsigned wrapping,
                 Bytes* file) {
  const bool oldest = (wrapping & kOldestHeader) != 0;
  const uint32_t version = oldest ? kOldestVersion : kVersions[(switches >> 1) & 3];
  const bool wide = version >= 10032;
  const bool announce_more = (switches & 0x80) != 0;
  if (switches & 1) {
    FileHeader(file, version, wrapping >> kDeclaredShift, oldest);
    file->insert(file->end(), data, data + size);
    return;
  }
  const size_t block_size = kBlockSizes[(switches >> 3) & 3];
  const bool sync_mark = (switches & 0x20) != 0;
  const bool pad = (switches & 0x40) != 0;
  Bytes blocks;
  uint32_t count = 0;
  for (size_t start = 0; start < size; start += block_size, ++count) {
    const size_t part = size - start < block_size ? size - start : block_size;
    Bytes block(data + start, data + start + part);
    if (pad) block.resize(block_size, 0);
    const Bytes packed = Store(block.data(), block.size(), sync_mark);
    if (wide) {
      Put32(&blocks, static_cast<uint32_t>(packed.size()));
      Put32(&blocks, static_cast<uint32_t>(block.size()));
    } else {
      Put16(&blocks, packed.size());
      Put16(&blocks, block.size());
    }
    Put32(&blocks, 0);
    blocks.insert(blocks.end(), packed.begin(), packed.end());
  }
  FileHeader(file, version, count + (announce_more ? 1 : 0), oldest);
  file->insert(file->end(), blocks.begin(), blocks.end());
}

// The replay file, then the way it lies in the file the reading is given.
void BuildFile(const uint8_t* data, size_t size, Bytes* file) {
  const unsigned wrapping = data[1];
  BuildReplay(data[0], data + 2, size - 2, wrapping, file);
  if (wrapping & kTrailing) AddTrailingBytes(file);
  if (wrapping & kInContainer) PutInContainer(file);
}

[[noreturn]] void Broken(const char* promise) {
  fprintf(stderr, "game_fuzz: broken promise: %s\n", promise);
  abort();
}

bool Terminated(const char* text, size_t size) { return memchr(text, 0, size) != nullptr; }

void Check(bool readable, const ReplayGame& game) {
  if (readable != game.readable) Broken("the return value is readable");
  if (!Terminated(game.game_name, sizeof game.game_name)) Broken("game name ends");
  if (!Terminated(game.map_path, sizeof game.map_path)) Broken("map path ends");
  if (game.players < 0 || game.players > kGameMaxPlayers) Broken("players in range");
  if (!readable && (game.players != 0 || game.basis != kBasisUnknown)) {
    Broken("an unreadable replay has no players and no result");
  }
  if (game.problem != kGameWhole && game.basis != kBasisUnknown) {
    Broken("a damaged replay has no result");
  }
  if ((game.basis == kBasisUnknown || game.draw) != (game.winning_team < 0)) {
    Broken("a result names a winning team, unknown and draw none");
  }
  int winners = 0;
  bool seen[256] = {};
  for (int i = 0; i < game.players; ++i) {
    const GamePlayer& p = game.player[i];
    if (!Terminated(p.name, sizeof p.name)) Broken("player name ends");
    if (p.id < 0 || p.id > 255 || seen[p.id]) Broken("one player per id");
    seen[p.id] = true;
    if (p.team < 0 || p.team > 255 || p.slot < 0 || p.slot > 255) Broken("team and slot");
    if (p.actions < 0 || p.apm < 0) Broken("actions counted up");
    if (p.active_ms < 0 || p.active_ms > game.game_ms) Broken("active within the game");
    if (p.left_ms < -1 || p.left_ms > game.game_ms) Broken("left within the game");
    if (p.active_ms == 0 && p.apm != 0) Broken("no APM without activity");
    if (p.won) {
      ++winners;
      if (p.observer || p.team != game.winning_team) Broken("winners are the winning team");
    }
  }
  if (game.winning_team >= 0 && winners == 0) Broken("a winning team has players");
}

// Where the replay lies, as the wrapping put it: in a container only when it was
// put in one, and then at the container's offset; the oldest header read as such.
void CheckWrapping(unsigned wrapping, size_t file_size, const ReplayGame& game) {
  const bool contained = (wrapping & kInContainer) != 0;
  if (game.in_container != contained) Broken("a container is found exactly when there is one");
  if (game.replay_offset != (contained ? 0x80 + 12u : 0u)) Broken("the replay's offset");
  if ((wrapping & kOldestHeader) != 0 &&
      (game.header_version != 0 || game.version != kOldestVersion || game.expansion)) {
    Broken("the oldest file header read as such");
  }
  if (game.trailing_bytes > file_size) Broken("trailing bytes within the file");
  if (game.problem != kGameWhole && game.trailing_bytes != 0) {
    Broken("trailing bytes only after a whole replay");
  }
}

// The same reading with the container and the trailing bytes taken away: where
// the replay lies may change nothing else.
void CheckSameAsBare(const uint8_t* data, size_t size, const ReplayGame& wrapped,
                     GameReadScratch* scratch) {
  Bytes bare;
  BuildReplay(data[0], data + 2, size - 2, data[1] & kOldestHeader, &bare);
  unsigned char* bytes = static_cast<unsigned char*>(malloc(bare.size()));
  memcpy(bytes, bare.data(), bare.size());
  ReplayGame alone;
  ReadReplayGame(bytes, bare.size(), scratch, &alone);
  free(bytes);
  ReplayGame moved;
  memcpy(static_cast<void*>(&moved), &wrapped, sizeof moved);  // padding and all
  moved.in_container = false;
  moved.replay_offset = 0;
  moved.trailing_bytes = 0;
  if (memcmp(&moved, &alone, sizeof moved) != 0) {
    Broken("a container or bytes after the last block change the reading");
  }
  if ((data[1] & kTrailing) != 0 && wrapped.problem == kGameWhole && alone.blocks_declared > 0 &&
      wrapped.trailing_bytes == 0) {
    Broken("bytes after the last declared block are counted");
  }
}

GameReadScratch* NewScratch(unsigned char fill) {
  GameReadScratch* scratch = static_cast<GameReadScratch*>(malloc(sizeof(GameReadScratch)));
  if (scratch == nullptr) abort();
  memset(static_cast<void*>(scratch), fill, sizeof *scratch);
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static GameReadScratch* first = NewScratch(0x00);
  static GameReadScratch* second = NewScratch(0xA5);
  Bytes file;
  BuildFile(data, size, &file);
  // An exactly sized copy, so that AddressSanitizer sees any byte read past the file.
  unsigned char* bytes = static_cast<unsigned char*>(malloc(file.size()));
  memcpy(bytes, file.data(), file.size());
  ReplayGame one;
  ReplayGame two;
  const bool readable = ReadReplayGame(bytes, file.size(), first, &one);
  // The second scratch is left as the last input left it, the first wiped anew.
  memset(static_cast<void*>(first), static_cast<int>(size & 0xFF), sizeof *first);
  ReadReplayGame(bytes, file.size(), second, &two);
  free(bytes);
  if (memcmp(&one, &two, sizeof one) != 0) {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(&one);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&two);
    size_t at = 0;
    while (a[at] == b[at]) ++at;
    fprintf(stderr, "game_fuzz: the results differ from byte %zu of %zu on\n", at, sizeof one);
    Broken("the result depends on the scratch's bytes");
  }
  Check(readable, one);
  CheckWrapping(data[1], file.size(), one);
  // The inflated data's blocks are whole and as many as declared: what follows
  // them is the platform's (with a block more announced, the reading looks there;
  // with none declared, the file's end is the replay's).
  const bool declared_exactly = (data[0] & 1) == 0 && (data[0] & 0x80) == 0 && size > 2;
  if ((data[1] & (kInContainer | kTrailing)) != 0 && declared_exactly) {
    CheckSameAsBare(data, size, one, first);
  }
  return 0;
}
