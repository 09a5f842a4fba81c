#include "replay/game_fuzz_input.h"

#include <string.h>
#include <zlib.h>

#include <algorithm>

#include "replay/file_header.h"
#include "replay/game.h"
#include "tests/replay_builder.h"

namespace {

const size_t kOldestFileHeader = 0x40;

const uint32_t kVersions[] = {26, 10030, 10032, 10100};
const size_t kBlockSizes[] = {61, 500, 2048, 8192};

void Put16(Bytes* out, size_t value) {
  out->push_back(static_cast<unsigned char>(value));
  out->push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes* out, uint32_t value) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(value >> (8 * k)));
}

void FileHeader(Bytes* file, uint32_t version, uint32_t blocks, bool oldest) {
  file->assign(oldest ? kOldestFileHeader : size_t{kGameFileHeader}, 0);
  memcpy(file->data(), "Warcraft III recorded game\x1A", 27);
  (*file)[0x1C] = static_cast<unsigned char>(file->size());
  (*file)[0x24] = oldest ? 0 : 1;
  for (int k = 0; k < 4; ++k) (*file)[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
  if (oldest) {
    (*file)[0x32] = static_cast<unsigned char>(kGameFuzzOldestVersion);  // u16 version, u16 build
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

}  // namespace

void GameFuzzReplay(unsigned switches, const uint8_t* data, size_t size, unsigned wrapping,
                    Bytes* file) {
  const bool oldest = (wrapping & kGameFuzzOldestHeader) != 0;
  const uint32_t version = oldest ? kGameFuzzOldestVersion : kVersions[(switches >> 1) & 3];
  const bool wide = version >= 10032;
  const bool announce_more = (switches & 0x80) != 0;
  if (switches & 1) {
    FileHeader(file, version, wrapping >> kGameFuzzDeclaredShift, oldest);
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

void GameFuzzFile(const uint8_t* data, size_t size, Bytes* file) {
  const unsigned wrapping = data[1];
  GameFuzzReplay(data[0], data + 2, size - 2, wrapping, file);
  if (wrapping & kGameFuzzTrailing) AddTrailingBytes(file);
  if (wrapping & kGameFuzzInContainer) PutInContainer(file);
}

namespace {

uint32_t Load32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Where the records after the slot table start in data, or 0 when they cannot be
// found; the header records are walked as the game lays them out.
size_t GameRecordsStart(const Bytes& d) {
  size_t at = 4 + 2;  // leading field, host record kind and id
  const auto skip_string = [&d, &at]() {
    while (at < d.size() && d[at] != 0) ++at;
    return ++at <= d.size();
  };
  if (!skip_string() || at >= d.size()) return 0;
  at += 1 + d[at];  // the host's extra data
  for (int i = 0; i < 3; ++i) {
    if (!skip_string()) return 0;  // game name, password, settings
  }
  at += 12;
  while (at + 2 < d.size() && d[at] == 0x16) {
    at += 2;
    if (!skip_string() || at >= d.size()) return 0;
    at += 1 + d[at] + 4;
  }
  while (at + 6 <= d.size() && (d[at] == 0x38 || d[at] == 0x39)) at += 6 + Load32(d, at + 2);
  if (at + 3 > d.size() || d[at] != 0x19) return 0;
  return at + 3 + (d[at + 1] | d[at + 2] << 8);
}

// The offset of the first record that starts at or after from, walking the
// records from start; 0 when a record of unknown size, or the data's end,
// comes first. Before 1.07 the record 0x20 is a checksum, not chat.
size_t RecordAtOrAfter(const Bytes& d, size_t start, size_t from, bool oldest) {
  size_t at = start;
  while (at < from && at + 4 <= d.size()) {
    switch (d[at]) {
      case 0x1A: case 0x1B: case 0x1C:
        at += 5;
        break;
      case 0x1E: case 0x1F:
        at += 3 + (d[at + 1] | d[at + 2] << 8);
        break;
      case 0x17:
        at += 14;
        break;
      case 0x20:
        at += oldest ? 2 + d[at + 1] : 4 + (d[at + 2] | d[at + 3] << 8);
        break;
      case 0x22:
        at += 2 + d[at + 1];
        break;
      case 0x23:
        at += 11;
        break;
      case 0x2F:
        at += 9;
        break;
      default:
        return 0;
    }
  }
  return at < from ? 0 : at;
}

// The header records and the game's last records, about half the input's room.
Bytes LastSeconds(const Bytes& data, bool oldest) {
  const size_t start = GameRecordsStart(data);
  if (start == 0) return Bytes();
  size_t end = data.size();
  while (end > start && data[end - 1] == 0) --end;  // the last block's padding
  const size_t half = kGameFuzzLongestInput / 2;
  const size_t tail = end > start + half ? end - half : start;
  const size_t at = RecordAtOrAfter(data, start, tail, oldest);
  if (at == 0 || at >= end) return Bytes();
  Bytes seed(data.begin(), data.begin() + static_cast<long>(start));
  seed.insert(seed.end(), data.begin() + static_cast<long>(at),
              data.begin() + static_cast<long>(end));
  return seed;
}

// The two leading bytes, then as much of body as the target takes.
Bytes Seed(unsigned switches, unsigned wrapping, const Bytes& body) {
  const size_t length = std::min(body.size(), kGameFuzzLongestInput - 2);
  Bytes seed(2 + length);
  seed[0] = static_cast<unsigned char>(switches);
  seed[1] = static_cast<unsigned char>(wrapping);
  if (length > 0) memcpy(seed.data() + 2, body.data(), length);
  return seed;
}

}  // namespace

std::vector<Bytes> GameFuzzSeeds(const Bytes& whole) {
  std::vector<Bytes> seeds;
  // The replay itself, from its leading text: the target puts it back in its
  // container and adds what followed its blocks.
  const ReplaySpan span = LocateReplay(whole.data(), whole.size());
  ReplayFileHeader header;
  if ((span.holder != kHolderReplay && span.holder != kHolderNetEase) ||
      !ReadReplayFileHeader(whole.data() + span.offset, span.length, &header)) {
    return seeds;
  }
  const Bytes file(whole.begin() + static_cast<long>(span.offset), whole.end());
  const uint32_t version = header.version;
  const unsigned index = version < 29 ? 0 : version < 10032 ? 1 : version < 10100 ? 2 : 3;
  unsigned wrapping = 0;
  if (header.oldest) wrapping |= kGameFuzzOldestHeader;
  if (span.holder == kHolderNetEase) wrapping |= kGameFuzzInContainer;
  if (header.declared_size < file.size()) wrapping |= kGameFuzzTrailing;
  const unsigned declared = header.blocks < 32 ? header.blocks << kGameFuzzDeclaredShift : 0;
  const Bytes rest(file.begin() + static_cast<long>(header.first_block), file.end());
  // Raw: the file itself. Inflated: blocks of 8192 bytes, each flushed.
  const Bytes data = InflatedBlocks(file, header);
  const Bytes last = LastSeconds(data, header.oldest);
  seeds.push_back(Seed(1 | index << 1, wrapping | declared, rest));
  seeds.push_back(Seed(index << 1 | 3 << 3 | 0x20, wrapping, data));
  if (!last.empty()) seeds.push_back(Seed(index << 1 | 1 << 3 | 0x40, wrapping, last));
  return seeds;
}
