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
    // The game's own replays, and the NetEase platform's.
    if (EndsWith(file, ".w3g") || EndsWith(file, ".nwg")) replays.push_back(file);
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
  const std::string said(note.begin(), note.end());
  // The replays of other parsers' test data, each under its own licence: the note
  // names each source and its licence file, and the file is there.
  // Their texts are as published, line ends and all.
  const struct {
    const char* source;
    const char* file;
    const char* opening;
    const char* holder;
  } others[] = {
      {"w3gjs", "LICENSE.w3gjs", "MIT License", "Copyright (c) 2018-2026 PBug90"},
      {"gowarcraft3", "LICENSE.gowarcraft3", "Mozilla Public License Version 2.0",
       "Mozilla Public License, v. 2.0"},
      {"w3gparser", "LICENSE.w3gparser", "Copyright (c) 2007, deerchao",
       "Copyright (c) 2017, Friedrich von Never"},
  };
  for (const auto& other : others) {
    EXPECT_NE(std::string::npos, said.find(other.source)) << other.source;
    EXPECT_NE(std::string::npos, said.find(other.file)) << other.file;
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(folder + other.file, &bytes)) << other.file;
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(0u, text.find(other.opening)) << other.file;
    EXPECT_NE(std::string::npos, text.find(other.holder)) << other.file;
  }
}

}  // namespace
