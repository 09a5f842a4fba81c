// Writes the seed corpus of game_fuzz from the real replays beside the repository:
//   game_fuzz_seeds DIR   ->  DIR/game_fuzz/*
// Each replay three times, as GameFuzzSeeds (game_fuzz_input.h) makes them.
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "replay/game_fuzz_input.h"
#include "tests/test_support.h"

namespace {

bool WriteSeed(const std::string& folder, int number, const Bytes& seed) {
  char name[32];
  snprintf(name, sizeof name, "/seed-%03d", number);
  FILE* file = fopen((folder + name).c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(seed.data(), 1, seed.size(), file) == seed.size();
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
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".w3g") == 0) names.push_back(name);
  }
  int written = 0;
  for (const std::string& name : names) {
    Bytes file;
    if (!ReadFileBytes(replays + name, &file)) continue;
    for (const Bytes& seed : GameFuzzSeeds(file)) {
      if (!WriteSeed(folder, written++, seed)) {
        fprintf(stderr, "game_fuzz_seeds: cannot write into %s\n", folder.c_str());
        return 1;
      }
    }
  }
  printf("game_fuzz_seeds: %d seeds from %zu real replays%s\n", written, names.size(),
         names.empty() ? " (real replays not found beside the repository)" : "");
  return 0;
}
