// Writes the seed corpus of game_fuzz from the real replays beside the repository:
//   game_fuzz_seeds DIR   ->  DIR/game_fuzz/*
// Each replay three times, in the target's two kinds of input: the file from its
// first block header on, its inflated data (which the target cuts into blocks
// again), and its header records followed by the records of the game's last
// seconds, where the leave records are; each cut to the longest input the target
// takes. Seeds lead with the target's switch byte for the replay's own version and
// its second byte for the way the replay lies in its file: the oldest header, in
// a NetEase container, bytes after its last block.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "replay/file_header.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

// tools/fuzz-run's -max_len for game_fuzz.
const size_t kLongestInput = 10000;
// The target's second byte (game_fuzz.cpp).
const unsigned kOldestHeader = 1;
const unsigned kInContainer = 2;
const unsigned kTrailing = 4;
const unsigned kDeclaredShift = 3;

uint32_t Load32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Every block inflated in turn, as far as the replay's declared blocks go.
Bytes Inflated(const Bytes& file, const ReplayFileHeader& header) {
  const bool wide = header.block_header == 12;
  Bytes data;
  uint32_t taken = 0;
  for (size_t at = header.first_block; at + header.block_header <= file.size() &&
                                       (header.blocks == 0 || taken < header.blocks);
       ++taken) {
    const size_t packed = wide ? Load32(file, at) : (file[at] | file[at + 1] << 8);
    const size_t holds = wide ? Load32(file, at + 4) : (file[at + 2] | file[at + 3] << 8);
    at += header.block_header;
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
  const size_t tail = end > start + kLongestInput / 2 ? end - kLongestInput / 2 : start;
  const size_t at = RecordAtOrAfter(data, start, tail, oldest);
  if (at == 0 || at >= end) return Bytes();
  Bytes seed(data.begin(), data.begin() + static_cast<long>(start));
  seed.insert(seed.end(), data.begin() + static_cast<long>(at),
              data.begin() + static_cast<long>(end));
  return seed;
}

bool WriteSeed(const std::string& folder, int number, unsigned switches, unsigned wrapping,
               const Bytes& body) {
  char name[32];
  snprintf(name, sizeof name, "/seed-%03d", number);
  FILE* file = fopen((folder + name).c_str(), "wb");
  if (file == nullptr) return false;
  const unsigned char lead[2] = {static_cast<unsigned char>(switches),
                                 static_cast<unsigned char>(wrapping)};
  const size_t length = std::min(body.size(), kLongestInput - 2);
  const bool ok = fwrite(lead, 1, 2, file) == 2 &&
                  (length == 0 || fwrite(body.data(), 1, length, file) == length);
  return fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: game_fuzz_seeds DIR\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/game_fuzz";
  mkdir(argv[1], 0777);
  mkdir(folder.c_str(), 0777);
  const std::string replays = RealReplayFolder();
  std::vector<std::string> names;
  const std::vector<std::string> files =
      replays.empty() ? std::vector<std::string>() : ListFiles(replays);
  for (const std::string& name : files) {
    const std::string suffix = name.size() > 4 ? name.substr(name.size() - 4) : "";
    if (suffix == ".w3g" || suffix == ".nwg") names.push_back(name);
  }
  int written = 0;
  for (const std::string& name : names) {
    Bytes whole;
    if (!ReadFileBytes(replays + name, &whole)) continue;
    // The replay itself, from its leading text: the target puts it back in its
    // container and adds what followed its blocks.
    const ReplaySpan span = LocateReplay(whole.data(), whole.size());
    ReplayFileHeader header;
    if ((span.holder != kHolderReplay && span.holder != kHolderNetEase) ||
        !ReadReplayFileHeader(whole.data() + span.offset, span.length, &header)) {
      continue;
    }
    const Bytes file(whole.begin() + static_cast<long>(span.offset), whole.end());
    const uint32_t version = header.version;
    const unsigned index = version < 29 ? 0 : version < 10032 ? 1 : version < 10100 ? 2 : 3;
    unsigned wrapping = 0;
    if (header.oldest) wrapping |= kOldestHeader;
    if (span.holder == kHolderNetEase) wrapping |= kInContainer;
    if (header.declared_size < file.size()) wrapping |= kTrailing;
    const unsigned declared = header.blocks < 32 ? header.blocks << kDeclaredShift : 0;
    const Bytes rest(file.begin() + static_cast<long>(header.first_block), file.end());
    // Raw: the file itself. Inflated: blocks of 8192 bytes, each flushed.
    const Bytes data = Inflated(file, header);
    const Bytes last = LastSeconds(data, header.oldest);
    if (!WriteSeed(folder, written++, 1 | index << 1, wrapping | declared, rest) ||
        !WriteSeed(folder, written++, index << 1 | 3 << 3 | 0x20, wrapping, data) ||
        (!last.empty() && !WriteSeed(folder, written++, index << 1 | 1 << 3 | 0x40, wrapping, last))) {
      fprintf(stderr, "game_fuzz_seeds: cannot write into %s\n", folder.c_str());
      return 1;
    }
  }
  printf("game_fuzz_seeds: %d seeds from %zu real replays%s\n", written, names.size(),
         names.empty() ? " (real replays not found beside the repository)" : "");
  return 0;
}
