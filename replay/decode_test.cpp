#include "watcher/decode.h"

#include <string.h>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"

namespace {

DecodeResult DecodeBytes(const Bytes& file) {
  DecodeResult result;
  Decode(file.data(), file.size(), &result);
  return result;
}

TEST(Decode, ForeignBytesDecodeToAnEmptyCustomGame) {
  Bytes zeros(8192, 0);
  Bytes text(8192, 'x');
  for (const Bytes* file : {&zeros, &text}) {
    DecodeResult result = DecodeBytes(*file);
    EXPECT_FALSE(result.ladder);
    EXPECT_FALSE(result.ffa);
    EXPECT_EQ(0, result.players);
    EXPECT_STREQ("", result.game_name);
    EXPECT_STREQ("", PlayerTable[0].name);
  }
}

TEST(Decode, LadderNameIsMatchedIgnoringAsciiCaseOnly) {
  struct Case {
    const char* game_name;
    bool ladder;
  } cases[] = {
      {"BNet", true}, {"bnet", true}, {"BNET", true},
      {"BNe", false}, {"BNets", false}, {"B Net", false}, {"", false},
  };
  for (const Case& c : cases) {
    SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
    replay.game_name = c.game_name;
    DecodeResult result = DecodeBytes(BuildReplay(replay));
    EXPECT_EQ(c.ladder, result.ladder) << c.game_name;
  }
}

TEST(Decode, CustomGameNameFollowsTheHostRecord) {
  DecodeResult result = DecodeBytes(BuildReplay(CustomReplay("my game #2!")));
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("my game #2!", result.game_name);
  EXPECT_EQ(0, result.players);
  EXPECT_STREQ("Host", PlayerTable[0].name);
}

TEST(Decode, WalksPlayersInHeaderOrderWithMaskedRaces) {
  SyntheticReplay replay =
      LadderReplay({{"Anna", 0x02}, {"Bob", 0x44}, {"Cleo", 0x60}, {"Dave", 0x41}});
  DecodeResult result = DecodeBytes(BuildReplay(replay));
  ASSERT_TRUE(result.ladder);
  ASSERT_EQ(4, result.players);
  const char* names[] = {"Anna", "Bob", "Cleo", "Dave"};
  const int races[] = {2, 4, 0, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(names[i], PlayerTable[i].name) << i;
    EXPECT_EQ(races[i], PlayerTable[i].race) << i;
  }
}

TEST(Decode, FreeForAllNeedsGameTypeOneAndMoreThanTwoPlayers) {
  struct Case {
    signed char type;
    signed char count;
    bool ffa;
  } cases[] = {{1, 2, false}, {1, 3, true}, {1, 8, true}, {9, 5, false}, {2, 3, false},
               {1, 0, false}, {1, -3, false}};
  for (const Case& c : cases) {
    SyntheticReplay replay = LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}});
    replay.game_type = c.type;
    replay.count = c.count;
    DecodeResult result = DecodeBytes(BuildReplay(replay));
    EXPECT_EQ(c.ffa, result.ffa) << int(c.type) << "/" << int(c.count);
  }
}

TEST(Decode, SmallOrNegativeCountsFillOnlyTheHost) {
  for (signed char count : {1, 0, -1, -128}) {
    SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
    replay.count = count;
    DecodeResult result = DecodeBytes(BuildReplay(replay));
    EXPECT_EQ(count, result.players);
    EXPECT_STREQ("Alpha", PlayerTable[0].name);
    EXPECT_STREQ("", PlayerTable[1].name) << int(count);
  }
}

TEST(Decode, CountsBeyondTheTableAreLimitedToIt) {
  std::vector<SyntheticPlayer> players;
  for (int i = 0; i < 20; ++i) players.push_back({"P" + std::to_string(i), 1});
  SyntheticReplay replay = LadderReplay(players);
  replay.count = 127;
  DecodeResult result = DecodeBytes(BuildReplay(replay));
  EXPECT_EQ(kPlayerTableSize, result.players);
  EXPECT_STREQ("P15", PlayerTable[15].name);
}

TEST(Decode, MissingRecordsLeaveEmptyNames) {
  // The count promises eight players but only two records follow.
  SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  replay.count = 8;
  DecodeResult result = DecodeBytes(BuildReplay(replay));
  EXPECT_EQ(8, result.players);
  EXPECT_STREQ("Beta", PlayerTable[1].name);
  for (int i = 2; i < 8; ++i) EXPECT_STREQ("", PlayerTable[i].name) << i;
}

TEST(Decode, OutputFillingTheWholeBufferLeavesNoUnendedString) {
  // 1024 compressed bytes can inflate past 131072; nothing then ends the host name.
  Bytes header(kHeaderBufferSize + 4096, 'A');
  DecodeResult result = DecodeBytes(WrapHeader(header, 8192));
  EXPECT_STREQ("", PlayerTable[0].name);
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("", result.game_name);
}

TEST(Decode, OffsetsPushedPastTheBufferEndAreTreatedAsEndOfData) {
  // A host name just short of the buffer end puts the game name and settings past it.
  Bytes header(kHeaderBufferSize - 10, 'H');
  memcpy(header.data(), "\x10\0\0\0\0\x01", 6);
  header.push_back(0);
  DecodeResult result = DecodeBytes(WrapHeader(header, 8192));
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("", result.game_name);
  EXPECT_EQ(kHeaderBufferSize - 16, static_cast<int>(strlen(PlayerTable[0].name)));

  // A ladder header whose settings string runs to the end of the buffer.
  SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  replay.settings = std::string(kHeaderBufferSize, 's');
  result = DecodeBytes(BuildReplay(replay));
  EXPECT_TRUE(result.ladder);
  EXPECT_EQ(0, result.players);
}

TEST(Decode, InputShorterThanTheStreamWindowIsNotOverread) {
  Bytes file = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  for (size_t length : {size_t(0), size_t(50), size_t(76), size_t(300)}) {
    Bytes cut(file.begin(), file.begin() + length);
    DecodeResult result = DecodeBytes(cut);
    EXPECT_EQ(length == 300, result.ladder) << length;
  }
}

TEST(Decode, RealPlayerExcludesEmptyObserversAndReferees) {
  struct Case {
    const char* name;
    bool real;
  } cases[] = {{"Alpha", true},     {"", false},         {"Observer", false},
               {"observer", false}, {"OBSERVER", false}, {"Referee", false},
               {"rEfErEe", false},  {"Observers", true},  {"Ref", true}};
  for (const Case& c : cases) EXPECT_EQ(c.real, IsRealPlayer(c.name)) << c.name;
}

}  // namespace
