#include "naming/name.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "naming/name_template.h"
#include "replay/decode.h"
#include "tests/replay_builder.h"

namespace {

// The path limits names are fitted to: Windows' own, and the one of the path
// buffers, which is what a POSIX system leaves.
const size_t kPathLimits[] = {260, kPathSize};

// Decodes as the pass does, with the reading asked for, in a scratch of its own on
// the heap (128 KB).
DecodeResult Decoded(const Bytes& file, HeaderReading reading = kFixedReading) {
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  DecodeResult result;
  DecodeReplay(file.data(), file.size(), reading, scratch.get(), &result);
  return result;
}

// A ladder result with the given count and nothing else read.
DecodeResult LadderResult(int players, bool ffa = false) {
  DecodeResult result;
  ClearDecodeResult(&result);
  result.ladder = true;
  result.ffa = ffa;
  result.players = players;
  return result;
}

// A name with no date tag and the given subfolder and body.
ReplayName NameOf(const char* subfolder, const std::string& body, const char* tag = "") {
  ReplayName name;
  name.subfolder = subfolder;
  snprintf(name.date_tag, sizeof name.date_tag, "%s", tag);
  snprintf(name.body, sizeof name.body, "%s", body.c_str());
  return name;
}

std::string BodyOf(const SyntheticReplay& replay, DecodeResult* result = nullptr) {
  DecodeResult local = Decoded(BuildReplay(replay));
  if (result != nullptr) *result = local;
  char body[kPathSize];
  BuildNameBody(&local, body, sizeof body);
  return body;
}

TEST(Naming, LadderBodiesListEvenPositionsAgainstOddOnes) {
  struct Case {
    const char* what;
    SyntheticReplay replay;
    const char* body;
    const char* subfolder;
  } cases[] = {
      {"1v1", LadderReplay({{"Alpha", 1}, {"Beta", 8}}), "Alpha(h) vs Beta(u)", "1v1\\"},
      {"2v2", LadderReplay({{"Anna", 2}, {"Bob", 4}, {"Cleo", 0}, {"Dave", 1}}),
       "Anna(o)Cleo(r) vs Bob(e)Dave(h)", "2v2\\"},
      {"3v3 caps names at six",
       LadderReplay({{"Abcdefgh", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 3}, {"F", 15}}),
       "Abcdef(h)C(e)E(r) vs B(o)D(u)F(r)", "3v3\\"},
      {"ffa has no separator", LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}}, true),
       "A(h)C(e)B(o)", "FFA\\"},
      {"five players, not ffa", LadderReplay({{"A", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 1}}),
       "A(h)C(e)E(h) vs B(o)D(u)", "FFA\\"},
      {"observers and referees leave no trace",
       LadderReplay({{"Alpha", 1}, {"Observer", 1}, {"referee", 2}, {"Beta", 8}}),
       "Alpha(h) vs Beta(u)", "2v2\\"},
      {"nobody real", LadderReplay({{"Observer", 1}, {"Referee", 2}}), " vs ", "1v1\\"},
      {"empty names", LadderReplay({{"", 1}, {"", 2}}), " vs ", "1v1\\"},
      {"full stops and question marks", LadderReplay({{"Mr. X?", 4}, {"(Y) Z", 2}}),
       "Mr_ X_(e) vs (Y) Z(o)", "1v1\\"},
  };
  for (const Case& c : cases) {
    DecodeResult result;
    EXPECT_EQ(c.body, BodyOf(c.replay, &result)) << c.what;
    EXPECT_STREQ(c.subfolder, ChooseSubfolder(&result)) << c.what;
  }
}

TEST(Naming, NameCapShrinksWithThePlayerCount) {
  struct Case {
    int players;
    size_t kept;
  } cases[] = {{2, 128}, {3, 128}, {4, 8}, {5, 8}, {6, 6}, {7, 6}, {8, 5}, {9, 4}, {10, 4},
               {16, 4}};
  for (const Case& c : cases) {
    std::vector<SyntheticPlayer> players(c.players, SyntheticPlayer{std::string(200, 'n'), 1});
    SyntheticReplay replay = LadderReplay(players);
    std::string body = BodyOf(replay);
    EXPECT_EQ(std::string(c.kept, 'n') + "(h)", body.substr(0, c.kept + 3)) << c.players;
  }
}

// Names are UTF-8; a cap that falls inside a character drops that whole character.
TEST(Naming, CappedNamesNeverEndInsideAUtf8Character) {
  struct Case {
    const char* name;
    size_t cap;
    const char* kept;
  } cases[] = {
      {"\xD0\xA0\xD0\xBE\xD0\xB7", 4, "\xD0\xA0\xD0\xBE"},  // two-byte letters, cut between
      {"\xD0\xA0\xD0\xBE\xD0\xB7", 5, "\xD0\xA0\xD0\xBE"},  // cut inside the third
      {"\xEC\x95\x88\xEB\x85\x95", 4, "\xEC\x95\x88"},      // three-byte letters
      {"\xEC\x95\x88\xEB\x85\x95", 5, "\xEC\x95\x88"},
      {"\xEC\x95\x88\xEB\x85\x95", 6, "\xEC\x95\x88\xEB\x85\x95"},
      {"\xF0\x9F\x98\x80x", 3, ""},                          // a four-byte character
      {"ab\xF0\x9F\x98\x80", 5, "ab"},
      {"Abcdefgh", 4, "Abcd"},                                // ASCII as ever
      {"Abc\x80\x80", 4, "Abc\x80"},                        // stray bytes stay as they are
  };
  for (const Case& c : cases) {
    char body[64] = "";
    AppendPlayer(body, sizeof body, c.name, 1, c.cap);
    EXPECT_EQ(std::string(c.kept) + "(h)", body) << c.name << " cap " << c.cap;
  }
  // The same rule when a long body is shortened to fit the path.
  std::string wide;
  while (wide.size() < 300) wide += "\xEC\x95\x88";
  for (size_t limit : kPathLimits) {
    const std::string folder = std::string(limit - 40, 'f') + "\\";
    ReplayName name = NameOf("Custom\\", wide);
    ASSERT_TRUE(FitNameBody(&name, folder.c_str(), limit)) << limit;
    EXPECT_LT(strlen(name.body), wide.size()) << limit;
    EXPECT_EQ(0u, strlen(name.body) % 3) << strlen(name.body) << ", limit " << limit;
  }
}

// Whole ladder names of players who write in other alphabets: the letters pass
// as the game wrote them, and where a game's cap falls inside a letter the name
// ends before it.
TEST(Naming, NamesInOtherAlphabetsKeepWholeLetters) {
  const std::string rozovyj = "\xD0\xA0\xD0\xBE\xD0\xB7\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9";
  const std::string annyeong = "\xEC\x95\x88\xEB\x85\x95";
  struct Case {
    int players;
    const char* subfolder;
    std::string body;
  } cases[] = {
      {2, "1v1\\", rozovyj + "(h) vs " + annyeong + "(u)"},
      // A cap of eight ends between the fourth and fifth letter.
      {4, "2v2\\", rozovyj.substr(0, 8) + "(h)A(o) vs " + annyeong + "(u)B(o)"},
      // Six bytes: three two-byte letters, two three-byte ones.
      {6, "3v3\\", rozovyj.substr(0, 6) + "(h)A(o)C(o) vs " + annyeong + "(u)B(o)D(o)"},
      // Five bytes end inside the third letter of one and the second of the other.
      {8, "4v4\\", rozovyj.substr(0, 4) + "(h)A(o)C(o)E(o) vs " + annyeong.substr(0, 3) +
                       "(u)B(o)D(o)F(o)"},
  };
  for (const Case& c : cases) {
    DecodeResult result;
    EXPECT_EQ(c.body, BodyOf(LadderReplay(OtherAlphabetPlayers(c.players)), &result))
        << c.players;
    EXPECT_STREQ(c.subfolder, ChooseSubfolder(&result)) << c.players;
  }
}

TEST(Naming, SubfolderByPlayerCount) {
  struct Case {
    int players;
    const char* subfolder;
  } cases[] = {{0, "FFA\\"}, {1, "FFA\\"}, {2, "1v1\\"}, {3, "FFA\\"}, {4, "2v2\\"},
               {6, "3v3\\"}, {8, "4v4\\"}, {10, "FFA\\"}, {-1, "FFA\\"}};
  for (const Case& c : cases) {
    const DecodeResult result = LadderResult(c.players);
    EXPECT_STREQ(c.subfolder, ChooseSubfolder(&result)) << c.players;
  }
  const DecodeResult ffa = LadderResult(4, true);
  EXPECT_STREQ("FFA\\", ChooseSubfolder(&ffa));
  DecodeResult custom = LadderResult(2);
  custom.ladder = false;
  snprintf(custom.game_name, sizeof custom.game_name, "x");
  EXPECT_STREQ("Custom\\", ChooseSubfolder(&custom));
}

TEST(Naming, PlayerNamesLoseEveryCharacterAFileNameCannotCarry) {
  char text[] = "a\"b\\c/d.e:f*g!h@i#j%k$l;m,n?o<p>q|r\x01s\x1ft u(v)w\x80x~";
  SanitisePlayerName(text);
  EXPECT_STREQ("a_b_c_d_e_f_g_h_i_j_k_l_m_n_o_p_q_r_s_t u(v)w\x80x~", text);
}

TEST(Naming, GameNamesKeepOnlyAsciiLettersAndDigits) {
  char text[] = "my game #2!\xe9Zz09";
  SanitiseGameName(text);
  EXPECT_STREQ("my_game__2__Zz09", text);
}

TEST(Naming, AppendCappedStopsAtTheCapAndTheBuffer) {
  char small[8] = "ab";
  AppendCapped(small, sizeof small, "cdefghijkl", 3);
  EXPECT_STREQ("abcde", small);
  AppendCapped(small, sizeof small, "fghijkl", 100);
  EXPECT_STREQ("abcdefg", small);  // seven characters and the NUL
  AppendCapped(small, sizeof small, "x", 1);
  EXPECT_STREQ("abcdefg", small);
}

TEST(Naming, DateTagIsMonthAndDayOrNothing) {
  struct Case {
    NameDate date;
    const char* tag;
  } cases[] = {
      {{2026, 7, 3, 9, 5, 0}, "[BC0703]"},
      {{2025, 12, 31, 23, 59, 59}, "[BC1231]"},
      {{2024, 1, 1, 0, 0, 0}, "[BC0101]"},
  };
  for (const Case& c : cases) {
    NameOptions options;
    char tag[kDateTagSize] = "left over";
    BuildDateTag(&options, &c.date, tag, sizeof tag);
    EXPECT_STREQ(c.tag, tag);
    options.date_tag = false;
    BuildDateTag(&options, &c.date, tag, sizeof tag);
    EXPECT_STREQ("", tag);
  }
}

TEST(Naming, CandidatesCountUpInSquareBrackets) {
  char path[kPathSize];
  ReplayName name = NameOf("1v1\\", "B");
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", &name, 0));
  EXPECT_STREQ("R\\1v1\\B.w3g", path);
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", &name, 17));
  EXPECT_STREQ("R\\1v1\\B[17].w3g", path);
  name = NameOf("1v1\\", "B", "[BC0730]");
  ASSERT_TRUE(ComposeCandidate(path, sizeof path, "R\\", &name, 2));
  EXPECT_STREQ("R\\1v1\\[BC0730]B[2].w3g", path);
  EXPECT_FALSE(ComposeCandidate(path, 10, "R\\", &name, 2));
}

TEST(Naming, BodiesAreFittedToThePathLimitAndClearOfDeviceNames) {
  std::string folder(100, 'f');
  folder += "\\";
  for (size_t limit : kPathLimits) {
    SCOPED_TRACE(limit);
    ReplayName name = NameOf("Custom\\", std::string(kPathSize - 1, 'b'));
    ASSERT_TRUE(FitNameBody(&name, folder.c_str(), limit));
    char path[kPathSize];
    ASSERT_TRUE(ComposeCandidate(path, sizeof path, folder.c_str(), &name, 999));
    // Limited by the path on Windows, by the 255-character file name elsewhere.
    const size_t longest = std::min<size_t>(limit - 1, folder.size() + 7 + 255);
    EXPECT_EQ(longest, strlen(path));
    EXPECT_STREQ(".w3g", path + strlen(path) - 4);

    std::string huge(limit, 'f');
    EXPECT_FALSE(FitNameBody(&name, huge.c_str(), limit));
  }

  struct Case {
    const char* body;
    const char* fitted;
  } cases[] = {{"CON", "CON_"}, {"nul", "nul_"}, {"Com7", "Com7_"}, {"LPT1", "LPT1_"},
               {"COM0", "COM0"}, {"CONSOLE", "CONSOLE"}, {"", "Replay"},
               // Superscript one to three (UTF-8, as names are written) are port digits
               // to Windows too; four and beyond, or a second digit, are not.
               {"COM\xC2\xB9", "COM\xC2\xB9_"}, {"com\xC2\xB2", "com\xC2\xB2_"},
               {"LPT\xC2\xB3", "LPT\xC2\xB3_"}, {"lpt\xC2\xB3 .v", "lpt\xC2\xB3_ .v"},
               {"COM\xC2\xB9.x", "COM\xC2\xB9_.x"}, {"COM\xE2\x81\xB4", "COM\xE2\x81\xB4"},
               {"COM\xC2\xB9\xC2\xB9", "COM\xC2\xB9\xC2\xB9"}, {"CON\xC2\xB9", "CON\xC2\xB9"},
               {"AUX\xC2\xB2", "AUX\xC2\xB2"}, {"COM\xC2\xB0", "COM\xC2\xB0"}};
  for (const Case& c : cases) {
    ReplayName name = NameOf("Custom\\", c.body);
    ASSERT_TRUE(FitNameBody(&name, "R\\", 260));
    EXPECT_STREQ(c.fitted, name.body);
  }
  // Behind a date tag the name is no device name, and an empty body no empty name.
  for (const char* body : {"CON", ""}) {
    ReplayName tagged = NameOf("Custom\\", body, "[BC0730]");
    ASSERT_TRUE(FitNameBody(&tagged, "R\\", 260));
    EXPECT_STREQ(body, tagged.body);
  }
  // The name an empty body gets is cut to the room there is; with no room for a
  // letter the copy is still made, under the empty name.
  const size_t fixed = strlen("Custom\\") + strlen("[999].w3g") + 1;
  for (size_t limit : kPathLimits) {
    SCOPED_TRACE(limit);
    std::string near(limit - fixed - 3, 'f');
    ReplayName name = NameOf("Custom\\", "");
    ASSERT_TRUE(FitNameBody(&name, near.c_str(), limit));
    EXPECT_STREQ("Rep", name.body);
    near += "fff";
    name = NameOf("Custom\\", "");
    ASSERT_TRUE(FitNameBody(&name, near.c_str(), limit));
    EXPECT_STREQ("", name.body);
  }
}

// The pieces of a name one by one: race letters, where a cut may fall inside
// UTF-8, and which bodies Windows would take for a device.
TEST(Naming, RaceLettersCutPointsAndDeviceStems) {
  const struct {
    int race;
    char letter;
  } races[] = {{1, 'h'}, {2, 'o'}, {4, 'e'}, {8, 'u'}, {0, 'r'}, {3, 'r'}, {15, 'r'}, {32, 'r'}};
  for (const auto& c : races) EXPECT_EQ(c.letter, RaceLetter(c.race)) << c.race;

  const struct {
    const char* text;
    size_t length;
    size_t cut;
  } cuts[] = {
      {"abc", 2, 2},
      {"\xD0\xA0\xD0\xBE", 3, 2},        // inside the second two-byte letter
      {"\xD0\xA0\xD0\xBE", 4, 4},        // between letters
      {"\xEC\x95\x88x", 2, 0},            // inside a three-byte letter
      {"\xF0\x9F\x98\x80", 3, 0},        // inside a four-byte character
      {"\xF0\x9F\x98\x80", 4, 4},
      {"a\x80\x80\x80\x80", 5, 5},       // stray continuation bytes stay
      {"", 0, 0},
  };
  for (const auto& c : cuts) {
    EXPECT_EQ(c.cut, Utf8CutPoint(c.text, c.length)) << c.text << " at " << c.length;
  }

  const struct {
    const char* body;
    size_t stem;
  } stems[] = {{"CON", 3}, {"con.x", 3}, {"Aux  .txt", 3}, {"LPT9", 4}, {"com1 ", 4},
               {"COM0", 0}, {"CONSOLE", 0}, {"xCON", 0}, {" CON", 0}, {"", 0},
               {"NUL_", 0}, {"PRN.CON", 3}};
  for (const auto& c : stems) EXPECT_EQ(c.stem, DeviceStemLength(c.body)) << c.body;
}

// BuildName is what the filing names a replay by; PrepareName fits it below a
// folder. Without a template the date tag stands apart; with one, the template
// has placed it and the tag is empty.
TEST(Naming, BuildNameKeepsTheTagApartUnlessATemplatePlacedIt) {
  const DecodeResult result = Decoded(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
  const NameDate date = {2026, 7, 30, 21, 5, 9};
  struct Case {
    bool date_tag;
    const char* name_template;
    const char* tag;
    const char* body;
  } cases[] = {
      {true, "", "[BC0730]", "Alpha(h) vs Beta(u)"},
      {false, "", "", "Alpha(h) vs Beta(u)"},
      {true, "{date}{players}{game}", "[BC0730]", "Alpha(h) vs Beta(u)"},
      {true, "{players} {date}", "", "Alpha(h) vs Beta(u) [BC0730]"},
      {false, "{players} {date}", "", "Alpha(h) vs Beta(u) "},
      {true, "{hour}{minute}", "", "2105"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name_template);
    NameOptions options;
    options.date_tag = c.date_tag;
    snprintf(options.name_template, sizeof options.name_template, "%s", c.name_template);
    ReplayName name;
    BuildName(&result, &options, &date, &name);
    EXPECT_STREQ("1v1\\", name.subfolder);
    EXPECT_STREQ(c.tag, name.date_tag);
    EXPECT_STREQ(c.body, name.body);

    ReplayName prepared;
    ASSERT_TRUE(PrepareName(&result, &options, &date, "R:\\", 260, &prepared));
    EXPECT_STREQ(c.tag, prepared.date_tag);
    EXPECT_STREQ(c.body, prepared.body);
    // No room for even an empty body: no name.
    EXPECT_FALSE(PrepareName(&result, &options, &date, std::string(250, 'f').c_str(), 260,
                             &prepared));
  }
}

// The length-aware reading, named: below 10032 blocks have 8-byte headers, from
// it on 12-byte ones.
const uint32_t kLayouts[] = {10031, 10032};

struct Named {
  bool modern;
  std::string subfolder;
  std::string body;
};

Named NameWithModern(const Bytes& file, DecodeResult* out = nullptr) {
  const DecodeResult result = Decoded(file, kLengthReading);
  char body[kPathSize];
  BuildNameBody(&result, body, sizeof body);
  if (out != nullptr) *out = result;
  return Named{result.modern, ChooseSubfolder(&result), body};
}

SyntheticModernReplay OneVsOne(uint32_t version) {
  return ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}, version);
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
    DecodeResult result = LadderResult(1);
    result.modern = true;
    result.sides = 1;
    snprintf(result.player[0].name, sizeof result.player[0].name, "%s", c.name);
    result.player[0].race = 1;
    char body[kPathSize];
    BuildNameBody(&result, body, sizeof body);
    EXPECT_STREQ(c.shown, body);
    EXPECT_STREQ(c.name, result.player[0].name);
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Game names with -modern: the letters and digits of every alphabet stay whole

// Written byte for byte, so that no code page comes between.
const char kChinese[] = "\xE5\x8D\x81\xE6\x96\xB9\xE6\x99\xAE\xE8\xB4\xA4";  // 十方普贤
const char kKorean[] = "\xEC\x95\x88\xEB\x85\x95";                                // 안녕
const char kRussian[] = "\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0";                      // Игра
const char kIdeographicSpace[] = "\xE3\x80\x80";
const char kFullwidthBang[] = "\xEF\xBC\x81";  // ！

TEST(ModernNaming, GameNamesKeepTheLettersOfEveryAlphabet) {
  const std::string chinese = kChinese;
  const std::string korean = kKorean;
  const std::string russian = kRussian;
  const struct Case {
    std::string name;
    std::string modern;   // with -modern
    std::string classic;  // without: every byte that is no ASCII letter or digit
  } cases[] = {
      {chinese + "          ", chinese, std::string(12 + 10, '_')},
      {"  " + korean + " 2v2 ", korean + "_2v2", "__" + std::string(6, '_') + "_2v2_"},
      {russian + "!", russian + "_", std::string(8, '_') + "_"},
      {std::string(kIdeographicSpace) + "4\xE6\x9C\x88" + kIdeographicSpace, "4\xE6\x9C\x88",
       "___4" + std::string(6, '_')},
      {"Headshot" + std::string(kFullwidthBang) + " vs x", "Headshot__vs_x",
       "Headshot____vs_x"},
      {"my game #2!", "my_game__2_", "my_game__2_"},
      {"caf\xC3\xA9 \xE2\x82\xAC" "5", "caf\xC3\xA9__5", "caf" + std::string(6, '_') + "5"},
      {"\xF0\x9F\x98\x80 party", "__party", "_____party"},  // an emoji is no letter
      {"a\xFF\xC3z", "a__z", "a__z"},  // bytes of no UTF-8 character
      {"   ", "", "___"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    char modern[kPathSize];
    snprintf(modern, sizeof modern, "%s", c.name.c_str());
    SanitiseGameNameAnyAlphabet(modern);
    EXPECT_EQ(c.modern, modern) << c.name;
    char classic[kPathSize];
    snprintf(classic, sizeof classic, "%s", c.name.c_str());
    SanitiseGameName(classic);
    EXPECT_EQ(c.classic, classic) << c.name;
  }
}

TEST(ModernNaming, WhatCountsAsALetterOrADigit) {
  const struct Case {
    uint32_t code;
    bool letter;
  } cases[] = {
      {'a', true},    {'Z', true},     {'7', true},     {' ', false},    {'_', false},
      {'#', false},   {0xA0, false},   {0xAA, true},    {0xB2, true},    {0xD7, false},
      {0xE9, true},   {0x0418, true},  {0x05D0, true},  {0x0627, true},  {0x0E01, true},
      {0x3000, false}, {0x3001, false}, {0x3005, true}, {0x3042, true},  {0x4E00, true},
      {0xAC00, true}, {0xFF01, false}, {0xFF10, true},  {0xFF21, true},  {0x2014, false},
      {0x20AC, false}, {0x2605, false}, {0xE000, false}, {0x1F600, false}, {0x20000, true},
      {0x110000, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.letter, IsNameLetter(c.code)) << std::hex << c.code;
}

// The name body and {game}: with -modern, the game name of any reading keeps its
// letters; without, as always. A long name is cut between letters, never inside one.
TEST(ModernNaming, TheBodyAndTheGameFieldOfAGameNameInAnyAlphabet) {
  const std::string chinese = kChinese;
  SyntheticModernReplay modern = ModernGame({{"Host", 0x01, 0}, {"Guest", 0x02, 1}}, 10032);
  modern.game_name = chinese + "   ";
  const Bytes current = BuildModernReplay(modern);
  const Bytes classic = BuildReplay(CustomReplay(" " + chinese + " "));
  const struct Case {
    const char* what;
    const Bytes* file;
    HeaderReading reading;
    std::string body;
  } cases[] = {
      {"a current game with -modern", &current, kLengthReading, chinese},
      {"a classic game with -modern, read by the fixed distances", &classic, kLengthReading,
       chinese},
      {"a classic game without", &classic, kFixedReading, std::string(14, '_')},
  };
  for (const Case& c : cases) {
    const DecodeResult result = Decoded(*c.file, c.reading);
    EXPECT_FALSE(result.ladder) << c.what;
    char body[kPathSize];
    BuildNameBody(&result, body, sizeof body);
    EXPECT_EQ(c.body, body) << c.what;
    char game[kPathSize];
    const NameDate date = {2026, 7, 30, 21, 5, 9};
    FillNameTemplate("[{game}]", &result, "Custom\\", "", &date, game, sizeof game);
    EXPECT_EQ("[" + c.body + "]", game) << c.what;
  }

  // Fitted to a short path, the name loses whole letters from its end.
  std::string long_name;
  for (int i = 0; i < 40; ++i) long_name += chinese;
  modern.game_name = long_name;
  const DecodeResult result = Decoded(BuildModernReplay(modern), kLengthReading);
  ReplayName name;
  NameOptions options;
  options.date_tag = false;
  const NameDate date = {2026, 7, 30, 21, 5, 9};
  ASSERT_TRUE(PrepareName(&result, &options, &date, "C:\\R\\", 100, &name));
  const size_t kept = strlen(name.body);
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(0u, kept % 3) << name.body;  // three bytes a letter
  EXPECT_EQ(0, strncmp(long_name.c_str(), name.body, kept));
}

}  // namespace
