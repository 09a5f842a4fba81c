#include "replay/decode.h"

#include <string.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"

namespace {

// Decodes in a scratch of its own, on the heap (128 KB), and hands it back when
// asked, for the checks that look at what the decode inflated.
DecodeResult DecodeBytes(const Bytes& file, std::unique_ptr<DecodeScratch>* kept = nullptr) {
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  DecodeResult result;
  Decode(file.data(), file.size(), scratch.get(), &result);
  if (kept != nullptr) *kept = std::move(scratch);
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
    EXPECT_STREQ("", result.player[0].name);
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
  EXPECT_STREQ("Host", result.player[0].name);
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
    EXPECT_STREQ(names[i], result.player[i].name) << i;
    EXPECT_EQ(races[i], result.player[i].race) << i;
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
    EXPECT_STREQ("Alpha", result.player[0].name);
    EXPECT_STREQ("", result.player[1].name) << int(count);
  }
}

TEST(Decode, CountsBeyondTheTableAreLimitedToIt) {
  std::vector<SyntheticPlayer> players;
  for (int i = 0; i < 20; ++i) players.push_back({"P" + std::to_string(i), 1});
  SyntheticReplay replay = LadderReplay(players);
  replay.count = 127;
  DecodeResult result = DecodeBytes(BuildReplay(replay));
  EXPECT_EQ(kPlayerTableSize, result.players);
  EXPECT_STREQ("P15", result.player[15].name);
}

TEST(Decode, MissingRecordsLeaveEmptyNames) {
  // The count promises eight players but only two records follow.
  SyntheticReplay replay = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  replay.count = 8;
  DecodeResult result = DecodeBytes(BuildReplay(replay));
  EXPECT_EQ(8, result.players);
  EXPECT_STREQ("Beta", result.player[1].name);
  for (int i = 2; i < 8; ++i) EXPECT_STREQ("", result.player[i].name) << i;
}

TEST(Decode, OutputFillingTheWholeBufferLeavesNoUnendedString) {
  // 1024 compressed bytes can inflate past 131072; nothing then ends the host name.
  Bytes header(kHeaderBufferSize + 4096, 'A');
  DecodeResult result = DecodeBytes(WrapHeader(header, 8192));
  EXPECT_STREQ("", result.player[0].name);
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("", result.game_name);
}

TEST(Decode, OffsetsPushedPastTheBufferEndAreTreatedAsEndOfData) {
  // A host name just short of the buffer end puts the game name and settings past it.
  Bytes header(kHeaderBufferSize - 10, 'H');
  memcpy(header.data(), "\x10\0\0\0\0\x01", 6);
  header.push_back(0);
  std::unique_ptr<DecodeScratch> scratch;
  DecodeResult result = DecodeBytes(WrapHeader(header, 8192), &scratch);
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("", result.game_name);
  // The host name ends just before the buffer does; the result keeps as much of it
  // as a name holds.
  const char* host = reinterpret_cast<const char*>(scratch->data + 6);
  EXPECT_EQ(kHeaderBufferSize - 16, static_cast<int>(strnlen(host, kHeaderBufferSize - 6)));
  EXPECT_EQ(std::string(kNameSize - 1, 'H'), result.player[0].name);

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

// The result owns its strings: a result decoded into again keeps nothing of the
// replay before, neither names beyond the new count nor the map or the game name.
TEST(Decode, AResultDecodedIntoAgainKeepsNothingOfTheReplayBefore) {
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  SyntheticReplay four = LadderReplay({{"Anna", 2}, {"Bob", 4}, {"Cleo", 8}, {"Dave", 1}});
  four.settings = MapSettings("Maps/(4)TwistedMeadows.w3x");
  SyntheticReplay custom = CustomReplay("next");
  custom.settings = MapSettings("Maps/(2)Amazonia.w3x");
  const Bytes files[] = {BuildReplay(four), BuildReplay(custom), Bytes(8192, 0)};
  DecodeResult result;
  Decode(files[0].data(), files[0].size(), scratch.get(), &result);
  ASSERT_STREQ("Dave", result.player[3].name);
  ASSERT_STREQ("Maps/(4)TwistedMeadows.w3x", result.map_path);

  Decode(files[1].data(), files[1].size(), scratch.get(), &result);
  EXPECT_FALSE(result.ladder);
  EXPECT_STREQ("next", result.game_name);
  EXPECT_STREQ("Maps/(2)Amazonia.w3x", result.map_path);
  for (int i = 1; i < kPlayerTableSize; ++i) {
    EXPECT_STREQ("", result.player[i].name) << i;
    EXPECT_EQ(0, result.player[i].race) << i;
  }

  Decode(files[2].data(), files[2].size(), scratch.get(), &result);
  EXPECT_STREQ("", result.game_name);
  EXPECT_STREQ("", result.map_path);
  EXPECT_STREQ("", result.player[0].name);
  EXPECT_EQ(-1, result.settings);
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
