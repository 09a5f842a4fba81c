// Writes the seed corpora of the three fuzz targets:
//   fuzz_seeds DIR    ->  DIR/replay_fuzz/*, DIR/header_fuzz/*, DIR/modern_fuzz/*
// from synthetic replays (every shape the naming rules tell apart, classic and
// modern) and from the real replays in tests/replays.
// Each seed carries the targets' leading switch byte.
#include <stdio.h>
#include <sys/stat.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/fuzz_support.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "replay/decode.h"
#include "replay/file_header.h"
#include "replay/modern.h"

namespace {

// What decoding reads of a replay file: the stream's first 1024 bytes at offset 76.
const size_t kReadPart = kStreamOffset + kStreamInput;
// The longest input the modern target takes (tools/fuzz-run's -max_len).
const size_t kModernInput = 10000;

int written = 0;

bool WriteSeed(const std::string& folder, unsigned switches, const Bytes& bytes, size_t limit) {
  char name[32];
  snprintf(name, sizeof name, "seed-%04d", written++);
  FILE* file = fopen((folder + "/" + name).c_str(), "wb");
  if (file == nullptr) return false;
  const size_t length = bytes.size() < limit - 1 ? bytes.size() : limit - 1;
  const unsigned char first = static_cast<unsigned char>(switches);
  // The last byte picks one of the targets' fixed name templates, in turn.
  const unsigned char last = static_cast<unsigned char>(written % 12);
  bool ok = fwrite(&first, 1, 1, file) == 1 &&
            (length == 0 || fwrite(bytes.data(), 1, length, file) == length) &&
            fwrite(&last, 1, 1, file) == 1;
  return fclose(file) == 0 && ok;
}

// A replay file and its inflated header, each under a few settings.
bool WriteBoth(const std::string& dir, const Bytes& file, const Bytes& header) {
  static const unsigned kSwitches[] = {0, kFuzzCustom, kFuzzCustom | kFuzzNoDate,
                                       kFuzzCustom | (3u << kFuzzFolderShift),
                                       kFuzzCustom | kFuzzNoDate | (6u << kFuzzFolderShift)};
  static unsigned turn = 0;
  unsigned switches = kSwitches[turn++ % (sizeof kSwitches / sizeof kSwitches[0])];
  return WriteSeed(dir + "/replay_fuzz", switches, file, kReadPart) &&
         WriteSeed(dir + "/header_fuzz", switches, header, 4096);
}

// The modern target's version bits for a file of this version: the same block
// layout and the same observer team.
unsigned ModernVersionBits(uint32_t version) {
  unsigned index = 0;
  if (version >= 29) index = 1;
  if (version >= 10032) index = 2;
  if (version >= 10100) index = 3;
  return index << kFuzzModernVersionShift;
}

// A replay file as the modern target's raw input: the file from its first block
// header on; the target writes the file header for the version bits.
bool WriteModernRaw(const std::string& dir, unsigned switches, const Bytes& file,
                    uint32_t version) {
  if (file.size() < kModernFileHeader) return true;
  const Bytes rest(file.begin() + kModernFileHeader, file.end());
  return WriteSeed(dir + "/modern_fuzz", switches | kFuzzModernRaw | ModernVersionBits(version),
                   rest, kModernInput - 1);
}

// A modern header as the modern target's header input, in blocks of the chosen
// size (an index into kFuzzModernBlockSizes), the last one padded or not.
bool WriteModernHeader(const std::string& dir, unsigned switches, const Bytes& header,
                       uint32_t version, unsigned blocks) {
  Bytes input(1, static_cast<unsigned char>(blocks));
  input.insert(input.end(), header.begin(), header.end());
  return WriteSeed(dir + "/modern_fuzz", switches | ModernVersionBits(version), input,
                   kModernInput - 1);
}

// A real replay that lies otherwise than the classic ones (the oldest header, a
// NetEase container, bytes after its blocks) as the modern target's header input,
// with the second byte's bits that lay it out so again. False when it cannot be
// written; true, writing nothing, for a classic replay.
bool WriteModernWrapped(const std::string& dir, unsigned switches, const Bytes& whole) {
  const ReplaySpan span = LocateReplay(whole.data(), whole.size());
  ReplayFileHeader header;
  if ((span.holder != kHolderReplay && span.holder != kHolderNetEase) ||
      !ReadReplayFileHeader(whole.data() + span.offset, span.length, &header)) {
    return true;
  }
  unsigned wrapping = 0;
  if (header.oldest) wrapping |= kFuzzModernOldest;
  if (span.holder == kHolderNetEase) wrapping |= kFuzzModernContainer;
  if (header.declared_size < span.length) wrapping |= kFuzzModernTrailing;
  if (wrapping == 0) return true;
  const Bytes file(whole.begin() + static_cast<long>(span.offset), whole.end());
  const Bytes data = InflatedBlocks(file, header, kModernInput - 4);
  return WriteModernHeader(dir, switches, data, header.version, wrapping);
}

std::vector<SyntheticModernReplay> ModernShapes() {
  std::vector<SyntheticModernReplay> shapes;
  shapes.push_back(ModernGame(
      {{"anXieTy#2932", 0x41, 0}, {"IroNSoul#22724", 0x08, 1}, {"Blizzard", 0x60, 24}}));
  SyntheticModernReplay two = ModernGame(
      {{"Anna", 0x01, 0}, {"Bob", 0x02, 1}, {"Cleo", 0x04, 0}, {"Dave", 0x08, 1}}, 10031);
  two.record_order = {3, 1, 2};
  two.host_extra = Bytes(8, 0);
  two.player_extra = Bytes(8, 0);
  shapes.push_back(two);
  shapes.push_back(ModernGame({{"A", 0x01, 3}, {"B", 0x02, 1}, {"C", 0x04, 2}, {"D", 0x20, 0}}));
  SyntheticModernReplay computers =
      ModernGame({{"Alpha", 0x01, 0}, {"", 0x02, 1, true}, {"Beta", 0x08, 1}, {"W", 0x60, 12}}, 26);
  computers.game_name = "w3c-20-abc";
  computers.password = "hunter2";
  shapes.push_back(computers);
  SyntheticModernReplay meta = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}});
  meta.metadata = {{0x38, 4, {1, 2}}, {0x39, 3, Bytes(300, 0x19)}, {0x38, 5, {}}};
  shapes.push_back(meta);
  SyntheticModernReplay custom = ModernGame({{"Host", 0x01, 0}, {"Guest", 0x02, 1}}, 10032);
  custom.game_name = "WoW RPG multiplayer test";
  custom.host_extra = {0x00};
  shapes.push_back(custom);
  SyntheticModernReplay damaged = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}});
  damaged.slot_count = 0;
  shapes.push_back(damaged);
  damaged.slot_count = -1;
  damaged.table_length = 0xFFFF;
  shapes.push_back(damaged);
  // No slots: the records' extra data carry the races.
  SyntheticModernReplay noslots = ModernGame({{"itsDayFly", 0x02, 0}, {"u.s.T_pig", 0x04, 0}}, 18);
  noslots.empty_slot_table = true;
  shapes.push_back(noslots);
  // The oldest records: one byte of extra data, 7-byte slots, observers in team 12.
  SyntheticModernReplay oldest =
      ModernGame({{"Sapor", 0x20, 12}, {"DoomGuard", 0x20, 2}, {"Twinsen", 0x02, 1}}, 2);
  oldest.host_extra = {0};
  oldest.player_extra = {0};
  oldest.slot_size = 7;
  oldest.game_name = "final";
  shapes.push_back(oldest);
  std::vector<SyntheticSeat> many;
  for (int i = 0; i < 24; ++i) {
    many.push_back({std::string(1, 'a' + i) + "#1", 0x01, static_cast<unsigned char>(i % 3)});
  }
  shapes.push_back(ModernGame(many));
  return shapes;
}

std::vector<SyntheticReplay> Shapes() {
  std::vector<SyntheticReplay> shapes;
  shapes.push_back(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  shapes.push_back(LadderReplay({{"Anna", 2}, {"Bob", 4}, {"Cleo", 0}, {"Dave", 1}}));
  shapes.push_back(LadderReplay(
      {{"Abcdefgh", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 3}, {"F", 0x45}}));
  shapes.push_back(LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 1}, {"F", 2},
                                 {"G", 4}, {"H", 8}}));
  shapes.push_back(LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}}, true));
  shapes.push_back(LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 1}}));
  shapes.push_back(LadderReplay({{"Observer", 1}, {"referee", 2}}));
  shapes.push_back(LadderReplay({{"", 1}, {"", 2}}));
  shapes.push_back(LadderReplay({{"Mr. X?", 4}, {"|c00ffbd00:D<x>", 2}}));
  shapes.push_back(LadderReplay({{std::string(300, 'n'), 1}, {std::string(300, 'm'), 2}}));
  std::vector<SyntheticPlayer> sixteen;
  for (int i = 0; i < 16; ++i) sixteen.push_back({std::string(1, 'a' + i) + "layer", 1});
  shapes.push_back(LadderReplay(sixteen));
  SyntheticReplay damaged = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  damaged.count = 127;
  shapes.push_back(damaged);
  damaged.count = -5;
  shapes.push_back(damaged);
  damaged.count = 2;
  damaged.settings = "\x01\x03";  // ends before the scan point
  shapes.push_back(damaged);
  for (const char* map : {"Maps/FrozenThrone/(4)TwistedMeadows.w3x", "w3c_1v1_.w3x",
                          "Maps\\W3Champions\\54_w3c_251104_0950_Tidehunters_v1.2.w3x",
                          "Maps/(2)\xd0\x90\xd0\xbc\xd0\xb0\xd0\xb7\xd0\xbe\xd0\xbd\xd0\xb8\xd1\x8f"}) {
    SyntheticReplay mapped = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
    mapped.settings = MapSettings(map);
    shapes.push_back(mapped);
    SyntheticReplay custom = CustomReplay("con");
    custom.settings = MapSettings(map);
    shapes.push_back(custom);
  }
  SyntheticReplay lower = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  lower.game_name = "bnet";
  shapes.push_back(lower);
  for (const char* name : {"my game #2!", "", "con", "LPT1", "\xe9t\xe9", "a..b\\c/d"}) {
    shapes.push_back(CustomReplay(name));
  }
  shapes.push_back(CustomReplay(std::string(2000, 'g')));
  return shapes;
}

// The header a real replay inflates to, from the part decoding reads.
Bytes InflatedHeader(const Bytes& file) {
  Bytes header(kHeaderBufferSize, 0);
  if (file.size() <= kStreamOffset) return Bytes();
  uLong input = static_cast<uLong>(file.size() - kStreamOffset);
  if (input > kStreamInput) input = kStreamInput;
  uLongf output = header.size();
  uncompress(header.data(), &output, file.data() + kStreamOffset, input);
  // uncompress reports nothing useful on a cut stream; keep up to the last non-zero byte.
  size_t end = header.size();
  while (end > 0 && header[end - 1] == 0) --end;
  header.resize(end);
  return header;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const std::string& sub : {std::string(), std::string("/replay_fuzz"),
                                 std::string("/header_fuzz"), std::string("/modern_fuzz")}) {
    mkdir((dir + sub).c_str(), 0777);
  }
  int synthetic = 0;
  for (const SyntheticReplay& shape : Shapes()) {
    if (!WriteBoth(dir, BuildReplay(shape), BuildHeader(shape))) {
      fprintf(stderr, "fuzz_seeds: cannot write into %s\n", dir.c_str());
      return 1;
    }
    ++synthetic;
  }
  // The modern target: every modern shape in each block size, the classic shapes
  // (no slot table, so they fall back) as raw files.
  unsigned turn = 0;
  // Each shape also as it lies in the other files a player has: behind the oldest
  // header, in a NetEase container, with bytes after its blocks.
  static const unsigned kWrappings[] = {0, kFuzzModernOldest, kFuzzModernContainer,
                                        kFuzzModernTrailing};
  for (const SyntheticModernReplay& shape : ModernShapes()) {
    for (unsigned blocks = 0; blocks < 4; ++blocks, ++turn) {
      const unsigned pad = turn % 2 == 0 ? kFuzzModernPadLastBlock : 0;
      const unsigned wrapping = kWrappings[turn % 4];
      if (!WriteModernHeader(dir, turn % 4, BuildModernHeader(shape), shape.version,
                             blocks | pad | wrapping)) {
        return 1;
      }
    }
    // The pass's own input, read by its lengths: the whole file, bare, in a
    // container, and followed by a platform's data.
    const Bytes whole = BuildWholeModernReplay(shape);
    Bytes followed = whole;
    const Bytes tail = PlatformDataTail();
    followed.insert(followed.end(), tail.begin(), tail.end());
    for (const Bytes& file : {whole, InNetEaseContainer(whole, 64), followed}) {
      if (!WriteSeed(dir + "/replay_fuzz", kFuzzCustom | kFuzzLengthReading, file, kReadPart)) {
        return 1;
      }
    }
    if (!WriteModernRaw(dir, kFuzzCustom, BuildModernReplay(shape), shape.version)) return 1;
    ++synthetic;
  }
  for (const SyntheticReplay& shape : Shapes()) {
    if (!WriteModernRaw(dir, kFuzzCustom, BuildReplay(shape), 26)) return 1;
  }
  int real = 0;
  for (const ExpectedRow& row : ReadExpectedRows()) {
    Bytes file;
    if (!ReadFileBytes(RealReplayFolder() + row.file, &file)) continue;
    if (!WriteBoth(dir, file, InflatedHeader(file))) return 1;
    uint32_t version = 0;
    for (int k = 3; k >= 0 && file.size() >= kModernFileHeader; --k) {
      version = (version << 8) | file[kModernVersionOffset + k];
    }
    if (!WriteModernRaw(dir, kFuzzCustom | kFuzzNoDate, file, version) ||
        !WriteModernWrapped(dir, kFuzzCustom | kFuzzNoDate, file)) {
      return 1;
    }
    ++real;
  }
  printf("fuzz_seeds: %d synthetic and %d real replays\n", synthetic, real);
  if (real == 0) {
    fprintf(stderr, "fuzz_seeds: the real replays are missing from tests/replays\n");
    return 1;
  }
  return 0;
}
