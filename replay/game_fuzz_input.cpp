#include "replay/game_fuzz_input.h"

#include <string.h>
#include <zlib.h>

#include <algorithm>

#include "replay/game.h"

namespace {

const size_t kFileHeader = kGameFileHeader;

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

}  // namespace

void GameFuzzFile(const uint8_t* data, size_t size, Bytes* file) {
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

namespace {

uint32_t Load32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Every block inflated in turn, as far as the file's blocks go.
Bytes Inflated(const Bytes& file, bool wide) {
  Bytes data;
  for (size_t at = kFileHeader; at + (wide ? 12 : 8) <= file.size();) {
    const size_t packed = wide ? Load32(file, at) : (file[at] | file[at + 1] << 8);
    const size_t holds = wide ? Load32(file, at + 4) : (file[at + 2] | file[at + 3] << 8);
    at += wide ? 12 : 8;
    if (packed > file.size() - at) break;
    Bytes block(holds);
    uLongf length = block.size();
    uncompress(block.data(), &length, file.data() + at, static_cast<uLong>(packed));
    data.insert(data.end(), block.begin(), block.begin() + static_cast<long>(length));
    at += packed;
  }
  return data;
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
// comes first.
size_t RecordAtOrAfter(const Bytes& d, size_t start, size_t from) {
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
        at += 4 + (d[at + 2] | d[at + 3] << 8);
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
Bytes LastSeconds(const Bytes& data) {
  const size_t start = GameRecordsStart(data);
  if (start == 0) return Bytes();
  size_t end = data.size();
  while (end > start && data[end - 1] == 0) --end;  // the last block's padding
  const size_t half = kGameFuzzLongestInput / 2;
  const size_t tail = end > start + half ? end - half : start;
  const size_t at = RecordAtOrAfter(data, start, tail);
  if (at == 0 || at >= end) return Bytes();
  Bytes seed(data.begin(), data.begin() + static_cast<long>(start));
  seed.insert(seed.end(), data.begin() + static_cast<long>(at),
              data.begin() + static_cast<long>(end));
  return seed;
}

// The switch byte, then as much of body as the target takes.
Bytes Seed(unsigned switches, const Bytes& body) {
  const size_t length = std::min(body.size(), kGameFuzzLongestInput - 1);
  Bytes seed(1 + length);
  seed[0] = static_cast<unsigned char>(switches);
  if (length > 0) memcpy(seed.data() + 1, body.data(), length);
  return seed;
}

}  // namespace

std::vector<Bytes> GameFuzzSeeds(const Bytes& file) {
  std::vector<Bytes> seeds;
  if (file.size() < kFileHeader) return seeds;
  const uint32_t version = Load32(file, 0x34);
  const unsigned index = version < 29 ? 0 : version < 10032 ? 1 : version < 10100 ? 2 : 3;
  const Bytes rest(file.begin() + kFileHeader, file.end());
  // Raw: the file itself. Inflated: blocks of 8192 bytes, each flushed.
  const Bytes data = Inflated(file, version >= 10032);
  const Bytes last = LastSeconds(data);
  seeds.push_back(Seed(1 | index << 1, rest));
  seeds.push_back(Seed(index << 1 | 3 << 3 | 0x20, data));
  if (!last.empty()) seeds.push_back(Seed(index << 1 | 1 << 3 | 0x40, last));
  return seeds;
}
