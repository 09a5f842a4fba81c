#include "tests/real_replays.h"

#include <stdio.h>

bool ReadWholeFile(const std::string& path, Bytes* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  unsigned char piece[65536];
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) {
    bytes->insert(bytes->end(), piece, piece + got);
  }
  const bool read = ferror(file) == 0;
  fclose(file);
  return read;
}

std::string RealReplayFolder() {
#ifdef BRINDLECAP_REPLAYS
  std::string folder = BRINDLECAP_REPLAYS "/";
  Bytes probe;
  if (ReadWholeFile(folder + "expected.tsv", &probe)) return folder;
#endif
  return "";
}

std::vector<ExpectedRow> ReadExpectedRows(const char* list) {
  std::vector<ExpectedRow> rows;
  Bytes text;
  std::string folder = RealReplayFolder();
  if (folder.empty() || !ReadWholeFile(folder + list, &text)) return rows;
  std::string all(text.begin(), text.end());
  size_t start = all.find('\n');  // skip the column names
  while (start != std::string::npos && start + 1 < all.size()) {
    size_t end = all.find('\n', start + 1);
    std::string line = all.substr(start + 1, end == std::string::npos ? std::string::npos
                                                                      : end - start - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 != std::string::npos) rows.push_back({line.substr(0, tab1), line.substr(tab2 + 1)});
    start = end;
  }
  return rows;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  for (size_t at = 0;;) {
    const size_t tab = line.find('\t', at);
    cells.push_back(line.substr(at, tab == std::string::npos ? tab : tab - at));
    if (tab == std::string::npos) return cells;
    at = tab + 1;
  }
}
