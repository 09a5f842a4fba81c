#include "naming/name_template.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "naming/name.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "replay/modern.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"

namespace {

std::string MapFileOf(const char* path) {
  char out[kMapPathSize];
  MapFileName(path, out, sizeof out);
  return out;
}

std::string MapOf(const char* path) {
  char map_file[kMapPathSize];
  MapFileName(path, map_file, sizeof map_file);
  char out[kMapPathSize];
  SpokenMapName(map_file, out, sizeof out);
  return out;
}

std::string LengthOf(long long milliseconds) {
  char out[32];
  FormatGameLength(milliseconds, out, sizeof out);
  return out;
}

// Decodes a replay with the reading asked for, or only its first length bytes, in
// a scratch of its own on the heap (128 KB).
DecodeResult DecodeWith(const Bytes& file, bool modern, size_t length = 0) {
  std::unique_ptr<DecodeScratch> scratch(new DecodeScratch);
  if (length == 0) length = file.size();
  DecodeResult result;
  if (modern) {
    EXPECT_TRUE(DecodeModern(file.data(), length, scratch.get(), &result));
  } else {
    Decode(file.data(), length, scratch.get(), &result);
  }
  return result;
}

TEST(MapNames, FileNameAndSpokenName) {
  struct Case {
    const char* path;
    const char* map_file;
    const char* map;
  } cases[] = {
      {"Maps/FrozenThrone/(4)TwistedMeadows.w3x", "TwistedMeadows", "TwistedMeadows"},
      {"Maps\\w3arena\\w3arena__maelstrom__v2.w3x", "w3arena__maelstrom__v2", "maelstrom"},
      {"maps\\W3Champions\\54_w3c_251104_0950_Tidehunters_v1.2.w3x",
       "54_w3c_251104_0950_Tidehunters_v1.2", "Tidehunters"},
      {"Maps/W3Champions/v10/w3c_AutumnLeaves_v2-0.w3x", "w3c_AutumnLeaves_v2-0", "AutumnLeaves"},
      {"Maps/Download/(2)LastRefuge-1.3.w3x", "LastRefuge-1.3", "LastRefuge"},
      {"Maps/wowr/wowr4.0.w3x", "wowr4.0", "wowr4.0"},
      {"Maps/(2)TerenasStand_LV.w3x", "TerenasStand_LV", "TerenasStand_LV"},
      {"Maps/#UNFORGED//(4)LostTemple [Unforged 0.5 RoC].w3x", "LostTemple [Unforged 0.5 RoC]",
       "LostTemple [Unforged 0.5 RoC]"},
      // No folder, no extension, both missing.
      {"(2)Amazonia.w3m", "Amazonia", "Amazonia"},
      {"Maps/Download/(2)LastRefuge-1.3", "LastRefuge-1.3", "LastRefuge"},
      {"Echo Isles v2", "Echo Isles v2", "Echo Isles"},
      // Nothing but a ladder's prefix: the file name stands.
      {"Maps/w3c_.w3x", "w3c_", "w3c_"},
      {"Maps/W3C_251104_0950_2v2_.w3x", "W3C_251104_0950_2v2_", "W3C_251104_0950_2v2_"},
      {"Maps/_v2.w3x", "_v2", "_v2"},
      // Prefixes ignore case; a number alone is no prefix.
      {"W3ARENA__1v1_Ruins.w3x", "W3ARENA__1v1_Ruins", "Ruins"},
      {"12_W3C_3V3_Ruins_v1.w3x", "12_W3C_3V3_Ruins_v1", "Ruins"},
      {"54_Ruins.w3x", "54_Ruins", "54_Ruins"},
      {"w3c_5v5_Ruins.w3x", "w3c_5v5_Ruins", "5v5_Ruins"},
      // The anon mark, then a version before it.
      {"Ruins_anon.w3x", "Ruins_anon", "Ruins"},
      {"Ruins_v3.anon.w3x", "Ruins_v3.anon", "Ruins"},
      {"Ruins-1_2-3.w3x", "Ruins-1_2-3", "Ruins"},
      {"Ruins - 7.w3x", "Ruins - 7", "Ruins"},
      {"Ruins_2v.w3x", "Ruins_2v", "Ruins_2v"},
      {"Ruins1.2.w3x", "Ruins1.2", "Ruins1.2"},
      // Non-Latin letters pass as they are.
      {"Maps/(2)\xd0\x90\xd0\xbc\xd0\xb0\xd0\xb7\xd0\xbe\xd0\xbd\xd0\xb8\xd1\x8f_v2.w3x",
       "\xd0\x90\xd0\xbc\xd0\xb0\xd0\xb7\xd0\xbe\xd0\xbd\xd0\xb8\xd1\x8f_v2",
       "\xd0\x90\xd0\xbc\xd0\xb0\xd0\xb7\xd0\xbe\xd0\xbd\xd0\xb8\xd1\x8f"},
      {"", "", ""},
      {"Maps/", "", ""},
      {"Maps/(4)", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.map_file, MapFileOf(c.path)) << c.path;
    EXPECT_EQ(c.map, MapOf(c.path)) << c.path;
  }
}

TEST(MapNames, GameLengthInMinutesAndFromAnHourOnInHours) {
  struct Case {
    long long milliseconds;
    const char* text;
  } cases[] = {
      {-1, ""},          {0, "0m00s"},          {2999, "0m02s"},
      {1091999, "18m11s"}, {3599999, "59m59s"}, {3600000, "1h00m00s"},
      {6426000, "1h47m06s"}, {0xFFFFFFFFLL, "1193h02m47s"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, LengthOf(c.milliseconds)) << c.milliseconds;
}

TEST(MapPath, DecodedFromTheSettingsStringInBothReadings) {
  const char* kArabic = "Maps/(2)\xd8\xa7\xd9\x84\xd9\x88\xd8\xa7\xd8\xad\xd8\xa9.w3x";
  for (const char* path : {"(2)Amazonia.w3x", "Maps/Download/(2)LastRefuge-1.3", "w3c_",
                           kArabic, "x"}) {
    SyntheticReplay ladder = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
    ladder.settings = MapSettings(path);
    SyntheticReplay custom = CustomReplay("my game");
    custom.settings = MapSettings(path);
    SyntheticModernReplay modern = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}});
    modern.settings = MapSettings(path);
    modern.password = "hunter2";
    EXPECT_STREQ(path, DecodeWith(BuildReplay(ladder), false).map_path) << path;
    EXPECT_STREQ(path, DecodeWith(BuildReplay(custom), false).map_path) << path;
    EXPECT_STREQ(path, DecodeWith(BuildModernReplay(modern), true).map_path) << path;
  }
}

TEST(MapPath, ASettingsStringThatEndsEarlyGivesNoMap) {
  const std::string full = MapSettings("Maps/(2)Amazonia.w3x");
  Bytes decoded(13, 0x41);
  const std::string ends_in_the_settings = EncodeSettings(Bytes(decoded.begin(), decoded.begin() + 9));
  decoded.push_back('M');
  decoded.push_back('a');
  const std::string ends_in_the_path = EncodeSettings(decoded);  // no NUL after the path
  for (const std::string& settings : {ends_in_the_settings, ends_in_the_path, std::string()}) {
    SyntheticReplay custom = CustomReplay("g");
    custom.settings = settings;
    SyntheticModernReplay modern = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}});
    modern.settings = settings;
    EXPECT_STREQ("", DecodeWith(BuildReplay(custom), false).map_path);
    EXPECT_STREQ("", DecodeWith(BuildModernReplay(modern), true).map_path);
  }
  // The data itself may end before the path's NUL; nothing past it is read.
  const Bytes data(full.begin(), full.begin() + 20);
  char out[64] = "unchanged";
  EXPECT_EQ(-1, DecodeMapPath(data.data(), data.size(), 0, out, sizeof out));
  EXPECT_STREQ("", out);
  const Bytes whole(full.begin(), full.end());
  EXPECT_EQ(20, DecodeMapPath(whole.data(), whole.size(), 0, out, sizeof out));
  EXPECT_STREQ("Maps/(2)Amazonia.w3x", out);
  // A path that does not fit the buffer is none, not a cut one.
  EXPECT_EQ(-1, DecodeMapPath(whole.data(), whole.size(), 0, out, 20));
  EXPECT_EQ(20, DecodeMapPath(whole.data(), whole.size(), 0, out, 21));
}

TEST(GameLength, ReadFromTheFileHeaderInBothReadings) {
  SyntheticReplay ladder = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  Bytes classic = BuildReplay(ladder);
  SetGameLength(&classic, 1091999);
  Bytes modern = BuildModernReplay(ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}));
  SetGameLength(&modern, 6426000);
  EXPECT_EQ(1091999, DecodeWith(classic, false).length_ms);
  EXPECT_EQ(6426000, DecodeWith(modern, true).length_ms);
  // A file too short to hold the field has no length.
  EXPECT_EQ(-1, DecodeWith(classic, false, kGameLengthOffset + 3).length_ms);
}

// One row of expected-fields.tsv.
struct FieldsRow {
  std::string file, path, map_file, map, length;
};

std::vector<FieldsRow> ReadFieldsRows() {
  std::vector<FieldsRow> rows;
  Bytes text;
  if (RealReplayFolder().empty() ||
      !ReadWholeFile(RealReplayFolder() + "expected-fields.tsv", &text)) {
    return rows;
  }
  std::string all(text.begin(), text.end());
  size_t start = all.find('\n');
  while (start != std::string::npos && start + 1 < all.size()) {
    const size_t end = all.find('\n', start + 1);
    std::string line = all.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> cells = SplitTabs(line);
    if (cells.size() == 5) rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
    start = end;
  }
  return rows;
}

TEST(RealReplays, MapAndLengthAsTheGameStoredThem) {
  const std::vector<FieldsRow> rows = ReadFieldsRows();
  ASSERT_FALSE(rows.empty()) << "no rows in tests/replays/expected-fields.tsv";
  // Where the fixed-offset reading cannot find the settings string: the stream at
  // offset 76 does not inflate (1.32 on), or (below) the host's extra data is two
  // bytes long, which moves the game name off its fixed place.
  const std::string kClassicBlind[] = {"131-action0x7a.w3g"};
  // Where it reads neither the settings string nor the length, which are not where
  // it looks: the oldest file header is four bytes shorter, and a NetEase container
  // holds the replay 51,328 bytes in.
  const std::string kElsewhere[] = {"102-roc_observed.w3g", "129-netease_obs.nwg"};
  for (const FieldsRow& row : rows) {
    Bytes file;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + row.file, &file)) << row.file;
    const DecodeResult modern = DecodeWith(file, true);
    ASSERT_TRUE(modern.modern) << row.file;
    EXPECT_EQ(row.path, modern.map_path) << row.file;
    EXPECT_EQ(row.map_file, MapFileOf(modern.map_path)) << row.file;
    EXPECT_EQ(row.map, MapOf(modern.map_path)) << row.file;
    EXPECT_EQ(row.length, LengthOf(modern.length_ms)) << row.file;

    const DecodeResult classic = DecodeWith(file, false);
    const bool elsewhere = row.file == kElsewhere[0] || row.file == kElsewhere[1];
    const bool blind = atoi(row.file.c_str()) >= 132 || row.file == kClassicBlind[0] || elsewhere;
    EXPECT_EQ(blind ? std::string() : row.path, classic.map_path) << row.file;
    if (elsewhere) {
      EXPECT_NE(row.length, LengthOf(classic.length_ms)) << row.file;
    } else {
      EXPECT_EQ(row.length, LengthOf(classic.length_ms)) << row.file;
    }
  }
}

TEST(Templates, CheckedAtStart) {
  struct Case {
    const char* name_template;
    const char* problem;  // a part of the words, or NULL when the template is fine
  } cases[] = {
      {"", nullptr},
      {"{date}{players}{game}", nullptr},
      {"{type} {players}{game} on {map} ({mapfile}) {length}", nullptr},
      {"{year}-{month}-{day} {hour}.{minute} {map}{map}!@#%$;,. }", nullptr},
      {"\xc3\xa9t\xc3\xa9 {players}", nullptr},
      {"{players} on {maps}", "unknown field {maps}"},
      {"{Map}", "unknown field {Map}"},
      {"{}", "unknown field {}"},
      {"{{date}}", "unknown field {{date}"},
      {"{players", "\"{\" without its \"}\""},
      {"{date} {", "\"{\" without its \"}\""},
      {"a:b", "holds ':'"},
      {"a/b", "holds '/'"},
      {"a\\b", "holds '\\'"},
      {"*", "holds '*'"},
      {"?", "holds '?'"},
      {"\"", "holds '\"'"},
      {"<", "holds '<'"},
      {">", "holds '>'"},
      {"|", "holds '|'"},
      {"a\tb", "control character"},
      {"\x1f", "control character"},
  };
  for (const Case& c : cases) {
    char problem[256] = "left over";
    const int refused = NameTemplateProblem(c.name_template, problem, sizeof problem);
    if (c.problem == nullptr) {
      EXPECT_EQ(0, refused) << c.name_template << ": " << problem;
      EXPECT_STREQ("", problem);
    } else {
      EXPECT_EQ(1, refused) << c.name_template;
      EXPECT_NE(nullptr, strstr(problem, c.problem)) << c.name_template << ": " << problem;
    }
  }
}

// Names built as the pass builds them below "R:\\", at a fixed moment, with the
// options each case sets.
class TemplateNames : public ::testing::Test {
 protected:
  // The name (below the replay folder, counter 0) of a decoded replay.
  std::string NameOf(const Bytes& file, bool modern = false) {
    const DecodeResult result = DecodeWith(file, modern);
    ReplayName name;
    if (!PrepareName(&result, &options_, &date_, "R:\\", path_limit_, &name)) return "(none)";
    char path[kPathSize];
    if (!ComposeCandidate(path, sizeof path, "", &name, 0)) return "(too long)";
    return path;
  }

  void SetTemplate(const char* text) {
    snprintf(options_.name_template, sizeof options_.name_template, "%s", text);
  }

  NameOptions options_;
  NameDate date_ = {2026, 7, 3, 9, 5, 0};
  size_t path_limit_ = kPathSize;
};

TEST_F(TemplateNames, EveryFieldAndFieldsRepeated) {
  SyntheticReplay ladder = LadderReplay({{"Mr. X", 1}, {"Beta", 8}});
  ladder.settings = MapSettings("Maps/(2)LostTemple [Unforged 0.5 RoC]_v2.w3x");
  Bytes ladder_file = BuildReplay(ladder);
  SetGameLength(&ladder_file, 6426000);
  SyntheticReplay custom = CustomReplay("my game #2!");
  custom.settings = MapSettings("w3c_Ruins.w3x");
  Bytes custom_file = BuildReplay(custom);
  SetGameLength(&custom_file, 65000);
  struct Case {
    const char* name_template;
    bool date;
    const Bytes* file;
    const char* name;
  } cases[] = {
      {"{date},{players},{game},{type},{year},{month},{day},{hour},{minute},{mapfile},{map},"
       "{length}",
       true, &ladder_file,
       "1v1\\[BC0703],Mr_ X(h) vs Beta(u),,1v1,2026,07,03,09,05,LostTemple [Unforged 0_5 "
       "RoC]_v2,LostTemple [Unforged 0_5 RoC],1h47m06s.w3g"},
      {"{date} {players}{game} {type} {mapfile} {map} {length}", true, &custom_file,
       "Custom\\[BC0703] my_game__2_ Custom w3c_Ruins Ruins 1m05s.w3g"},
      {"{date}{players}{game}", true, &custom_file, "Custom\\[BC0703]my_game__2_.w3g"},
      {"{date}{date} {map}{map}{map}", false, &ladder_file,
       "1v1\\ LostTemple [Unforged 0_5 RoC]LostTemple [Unforged 0_5 RoC]LostTemple "
       "[Unforged 0_5 RoC].w3g"},
      {"{year}-{month}-{day} {players} on {map}", false, &ladder_file,
       "1v1\\2026-07-03 Mr_ X(h) vs Beta(u) on LostTemple [Unforged 0_5 RoC].w3g"},
      {"Game #{minute}. {game}{players}!", true, &custom_file,
       "Custom\\Game #05. my_game__2_!.w3g"},
  };
  for (const Case& c : cases) {
    SetTemplate(c.name_template);
    options_.date_tag = c.date;
    EXPECT_EQ(c.name, NameOf(*c.file)) << c.name_template;
  }
}

TEST_F(TemplateNames, TheDefaultTemplateSpeltOutNamesAsWithout) {
  options_.date_tag = true;
  const Bytes files[] = {BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})),
                         BuildReplay(CustomReplay("con")),
                         BuildReplay(LadderReplay({{std::string(600, 'n'), 1}, {"B", 2}}))};
  for (const Bytes& file : files) {
    SetTemplate("");
    const std::string without = NameOf(file);
    SetTemplate(kDefaultNameTemplate);
    EXPECT_EQ(without, NameOf(file));
  }
}

TEST_F(TemplateNames, DeviceNamesAreSidesteppedWhereverTheTemplatePutsThem) {
  options_.date_tag = false;
  SyntheticReplay replay = CustomReplay("CON");
  replay.settings = MapSettings("Maps/(2)aux.w3x");
  const Bytes con = BuildReplay(replay);
  struct Case {
    const char* name_template;
    const char* name;
  } cases[] = {
      {"{game}", "Custom\\CON_.w3g"},
      {"{game}.{length}", "Custom\\CON_.0m00s.w3g"},
      {"{game}  ", "Custom\\CON_  .w3g"},
      {"{game}1", "Custom\\CON1.w3g"},
      {"{map}", "Custom\\aux_.w3g"},
      {"{date}{map} {date}", "Custom\\aux_ .w3g"},
      {"{map}{date}.x", "Custom\\aux_.x.w3g"},
  };
  for (const Case& c : cases) {
    SetTemplate(c.name_template);
    EXPECT_EQ(c.name, NameOf(con)) << c.name_template;
  }
}

TEST_F(TemplateNames, LongNamesAreCutAtTheirEndBetweenCharacters) {
  options_.date_tag = true;
  // A literal run of two-byte letters, players, a map and the date at the very end.
  std::string letters;
  for (int i = 0; i < 200; ++i) letters += "\xc3\xa9";
  SyntheticReplay ladder = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  ladder.settings = MapSettings("(2)Amazonia.w3x");
  // Windows' path limit, and the one of the path buffers that a POSIX system leaves.
  for (size_t path_limit : {size_t{260}, size_t{kPathSize}}) {
    SCOPED_TRACE(path_limit);
    path_limit_ = path_limit;
    SetTemplate((letters + " {players} {map} {date}").c_str());
    const std::string name = NameOf(BuildReplay(ladder));
    // 255 characters for the file name, less the longest counter and ".w3g", or
    // what the path limit leaves after "R:\1v1\", the counter, ".w3g" and the NUL.
    const size_t room = path_limit - 17 < 246 ? path_limit - 17 : 246;
    const size_t even = room - room % 2;
    EXPECT_EQ("1v1\\" + letters.substr(0, even) + ".w3g", name);

    // Room for the other parity: the cut falls before the split letter.
    SetTemplate(("x" + letters).c_str());
    const size_t odd = (room - 1) - (room - 1) % 2;
    EXPECT_EQ("1v1\\x" + letters.substr(0, odd) + ".w3g", NameOf(BuildReplay(ladder)));
  }

  // A cap on each player name still applies within the template.
  SetTemplate("{players}");
  const std::string names = NameOf(BuildReplay(LadderReplay(
      {{"Abcdefghij", 1}, {"B", 2}, {"C", 4}, {"D", 8}, {"E", 1}, {"F", 2}, {"G", 4}, {"H", 8}})));
  EXPECT_EQ("4v4\\Abcde(h)C(e)E(h)G(e) vs B(o)D(u)F(o)H(u).w3g", names);
}

TEST_F(TemplateNames, UncheckedTextCannotReachOutsideTheSubfolder) {
  // Templates are checked at start; one that was not still names no other folder.
  SetTemplate("..\\a/b:{nope}{game");
  EXPECT_EQ("1v1\\.._a_b_{nope}{game.w3g",
            NameOf(BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}))));
}

}  // namespace

namespace {

// A game as the whole replay tells it: players by id, team, race; the saver's id;
// the winning team (-1: none) or a draw.
struct SketchPlayer {
  const char* name;
  int id;
  int team;
  int race;
  bool observer;
  bool computer;
};

std::unique_ptr<ReplayGame> Sketch(const std::vector<SketchPlayer>& players, int saver_id,
                                   int winning_team, bool draw = false) {
  std::unique_ptr<ReplayGame> game(new ReplayGame());
  for (const SketchPlayer& p : players) {
    GamePlayer& g = game->player[game->players++];
    snprintf(g.name, sizeof g.name, "%s", p.name);
    g.id = p.id;
    g.team = p.team;
    g.race = p.race;
    g.observer = p.observer;
    g.computer = p.computer;
  }
  game->saver_id = saver_id;
  game->winning_team = winning_team;
  game->draw = draw;
  return game;
}

std::string WinnerOf(const ReplayGame* game) {
  char out[kPathSize];
  WinnerSide(game, out, sizeof out);
  return out;
}

TEST(WholeReplayFields, TheSaversResultAndTheWinningSide) {
  const std::vector<SketchPlayer> one_vs_one = {{"anXieTy#2932", 2, 0, 0x01, false, false},
                                                {"IroNSoul#22724", 3, 1, 0x08, false, false},
                                                {"Blizzard", 1, 24, 0x01, true, false}};
  const std::vector<SketchPlayer> two_vs_two = {{"A.very.long.name", 1, 0, 0x02, false, false},
                                                {"B/slash", 2, 0, 0x20, false, false},
                                                {"C", 3, 1, 0x08, false, false},
                                                {"Dee#1", 4, 1, 0x01, false, false}};
  const std::vector<SketchPlayer> against_computer = {{"Solo", 1, 0, 0x01, false, false},
                                                      {"Computer", 0, 1, 0x02, false, true}};
  struct Case {
    const char* what;
    std::unique_ptr<ReplayGame> game;
    const char* result;
    const char* winner;
  } cases[] = {
      {"the saver won", Sketch(one_vs_one, 2, 0), "win", "anXieTy(h)"},
      {"the saver lost", Sketch(one_vs_one, 3, 0), "loss", "anXieTy(h)"},
      {"an observer saved it", Sketch(one_vs_one, 1, 1), "", "IroNSoul(u)"},
      {"no saver's record", Sketch(one_vs_one, -1, 1), "", "IroNSoul(u)"},
      {"the replay does not tell", Sketch(one_vs_one, 2, -1), "", ""},
      {"a draw", Sketch(one_vs_one, 3, -1, true), "draw", ""},
      // Four players: names cut to eight bytes, as {players} cuts them; a random
      // race reads as r; what a file name cannot hold is replaced.
      {"a team game", Sketch(two_vs_two, 4, 0), "loss", "A_very_l(o)B_slash(r)"},
      {"a team game the saver won", Sketch(two_vs_two, 1, 1), "loss", "C(u)Dee(h)"},
      {"a computer never wins a name", Sketch(against_computer, 1, 1), "loss", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_STREQ(c.result, SaverResult(c.game.get()));
    EXPECT_EQ(c.winner, WinnerOf(c.game.get()));
  }
  EXPECT_STREQ("", SaverResult(nullptr));
  EXPECT_EQ("", WinnerOf(nullptr));
}

std::string SidesOf(const ReplayGame* game) {
  char out[kPathSize];
  GameSides(game, out, sizeof out);
  return out;
}

// Every side of any game, as the record lists a game's players: by team, the host's
// first, without observers and computers, names cut and cleaned as {players} does.
TEST(WholeReplayFields, EverySideOfAnyGame) {
  const std::vector<SketchPlayer> three_sides = {{"Cleo", 3, 2, 0x04, false, false},
                                                 {"Anna", 1, 5, 0x01, false, false},
                                                 {"Bert#77", 2, 0, 0x08, false, false},
                                                 {"Olga", 4, 24, 0x01, true, false}};
  std::vector<SketchPlayer> eight;
  const char* const names[] = {"Abcdefgh", "Bcdefghi", "Cdefghij", "Defghijk",
                               "Efghijkl", "Fghijklm", "Ghijklmn", "Hijklmno"};
  for (int i = 0; i < 8; ++i) eight.push_back({names[i], i + 1, i % 2, 0x02, false, false});
  struct Case {
    const char* what;
    std::unique_ptr<ReplayGame> game;
    int host_id;
    const char* sides;
  } cases[] = {
      {"two sides, the host's first", Sketch({{"Alpha", 1, 1, 0x01, false, false},
                                              {"Beta", 2, 0, 0x08, false, false}}, -1, -1),
       1, "Alpha(h) vs Beta(u)"},
      {"a team game", Sketch({{"A.very.long.name", 1, 0, 0x02, false, false},
                              {"B/slash", 2, 0, 0x20, false, false},
                              {"C", 3, 1, 0x08, false, false},
                              {"Dee#1", 4, 1, 0x01, false, false}}, -1, -1),
       3, "C(u)Dee(h) vs A_very_l(o)B_slash(r)"},
      {"three sides, one after another", Sketch(three_sides, -1, -1), 1, "Anna(h)Bert(u)Cleo(e)"},
      {"an observer hosted it", Sketch(three_sides, -1, -1), 4, "Bert(u)Cleo(e)Anna(h)"},
      {"four players a side", Sketch(eight, -1, -1), 1,
       "Abcde(o)Cdefg(o)Efghi(o)Ghijk(o) vs Bcdef(o)Defgh(o)Fghij(o)Hijkl(o)"},
      {"the saver against a computer", Sketch({{"Solo", 1, 0, 0x01, false, false},
                                               {"Computer", 0, 1, 0x02, false, true}}, -1, -1),
       1, "Solo(h)"},
      {"nobody played", Sketch({{"Olga", 1, 24, 0x01, true, false}}, -1, -1), 1, ""},
  };
  for (Case& c : cases) {
    c.game->host_id = c.host_id;
    EXPECT_EQ(c.sides, SidesOf(c.game.get())) << c.what;
  }
}

TEST(WholeReplayFields, OnlyATemplateThatUsesThemReadsTheWholeReplay) {
  EXPECT_TRUE(TemplateReadsWholeReplay("{players} {result}"));
  EXPECT_TRUE(TemplateReadsWholeReplay("{winner} won"));
  EXPECT_FALSE(TemplateReadsWholeReplay("{date}{players}{game}"));
  EXPECT_FALSE(TemplateReadsWholeReplay("result winner {map}"));
  EXPECT_FALSE(TemplateReadsWholeReplay(""));
  char problem[256];
  EXPECT_EQ(0, NameTemplateProblem("{players} {result} {winner}", problem, sizeof problem))
      << problem;
}

// The real replays: the saver's result and the winners as the whole replay gives
// them, in names built with the length-aware reading.
TEST_F(TemplateNames, ResultAndWinnerOfRealReplays) {
  ASSERT_FALSE(RealReplayFolder().empty());
  struct Case {
    const char* file;
    const char* name;
  } cases[] = {
      {"132-reforged_release.w3g", "1v1\\anXieTy(h) vs IroNSoul(u) win, anXieTy(h).w3g"},
      // One game saved by each of its players.
      {"132-buildingwin_anxietyperspective.w3g", "Custom\\ win, anXieTy(h).w3g"},
      {"132-buildingwin_helpstoneperspective.w3g", "Custom\\ loss, anXieTy(h).w3g"},
      {"130-standard_1304.w3g", "1v1\\Stormhoof(e) vs buffMyKotg(e) win, buffMyKotg(e).w3g"},
      // Saved by an observer: who won is known, the saver's result is not.
      {"200-148249993_Edo_Leon_Tidehunters_12.w3g", "1v1\\EdoBoi(u) vs LeonXIV(h) , LeonXIV(h).w3g"},
      // Not over: nothing to tell.
      {"200-TempReplay.w3g", "Custom\\ , .w3g"},
  };
  SetTemplate("{players} {result}, {winner}");
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Bytes file;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + c.file, &file));
    const DecodeResult result = DecodeWith(file, true);
    std::unique_ptr<ReplayGame> game(new ReplayGame);
    ReadReplayGame(file.data(), file.size(), scratch.get(), game.get());
    ReplayName name;
    ASSERT_TRUE(PrepareName(&result, &options_, &date_, "R:\\", path_limit_, &name, game.get()));
    char path[kPathSize];
    ASSERT_TRUE(ComposeCandidate(path, sizeof path, "", &name, 0));
    EXPECT_STREQ(c.name, path);
    // Without the whole replay read, both fields are empty.
    ASSERT_TRUE(PrepareName(&result, &options_, &date_, "R:\\", path_limit_, &name));
    EXPECT_EQ(nullptr, strstr(name.body, "win")) << name.body;
  }
}

}  // namespace
