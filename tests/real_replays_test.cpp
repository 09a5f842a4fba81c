// The real replays the tests read come with the repository, with their tables and
// the licence of their source: a clone alone must find every one of them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(RealReplays, EveryTableHasARowForEachReplayAndNoOther) {
  const std::string folder = RealReplayFolder();
  ASSERT_FALSE(folder.empty()) << "tests/replays or its expected.tsv is missing";
  std::vector<std::string> replays;
  for (const std::string& file : ListFiles(folder)) {
    if (EndsWith(file, ".w3g")) replays.push_back(file);
  }
  ASSERT_FALSE(replays.empty());
  for (const char* table :
       {"expected.tsv", "expected-modern.tsv", "expected-fields.tsv", "expected-outcome.tsv"}) {
    std::vector<std::string> named;
    for (const ExpectedRow& row : ReadExpectedRows(table)) named.push_back(row.file);
    EXPECT_EQ(replays, named) << table << " lists other files than tests/replays holds";
  }
}

TEST(RealReplays, TheirSourcesLicenceAndNoteComeWithThem) {
  const std::string folder = RealReplayFolder();
  ASSERT_FALSE(folder.empty());
  Bytes licence;
  ASSERT_TRUE(ReadFileBytes(folder + "LICENSE", &licence));
  const std::string text(licence.begin(), licence.end());
  EXPECT_EQ(0u, text.find("MIT License\n\nCopyright (c) 2018-2020 PBug90\n")) << text;
  Bytes note;
  ASSERT_TRUE(ReadFileBytes(folder + "README.md", &note));
  EXPECT_NE(std::string::npos, std::string(note.begin(), note.end()).find("w3gjs"));
}

}  // namespace
