#include "watcher/modern.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

// Below 10032 blocks have 8-byte headers, from it on 12-byte ones.
const uint32_t kLayouts[] = {10031, 10032};

struct Named {
  bool modern;
  std::string subfolder;
  std::string body;
};

Named NameWithModern(const Bytes& file, DecodeResult* out = nullptr) {
  ModernReading = true;
  DecodeResult result;
  DecodeReplay(file.data(), file.size(), &result);
  ModernReading = false;
  char body[kPathSize];
  BuildNameBody(&result, body, sizeof body);
  if (out != nullptr) *out = result;
  return Named{result.modern, ChooseSubfolder(&result), body};
}

SyntheticModernReplay OneVsOne(uint32_t version) {
  return ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}, version);
}

// A 1v1 header whose one metadata record carries three bytes but states another
// length.
Bytes HeaderStatingMetadata(uint32_t version, uint32_t stated) {
  SyntheticModernReplay replay = OneVsOne(version);
  replay.metadata = {{0x39, 3, {'a', 'b', 'c'}}};
  Bytes header = BuildModernHeader(replay);
  const unsigned char record[] = {0x39, 3, 3, 0, 0, 0, 'a', 'b', 'c'};
  auto at = std::search(header.begin(), header.end(), record, record + sizeof record);
  EXPECT_NE(header.end(), at) << "no metadata record to change";
  if (at == header.end()) return Bytes();
  for (int k = 0; k < 4; ++k) at[2 + k] = static_cast<unsigned char>(stated >> (8 * k));
  return header;
}

TEST(ModernNaming, SidesAreTeams) {
  struct Case {
    const char* what;
    std::vector<SyntheticSeat> seats;
    std::vector<size_t> record_order;
    const char* subfolder;
    const char* body;
  } cases[] = {
      {"1v1 with account tags and an observer",
       {{"anXieTy#2932", 0x41, 0}, {"IroNSoul#22724", 0x08, 1}, {"Blizzard", 0x60, 24}},
       {}, "1v1\\", "anXieTy(h) vs IroNSoul(u)"},
      {"a random race", {{"Alpha", 0x20, 0}, {"Beta", 0x64, 1}}, {}, "1v1\\",
       "Alpha(r) vs Beta(e)"},
      {"a 2v2 alternating in the slot table, each side in record order",
       {{"Anna", 0x01, 0}, {"Bob", 0x02, 1}, {"Cleo", 0x04, 0}, {"Dave", 0x08, 1}},
       {3, 1, 2}, "2v2\\", "Anna(h)Cleo(e) vs Dave(u)Bob(o)"},
      {"the host's team first", {{"Host", 0x01, 3}, {"Guest", 0x02, 1}}, {}, "1v1\\",
       "Host(h) vs Guest(o)"},
      {"a host who only watches: teams by number",
       {{"Referee#1", 0x60, 24}, {"Alpha", 0x01, 2}, {"Beta", 0x02, 0}}, {}, "1v1\\",
       "Beta(o) vs Alpha(h)"},
      {"an FFA of four lists every side without a separator",
       {{"Dee", 0x08, 3}, {"Bee", 0x02, 1}, {"Cee", 0x04, 2}, {"Ay", 0x01, 0}}, {}, "FFA\\",
       "Dee(u)Ay(h)Bee(o)Cee(e)"},
      {"a 2v1", {{"A", 0x01, 0}, {"B", 0x02, 0}, {"C", 0x04, 1}}, {}, "FFA\\",
       "A(h)B(o) vs C(e)"},
      {"computers are left out",
       {{"Alpha", 0x01, 0}, {"", 0x02, 1, true}, {"Beta", 0x08, 1}, {"", 0x04, 0, true}},
       {}, "1v1\\", "Alpha(h) vs Beta(u)"},
      {"slots without a record or not in use are left out",
       {{"Alpha", 0x01, 0}, {"Ghost", 0x02, 1, false, false}, {"Open", 0x02, 1, false, true, 0},
        {"Beta", 0x08, 1}},
       {}, "1v1\\", "Alpha(h) vs Beta(u)"},
      {"3v3: the tag goes before names are cut to six",
       {{"BEARAND#1604", 0x01, 0}, {"IcebergSlim#145", 0x02, 0}, {"Taro#1112", 0x41, 1},
        {"TIMG4STRok#1212", 0x01, 0}, {"Musa#1263", 0x02, 1}, {"Ezezsg#1921", 0x01, 1}},
       {}, "3v3\\", "BEARAN(h)Iceber(o)TIMG4S(h) vs Taro(h)Musa(o)Ezezsg(h)"},
      {"4v4 cuts names to five",
       {{"Abcdefg", 1, 0}, {"B", 2, 1}, {"C", 4, 0}, {"D", 8, 1}, {"E", 1, 0}, {"F", 2, 1},
        {"G", 4, 0}, {"Hijklmn", 8, 1}},
       {}, "4v4\\", "Abcde(h)C(e)E(h)G(e) vs B(o)D(u)F(o)Hijkl(u)"},
      {"5v5 is no kvk game",
       {{"Abcdef", 1, 0}, {"B", 1, 1}, {"C", 1, 0}, {"D", 1, 1}, {"E", 1, 0}, {"F", 1, 1},
        {"G", 1, 0}, {"H", 1, 1}, {"I", 1, 0}, {"J", 1, 1}},
       {}, "FFA\\", "Abcd(h)C(h)E(h)G(h)I(h) vs B(h)D(h)F(h)H(h)J(h)"},
  };
  for (uint32_t version : kLayouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", version " << version);
      SyntheticModernReplay replay = ModernGame(c.seats, version);
      replay.record_order = c.record_order;
      Named named = NameWithModern(BuildModernReplay(replay));
      EXPECT_TRUE(named.modern);
      EXPECT_EQ(c.subfolder, named.subfolder);
      EXPECT_EQ(c.body, named.body);
    }
  }
}

TEST(ModernNaming, LadderGamesAreBNetAndTheCommunityLadder) {
  struct Case {
    const char* game_name;
    const char* subfolder;
    const char* body;
  } cases[] = {
      {"BNet", "1v1\\", "Alpha(h) vs Beta(u)"},
      {"bnet", "1v1\\", "Alpha(h) vs Beta(u)"},
      {"w3c-20-LWkSt47Nt-21248", "1v1\\", "Alpha(h) vs Beta(u)"},
      {"W3C-x", "1v1\\", "Alpha(h) vs Beta(u)"},
      {"w3c-", "1v1\\", "Alpha(h) vs Beta(u)"},
      {"w3c", "Custom\\", "w3c"},
      {"w3c_20", "Custom\\", "w3c_20"},
      {"my w3c-game", "Custom\\", "my_w3c_game"},
      {"BNets", "Custom\\", "BNets"},
      {"Local Game", "Custom\\", "Local_Game"},
      {"", "Custom\\", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.game_name);
    SyntheticModernReplay replay = OneVsOne(10100);
    replay.game_name = c.game_name;
    DecodeResult result;
    Named named = NameWithModern(BuildModernReplay(replay), &result);
    EXPECT_EQ(c.subfolder, named.subfolder);
    EXPECT_EQ(c.body, named.body);
    if (!result.ladder) {
      EXPECT_EQ(0, result.players);
    }
  }
}

// Every length the header stores is followed, whatever it holds.
TEST(ModernNaming, EveryLengthIsHonoured) {
  struct Case {
    const char* what;
    Bytes host_extra;
    Bytes player_extra;
    std::string password;
    std::vector<SyntheticMetadata> metadata;
  } cases[] = {
      {"no extra data", {}, {}, "", {}},
      {"one byte", {0x00}, {0x00}, "", {}},
      {"two bytes", {0x00, 0x00}, {0x00, 0x00}, "", {}},
      {"eight bytes that look like records", {0x16, 0x02, 'X', 0, 0x19, 0x08, 0, 0},
       {0x19, 0x07, 0x00, 0x01, 0x16, 0x16, 0x16, 0x16}, "", {}},
      {"a password", {0x00, 0x00}, {}, "hunter2", {}},
      {"metadata records",
       {},
       {},
       "",
       {{0x39, 4, {}},
        {0x39, 3, Bytes(188, 0x19)},
        {0x38, 4, {0x16, 0x01}},
        {0x38, 3, Bytes(300, 0x00)}}},
  };
  for (uint32_t version : kLayouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", version " << version);
      SyntheticModernReplay replay = OneVsOne(version);
      replay.host_extra = c.host_extra;
      replay.player_extra = c.player_extra;
      replay.password = c.password;
      replay.metadata = c.metadata;
      Named named = NameWithModern(BuildModernReplay(replay));
      EXPECT_TRUE(named.modern);
      EXPECT_EQ("1v1\\", named.subfolder);
      EXPECT_EQ("Alpha(h) vs Beta(u)", named.body);

      // A custom game's name is the game name alone; the password stays out.
      replay.game_name = "esl1";
      named = NameWithModern(BuildModernReplay(replay));
      EXPECT_EQ("Custom\\", named.subfolder);
      EXPECT_EQ("esl1", named.body);
    }
  }
}

TEST(ModernNaming, RecordsRunningIntoLaterBlocks) {
  struct Case {
    const char* what;
    size_t metadata;
    size_t block_size;
  } cases[] = {
      {"the slot table in the second block", 8100, 8192},
      {"metadata spanning three blocks", 20000, 8192},
      {"blocks of 64 bytes: records cross block boundaries", 0, 64},
  };
  for (uint32_t version : kLayouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", version " << version);
      SyntheticModernReplay replay = ModernGame(
          {{"Somebody With A Long Name#1234", 0x01, 0}, {"Beta", 0x08, 1}}, version);
      if (c.metadata > 0) replay.metadata = {{0x39, 3, Bytes(c.metadata, 0x19)}};
      replay.block_size = c.block_size;
      replay.file_length = 40000;
      Named named = NameWithModern(BuildModernReplay(replay));
      EXPECT_TRUE(named.modern);
      EXPECT_EQ("Somebody With A Long Name(h) vs Beta(u)", named.body);
    }
  }
}

TEST(ModernNaming, ObserversSitInTeam12BeforeVersion29) {
  struct Case {
    uint32_t version;
    const char* subfolder;
    const char* body;
  } cases[] = {
      {26, "1v1\\", "Alpha(h) vs Beta(u)"},
      {28, "1v1\\", "Alpha(h) vs Beta(u)"},
      {29, "FFA\\", "Alpha(h)Beta(u)Watcher(r)"},
      {10100, "FFA\\", "Alpha(h)Beta(u)Watcher(r)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Named named = NameWithModern(BuildModernReplay(
        ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}, {"Watcher", 0x60, 12}}, c.version)));
    EXPECT_EQ(c.subfolder, named.subfolder);
    EXPECT_EQ(c.body, named.body);
  }
}

TEST(ModernNaming, MoreThanSixteenPlayersKeepTheFirstSixteen) {
  std::vector<SyntheticSeat> seats;
  for (int i = 0; i < 20; ++i) {
    seats.push_back({"Player" + std::to_string(i), 0x01, static_cast<unsigned char>(i % 2)});
  }
  DecodeResult result;
  Named named = NameWithModern(BuildModernReplay(ModernGame(seats)), &result);
  EXPECT_EQ(kPlayerTableSize, result.players);
  EXPECT_EQ(2, result.sides);
  EXPECT_EQ("FFA\\", named.subfolder);
  // The first side's ten, then six of the second, each cut to four characters.
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += "Play(h)";
  expected += " vs ";
  for (int i = 0; i < 6; ++i) expected += "Play(h)";
  EXPECT_EQ(expected, named.body);
}

// Names of the current game carry an account tag; it leaves the file name but
// not the decoded header.
TEST(ModernNaming, AccountTagsAreDroppedFromACopy) {
  struct Case {
    const char* name;
    const char* shown;
  } cases[] = {
      {"anXieTy#2932", "anXieTy(h)"}, {"a#b#12", "a_b(h)"},   {"Tag#", "Tag_(h)"},
      {"#123", "_123(h)"},            {"x#12y", "x_12y(h)"}, {"Ab#1", "Ab(h)"},
      {"NoTag", "NoTag(h)"},          {"1234", "1234(h)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> stored(c.name, c.name + strlen(c.name) + 1);
    PlayerTable[0] = PlayerEntry{stored.data(), 1, 0};
    DecodeResult result = {true, false, 1, "", true, 1};
    char body[kPathSize];
    BuildNameBody(&result, body, sizeof body);
    EXPECT_STREQ(c.shown, body);
    EXPECT_STREQ(c.name, stored.data());
  }
  PlayerTable[0] = PlayerEntry{"", 0, 0};
}

// Everything the length-aware reading cannot follow is read as without -modern.
TEST(ModernReading, FallsBackToTheDefaultReadingWhenLengthsLie) {
  struct Case {
    const char* what;
    Bytes file;
  };
  std::vector<Case> cases;
  for (uint32_t version : kLayouts) {
    SyntheticModernReplay replay = OneVsOne(version);
    replay.table_length = 0xFFFF;
    cases.push_back({"a slot table longer than the data", BuildModernReplay(replay)});
    replay = OneVsOne(version);
    replay.slot_count = 0;
    cases.push_back({"a slot count of 0", BuildModernReplay(replay)});
    replay = OneVsOne(version);
    replay.slot_size = 6;
    cases.push_back({"slots too short for the race", BuildModernReplay(replay)});
    replay = OneVsOne(version);
    replay.slot_table = false;
    cases.push_back({"no slot table", BuildModernReplay(replay)});

    // A metadata length that runs past the data, and one past anything a header
    // buffer could hold.
    for (uint32_t stated : {9000u, 0x7FFFFFFFu}) {
      cases.push_back({"a metadata length past the data",
                       WrapModernHeader(HeaderStatingMetadata(version, stated), version, 8192,
                                        8192)});
    }

    // The data ends inside the host's extra data, and inside the host's name: the
    // block holds exactly that much, with no padding to end it.
    replay = OneVsOne(version);
    replay.host_extra = Bytes(200, 0x01);
    Bytes header = BuildModernHeader(replay);
    header.resize(60);
    cases.push_back({"a host length past the data", WrapModernHeader(header, version, 60, 8192)});
    header.resize(8);
    cases.push_back({"a name that never ends", WrapModernHeader(header, version, 8, 8192)});

    // A first block that gives less than its header says: the second would not
    // join up with it.
    replay = OneVsOne(version);
    replay.metadata = {{0x39, 3, Bytes(8100, 0)}};
    Bytes file = BuildModernReplay(replay);
    file[68 + (version >= 10032 ? 4 : 2)] ^= 0x01;
    cases.push_back({"a block shorter than it says", file});

    file = BuildModernReplay(OneVsOne(version));
    file[0] = 'w';
    cases.push_back({"no leading text", file});
    cases.push_back({"a file header and nothing more", WrapModernHeader({}, version, 8192, 0)});
  }
  cases.push_back({"a classic header", BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}))});
  cases.push_back({"zeros", Bytes(8192, 0)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DecodeResult plain;
    Decode(c.file.data(), c.file.size(), &plain);
    char expected[kPathSize];
    BuildNameBody(&plain, expected, sizeof expected);
    DecodeResult result;
    Named named = NameWithModern(c.file, &result);
    EXPECT_FALSE(named.modern);
    EXPECT_EQ(plain.ladder, result.ladder);
    EXPECT_EQ(plain.players, result.players);
    EXPECT_STREQ(plain.game_name, result.game_name);
    EXPECT_EQ(ChooseSubfolder(&plain), named.subfolder);
    EXPECT_EQ(expected, named.body);
  }
}

// The walk reads only the bytes it is given: run over exact-size heap copies of
// every prefix of a header (where a sanitizer sees any byte read past the end), it
// asks for more until the slot table is whole and completes from there on.
TEST(ModernReading, TheWalkStaysInsideTheDataItIsGiven) {
  SyntheticModernReplay replay = ModernGame(
      {{"Host#1", 0x01, 0}, {"Guest", 0x02, 1}, {"Blizzard", 0x60, 24}, {"", 0x04, 1, true}});
  replay.password = "secret";
  replay.metadata = {{0x38, 4, {1, 2}}, {0x39, 3, Bytes(40, 0x19)}};
  const Bytes header = BuildModernHeader(replay);
  const size_t complete = header.size() - 1;  // all but the record after the slot table
  for (size_t length = 0; length <= header.size(); ++length) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[length]);
    memcpy(copy.get(), header.data(), length);
    ModernHeader walked;
    const ModernVerdict verdict = WalkModernHeader(copy.get(), length, 24, &walked);
    EXPECT_EQ(length < complete ? kModernNeedsMore : kModernComplete, verdict) << length;
    if (verdict == kModernComplete) {
      EXPECT_EQ(2, walked.players);
      EXPECT_EQ(2, walked.sides);
    }
  }
}

// A length no HeaderBuffer could ever hold ends the reading at once; one that
// more blocks could satisfy asks for them.
TEST(ModernReading, LengthsBeyondAnyBufferAreBroken) {
  for (uint32_t stated : {9000u, 0x7FFFFFFFu}) {
    const Bytes header = HeaderStatingMetadata(10100, stated);
    ModernHeader walked;
    EXPECT_EQ(stated == 9000u ? kModernNeedsMore : kModernBroken,
              WalkModernHeader(header.data(), header.size(), 24, &walked));
  }
}

}  // namespace
