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

void FileHeader(Bytes* file, uint32_t version, uint32_t blocks) {
  file->assign(kGameFileHeader, 0);
  memcpy(file->data(), "Warcraft III recorded game\x1A", 27);
  (*file)[0x1C] = kGameFileHeader;
  (*file)[0x24] = 1;
  for (int k = 0; k < 4; ++k) {
    (*file)[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
    (*file)[0x30 + k] = static_cast<unsigned char>("PX3W"[k]);
    (*file)[0x34 + k] = static_cast<unsigned char>(version >> (8 * k));
  }
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

void BuildFile(const uint8_t* data, size_t size, Bytes* file) {
  const unsigned switches = data[0];
  ++data;
  --size;
  const uint32_t version = kVersions[(switches >> 1) & 3];
  const bool wide = version >= 10032;
  const bool announce_more = (switches & 0x80) != 0;
  if (switches & 1) {
    FileHeader(file, version, 0);
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
  FileHeader(file, version, count + (announce_more ? 1 : 0));
  file->insert(file->end(), blocks.begin(), blocks.end());
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

GameReadScratch* NewScratch(unsigned char fill) {
  GameReadScratch* scratch = static_cast<GameReadScratch*>(malloc(sizeof(GameReadScratch)));
  if (scratch == nullptr) abort();
  memset(static_cast<void*>(scratch), fill, sizeof *scratch);
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
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
  return 0;
}
