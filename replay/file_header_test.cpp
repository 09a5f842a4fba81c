// Where the replay lies in a file and what its file header says: the three shapes
// of file a player's disk holds, and files that only look like one of them.
#include "replay/file_header.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"

namespace {

Bytes Replay() { return BuildWholeModernReplay(ModernGame({{"Anna", 1, 0}, {"Bert", 8, 1}}, 10032)); }

void Put32(Bytes* file, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*file)[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

TEST(LocateReplay, FindsTheReplayWhereverItStands) {
  const Bytes replay = Replay();
  const Bytes contained = InNetEaseContainer(replay, 1000);
  Bytes short_data = contained;
  Put32(&short_data, kNetEaseDataSizeAt, 999);  // one byte short of the replay
  Bytes long_data = contained;
  Put32(&long_data, kNetEaseDataSizeAt, 0xFFFFFFF0u);
  Bytes cut_text = contained;
  cut_text.resize(kNetEaseHeader + 1000 + 20);  // the leading text cut
  Bytes other_mark = contained;
  other_mark[3] = 'X';
  const struct Case {
    const char* what;
    Bytes file;
    ReplayHolder holder;
    size_t offset;
  } cases[] = {
      {"a replay", replay, kHolderReplay, 0},
      {"a replay with bytes after it", [&replay] {
         Bytes file = replay;
         file.insert(file.end(), 50, 0xAB);
         return file;
       }(), kHolderReplay, 0},
      {"a NetEase container", contained, kHolderNetEase, kNetEaseHeader + 1000},
      {"a container whose data size is a byte short", short_data, kHolderNetEaseEmpty, 0},
      {"a container whose data size runs past the file", long_data, kHolderNetEaseEmpty, 0},
      {"a container whose replay is cut inside its leading text", cut_text, kHolderNetEaseEmpty,
       0},
      {"a container header alone", Bytes(contained.begin(), contained.begin() + kNetEaseHeader),
       kHolderNetEaseEmpty, 0},
      {"the mark alone", Bytes{'G', 'R', 'B', 'N'}, kHolderNetEaseEmpty, 0},
      {"another mark", other_mark, kHolderNothing, 0},
      {"nothing", Bytes(), kHolderNothing, 0},
      {"text", Bytes(300, 'W'), kHolderNothing, 0},
  };
  for (const Case& c : cases) {
    const ReplaySpan span = LocateReplay(c.file.data(), c.file.size());
    EXPECT_EQ(c.holder, span.holder) << c.what;
    EXPECT_EQ(c.offset, span.offset) << c.what;
    const bool found = c.holder == kHolderReplay || c.holder == kHolderNetEase;
    EXPECT_EQ(found ? c.file.size() - c.offset : 0u, span.length) << c.what;
  }
  EXPECT_STREQ("not a replay", ReplayHolderText(kHolderNothing));
  EXPECT_STREQ("a NetEase container without a replay where it says",
               ReplayHolderText(kHolderNetEaseEmpty));
}

// Both file headers: the one of 1.07 on and the oldest, which says so twice (header
// version 0 and a header of 0x40 bytes); either alone is the classic one.
TEST(ReplayFileHeader, BothLayouts) {
  SyntheticModernReplay oldest_shape = ModernGame({{"Anna", 1, 0}, {"Bert", 8, 1}}, 2);
  oldest_shape.oldest_header = true;
  oldest_shape.player_extra = {0};
  const Bytes oldest = BuildWholeModernReplay(oldest_shape);
  Bytes classic = Replay();
  Put32(&classic, 0x24, 1);
  Bytes classic_old = BuildWholeModernReplay(ModernGame({{"Anna", 1, 0}, {"Bert", 8, 1}}, 26));
  Bytes version_zero_only = classic_old;  // header version 0, but 0x44 bytes of it
  Bytes size_only = classic_old;          // 0x40 bytes said, but header version 1
  Put32(&size_only, 0x1C, 0x40);
  Put32(&size_only, 0x24, 1);
  const struct Case {
    const char* what;
    Bytes file;
    bool oldest;
    uint32_t version;
    size_t first_block;
    size_t block_header;
  } cases[] = {
      {"1.32 on", classic, false, 10032, 0x44, 12},
      {"1.07 to 1.31", classic_old, false, 26, 0x44, 8},
      {"the oldest", oldest, true, 2, 0x40, 8},
      {"header version 0 with a header of 0x44 bytes", version_zero_only, false, 26, 0x44, 8},
      {"a header of 0x40 bytes said by header version 1", size_only, false, 26, 0x44, 8},
  };
  for (const Case& c : cases) {
    ReplayFileHeader header;
    ASSERT_TRUE(ReadReplayFileHeader(c.file.data(), c.file.size(), &header)) << c.what;
    EXPECT_EQ(c.oldest, header.oldest) << c.what;
    EXPECT_EQ(c.version, header.version) << c.what;
    EXPECT_EQ(c.first_block, header.first_block) << c.what;
    EXPECT_EQ(c.block_header, header.block_header) << c.what;
    EXPECT_EQ(c.file.size(), header.declared_size) << c.what;
    EXPECT_EQ(1u, header.blocks) << c.what;
  }
  ReplayFileHeader header;
  EXPECT_EQ(4531u, (ReadReplayFileHeader(oldest.data(), oldest.size(), &header), header.build));
  EXPECT_EQ(0u, header.game_id);
  // Too short for its own header, or no replay at all.
  EXPECT_TRUE(ReadReplayFileHeader(oldest.data(), 0x40, &header));
  EXPECT_FALSE(ReadReplayFileHeader(oldest.data(), 0x3F, &header));
  EXPECT_FALSE(ReadReplayFileHeader(classic.data(), 0x43, &header));
  EXPECT_TRUE(ReadReplayFileHeader(classic.data(), 0x44, &header));
  const Bytes contained = InNetEaseContainer(classic);
  EXPECT_FALSE(ReadReplayFileHeader(contained.data(), contained.size(), &header));
}

}  // namespace
