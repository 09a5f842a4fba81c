#include "replay/modern.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "replay/decode.h"
#include "tests/replay_builder.h"

namespace {

// Below 10032 blocks have 8-byte headers, from it on 12-byte ones.
const uint32_t kLayouts[] = {10031, 10032};

// Decodes with -modern, in a scratch of its own on the heap (128 KB).
DecodeResult DecodeWithModern(const Bytes& file) {
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  DecodeResult result;
  DecodeReplay(file.data(), file.size(), kLengthReading, scratch.get(), &result);
  return result;
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

// The length-aware reading groups players by side (the host's first) and keeps
// each name whole, account tag included; computers, observers and slots without
// a player record are no players.
TEST(ModernReading, PlayersAreGroupedBySideWithTheirNamesAsStored) {
  struct Seat {
    const char* name;
    int race;
    int side;
  };
  SyntheticModernReplay replay = ModernGame(
      {{"Anna#12", 0x41, 1}, {"Bob", 0x02, 0}, {"", 0x04, 0, true}, {"Cleo", 0x04, 1},
       {"Dave#9", 0x28, 0}, {"Blizzard", 0x60, 24}, {"Ghost", 0x02, 0, false, false}});
  replay.record_order = {4, 3, 1, 5};
  replay.settings = MapSettings("Maps/(4)TwistedMeadows.w3x");
  const Seat expected[] = {{"Anna#12", 1, 0}, {"Cleo", 4, 0}, {"Dave#9", 8, 1}, {"Bob", 2, 1}};
  for (uint32_t version : kLayouts) {
    SCOPED_TRACE(version);
    replay.version = version;
    const DecodeResult result = DecodeWithModern(BuildModernReplay(replay));
    ASSERT_TRUE(result.modern);
    EXPECT_TRUE(result.ladder);
    EXPECT_FALSE(result.ffa);
    EXPECT_EQ(2, result.sides);
    ASSERT_EQ(4, result.players);
    for (int i = 0; i < 4; ++i) {
      EXPECT_STREQ(expected[i].name, result.player[i].name) << i;
      EXPECT_EQ(expected[i].race, result.player[i].race) << i;
      EXPECT_EQ(expected[i].side, result.player[i].side) << i;
    }
    for (int i = 4; i < kPlayerTableSize; ++i) EXPECT_STREQ("", result.player[i].name) << i;
    EXPECT_STREQ("Maps/(4)TwistedMeadows.w3x", result.map_path);
  }
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

  // Equal in every field a name is built from, the result names the replay as the
  // default reading does.
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DecodeResult plain;
    Decode(c.file.data(), c.file.size(), scratch.get(), &plain);
    const DecodeResult result = DecodeWithModern(c.file);
    EXPECT_FALSE(result.modern);
    EXPECT_EQ(plain.ladder, result.ladder);
    EXPECT_EQ(plain.ffa, result.ffa);
    EXPECT_EQ(plain.players, result.players);
    EXPECT_EQ(plain.sides, result.sides);
    EXPECT_STREQ(plain.game_name, result.game_name);
    EXPECT_STREQ(plain.map_path, result.map_path);
    EXPECT_EQ(plain.length_ms, result.length_ms);
    for (int i = 0; i < kPlayerTableSize; ++i) {
      EXPECT_STREQ(plain.player[i].name, result.player[i].name) << i;
      EXPECT_EQ(plain.player[i].race, result.player[i].race) << i;
      EXPECT_EQ(plain.player[i].side, result.player[i].side) << i;
    }
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

// A length no scratch could ever hold ends the reading at once; one that
// more blocks could satisfy asks for them.
TEST(ModernReading, LengthsBeyondAnyBufferAreBroken) {
  for (uint32_t stated : {9000u, 0x7FFFFFFFu}) {
    const Bytes header = HeaderStatingMetadata(10100, stated);
    ModernHeader walked;
    EXPECT_EQ(stated == 9000u ? kModernNeedsMore : kModernBroken,
              WalkModernHeader(header.data(), header.size(), 24, &walked));
  }
}

// A replay is whole by its lengths when its declared size is the file's, and its
// declared blocks, walked by their packed sizes, end where the file does: in both
// block header layouts. Anything cut, padded or miscounted is not.
TEST(ReadsWholeByLengths, OnlyAFileItsLengthsAccountForIsWhole) {
  for (uint32_t version : {10030u, 10100u}) {
    SCOPED_TRACE(version);
    SyntheticModernReplay game = ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}}, version);
    game.block_size = 600;  // several blocks
    const Bytes whole = BuildWholeModernReplay(game);
    ASSERT_LT(whole.size(), 5120u);
    EXPECT_TRUE(ReadsWholeByLengths(whole.data(), whole.size()));

    auto with = [&whole](size_t at, unsigned char value) {
      Bytes changed = whole;
      changed[at] = value;
      return changed;
    };
    Bytes cut(whole.begin(), whole.end() - 1);
    cut[0x20] = static_cast<unsigned char>(cut.size());  // the declared size agrees
    cut[0x21] = static_cast<unsigned char>(cut.size() >> 8);
    Bytes padded = whole;
    padded.push_back(0);
    padded[0x20] = static_cast<unsigned char>(padded.size());
    padded[0x21] = static_cast<unsigned char>(padded.size() >> 8);
    const struct Case {
      const char* what;
      Bytes file;
    } broken[] = {
        {"cut by a byte", cut},
        {"a byte after the last block", padded},
        {"declared size off by one", with(0x20, static_cast<unsigned char>(whole[0x20] + 1))},
        {"one block more declared", with(0x2C, static_cast<unsigned char>(whole[0x2C] + 1))},
        {"one block fewer declared", with(0x2C, static_cast<unsigned char>(whole[0x2C] - 1))},
        {"no leading text", with(0, 'w')},
        {"header size past the end", with(0x1E, 0x7F)},
        {"the file header alone", Bytes(whole.begin(), whole.begin() + 0x44)},
    };
    for (const Case& c : broken) {
      EXPECT_FALSE(ReadsWholeByLengths(c.file.data(), c.file.size())) << c.what;
    }
  }
}

}  // namespace

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct ReadShape {
  const char* what;
  Bytes file;
  bool ladder;
  const char* game_name;
  int sides;
  std::vector<std::string> players;  // name(race letter), in naming order
  long long length_ms;
};

std::string Seen(const PlayerEntry& player) {
  return std::string(player.name) + "(" + std::to_string(player.race) + ")";
}

// The length-aware reading of every shape a replay comes in: an empty slot table
// (the player records are the players, each a side), the oldest file header, a
// NetEase container, bytes after the last block. Without -modern a container is
// read as it always was: as the file it is.
TEST(ModernReading, EveryShapeOfFileIsReadByItsLengths) {
  SyntheticModernReplay noslots = ModernGame({{"Alpha", 0x02, 0}, {"Beta", 0x04, 0}}, 18);
  noslots.empty_slot_table = true;
  SyntheticModernReplay three = noslots;
  three.seats.push_back({"Gamma", 0x08, 0});
  SyntheticModernReplay oldest = ModernGame(
      {{"Alpha", 0x01, 0}, {"Obs", 0x20, 12}, {"Beta", 0x08, 1}}, 2);
  oldest.oldest_header = true;
  oldest.game_name = "final";
  oldest.host_extra = {0};
  oldest.player_extra = {0};
  oldest.slot_size = 7;
  SyntheticModernReplay oldest_ladder = oldest;
  oldest_ladder.game_name = "BNet";
  const Bytes plain = BuildWholeModernReplay(OneVsOne(10032));
  const std::vector<ReadShape> cases = {
      {"an empty slot table", BuildModernReplay(noslots), true, "", 2, {"Alpha(2)", "Beta(4)"}, 0},
      {"an empty slot table of three", BuildModernReplay(three), true, "", 3,
       {"Alpha(2)", "Beta(4)", "Gamma(8)"}, 0},
      {"the oldest header, a custom game", BuildModernReplay(oldest), false, "final", 0, {}, 0},
      {"the oldest header, a ladder game", BuildModernReplay(oldest_ladder), true, "", 2,
       {"Alpha(1)", "Beta(8)"}, 0},
      {"a plain replay", plain, true, "", 2, {"Alpha(1)", "Beta(8)"}, 0},
      {"in a NetEase container", InNetEaseContainer(plain), true, "", 2, {"Alpha(1)", "Beta(8)"},
       0},
      {"the platform's data after it", Cat({plain, PlatformDataTail()}), true, "", 2,
       {"Alpha(1)", "Beta(8)"}, 0},
  };
  for (const ReadShape& c : cases) {
    SCOPED_TRACE(c.what);
    const DecodeResult result = DecodeWithModern(c.file);
    EXPECT_TRUE(result.modern);
    EXPECT_TRUE(result.any_alphabet);
    EXPECT_EQ(c.ladder, result.ladder);
    EXPECT_STREQ(c.game_name, result.game_name);
    EXPECT_EQ(c.sides, result.sides);
    EXPECT_EQ(c.sides > 2, result.ffa);
    std::vector<std::string> players;
    for (int i = 0; i < result.players; ++i) players.push_back(Seen(result.player[i]));
    EXPECT_EQ(c.players, players);
  }

  // Without -modern the container is read as the file it is: no replay at offset 76.
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  const Bytes contained = InNetEaseContainer(BuildModernReplay(OneVsOne(10031)));
  DecodeResult fixed;
  DecodeReplay(contained.data(), contained.size(), kFixedReading, scratch.get(), &fixed);
  EXPECT_FALSE(fixed.ladder);
  EXPECT_STREQ("", fixed.game_name);
  EXPECT_FALSE(fixed.any_alphabet);
  const DecodeResult modern = DecodeWithModern(contained);
  EXPECT_TRUE(modern.ladder);
  EXPECT_EQ(2, modern.players);
}

// The oldest header keeps the game's length at 0x38, not 0x3C: the length-aware
// reading takes it from there.
TEST(ModernReading, TheOldestHeadersLength) {
  SyntheticModernReplay oldest = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}, 2);
  oldest.oldest_header = true;
  oldest.host_extra = {0};
  oldest.player_extra = {0};
  Bytes file = BuildModernReplay(oldest);
  const uint32_t length = 441925;
  for (int k = 0; k < 4; ++k) file[0x38 + k] = static_cast<unsigned char>(length >> (8 * k));
  file[0x3C] = 0x6F;  // a checksum there
  EXPECT_EQ(441925, DecodeWithModern(file).length_ms);
}

// Where the replay ends is where its lengths say: what a platform puts after the
// last block, or before the replay in a container, does not make it less whole.
TEST(ReadsWholeByLengths, APlatformsBytesBeforeOrAfterTheReplayAreNotIt) {
  SyntheticModernReplay game = ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}}, 10032);
  game.block_size = 600;
  const Bytes whole = BuildWholeModernReplay(game);
  SyntheticModernReplay old_game = game;
  old_game.version = 2;
  old_game.oldest_header = true;
  const Bytes cut(whole.begin(), whole.end() - 1);
  const struct Case {
    const char* what;
    Bytes file;
    bool whole;
  } cases[] = {
      {"a signature after it", Cat({whole, SignatureTail()}), true},
      {"in a container", InNetEaseContainer(whole), true},
      {"in a container, the platform's data after it",
       InNetEaseContainer(Cat({whole, PlatformDataTail()})), true},
      {"the oldest header", BuildWholeModernReplay(old_game), true},
      {"cut, in a container", InNetEaseContainer(cut), false},
      {"a container whose replay is not where it says",
       [&whole] {
         Bytes file = InNetEaseContainer(whole);
         file[0x0C] += 1;
         return file;
       }(),
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.whole, ReadsWholeByLengths(c.file.data(), c.file.size())) << c.what;
  }
}

}  // namespace
