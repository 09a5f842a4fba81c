// Writes the seed corpora of the two fuzz targets:
//   fuzz_seeds DIR    ->  DIR/replay_fuzz/*  and  DIR/header_fuzz/*
// from synthetic replays (every shape the naming rules tell apart) and, when they
// are there, from the real replays beside the repository. Each seed carries the
// targets' leading switch byte.
#include <stdio.h>
#include <sys/stat.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/fuzz_support.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/decode.h"

namespace {

// What decoding reads of a replay file: the stream's first 1024 bytes at offset 76.
const size_t kReadPart = kStreamOffset + kStreamInput;

int written = 0;

bool WriteSeed(const std::string& folder, unsigned switches, const Bytes& bytes, size_t limit) {
  char name[32];
  snprintf(name, sizeof name, "seed-%04d", written++);
  FILE* file = fopen((folder + "/" + name).c_str(), "wb");
  if (file == nullptr) return false;
  const size_t length = bytes.size() < limit ? bytes.size() : limit;
  const unsigned char first = static_cast<unsigned char>(switches);
  bool ok = fwrite(&first, 1, 1, file) == 1 &&
            (length == 0 || fwrite(bytes.data(), 1, length, file) == length);
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
                                 std::string("/header_fuzz")}) {
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
  int real = 0;
  for (const ExpectedRow& row : ReadExpectedRows()) {
    Bytes file;
    if (!ReadFileBytes(RealReplayFolder() + row.file, &file)) continue;
    if (!WriteBoth(dir, file, InflatedHeader(file))) return 1;
    ++real;
  }
  printf("fuzz_seeds: %d synthetic and %d real replays%s\n", synthetic, real,
         real == 0 ? " (real replays not found beside the repository)" : "");
  return 0;
}
