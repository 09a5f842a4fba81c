// A -name template on disk: the free-name search counts up behind the filled name.
#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "naming/name.h"
#include "replay/decode.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

class TemplateFiling : public ReplayFolderTest {};

TEST_F(TemplateFiling, TheCounterFollowsTheFilledName) {
  snprintf(settings_.naming.name_template, sizeof settings_.naming.name_template, "%s",
           "{players} on {map} {length}");
  SyntheticReplay ladder = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  ladder.settings = MapSettings("Maps/(2)Amazonia.w3x");
  Bytes file = BuildReplay(ladder);
  SetGameLength(&file, 1091999);
  DecodeResult result;
  Decode(file.data(), file.size(), scratch_, &result);
  const NameDate date = {2026, 7, 3, 9, 5, 0};
  for (int i = 0; i < 3; ++i) {
    FileResult filed;
    const ReplayFile whole = ReplayInMemory(file.data(), file.size());
    ASSERT_EQ(kFiled,
              FileReplayIn(folder_.c_str(), &result, &settings_.naming, &date, &whole, false,
                           &filed));
  }
  const std::vector<std::string> expected = {
      "1v1\\Alpha(h) vs Beta(u) on Amazonia 18m11s.w3g",
      "1v1\\Alpha(h) vs Beta(u) on Amazonia 18m11s[1].w3g",
      "1v1\\Alpha(h) vs Beta(u) on Amazonia 18m11s[2].w3g"};
  EXPECT_EQ(expected, ListFiles(folder_));
}

// A template that asks who won makes the pass read the whole replay; the same
// replay filed by the pass, by sort and named by name comes out alike.
TEST_F(TemplateFiling, ThePassReadsTheWholeReplayForTheResult) {
  ASSERT_FALSE(RealReplayFolder().empty());
  Bytes file;
  ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "132-reforged_release.w3g", &file));
  settings_.reading = kLengthReading;
  snprintf(settings_.naming.name_template, sizeof settings_.naming.name_template, "%s",
           "{players} {result}");
  ASSERT_TRUE(WriteFileBytes(folder_ + "LastReplay.w3g", file));
  ASSERT_TRUE(SetWriteTime(folder_ + "LastReplay.w3g", 1700000000));
  ASSERT_EQ(kPassFiled, Pass());
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + "1v1\\anXieTy(h) vs IroNSoul(u) win.w3g", &copy));
  EXPECT_TRUE(copy == file);

  // Without such a field nothing beyond the header is read: the same template
  // without {result} names as before.
  snprintf(settings_.naming.name_template, sizeof settings_.naming.name_template, "%s",
           "{players} x");
  EXPECT_EQ(nullptr, ReadGameForNames(&settings_.naming, file.data(), file.size()));
  ASSERT_TRUE(SetWriteTime(folder_ + "LastReplay.w3g", 1700000100));
  ASSERT_EQ(kPassFiled, Pass());
  EXPECT_TRUE(ReadFileBytes(folder_ + "1v1\\anXieTy(h) vs IroNSoul(u) x.w3g", &copy));
}

}  // namespace
