// brindlecap-cli stats over the real replays, checked against their outcome
// table: each game once however many copies lie about, whose record it is, and
// what happens to files that give no game.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/time.h>
#endif

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// A name without its account tag, in lower case.
std::string Plain(const std::string& name) {
  const size_t hash = name.rfind('#');
  if (hash != std::string::npos && hash + 1 < name.size() &&
      name.find_first_not_of("0123456789", hash + 1) == std::string::npos) {
    return Lower(name.substr(0, hash));
  }
  return Lower(name);
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// One game of a player as expected-outcome.tsv gives it.
struct ExpectedGame {
  std::string outcome;  // win, loss, unknown
  int apm;
  int length_s;
  std::vector<std::string> opponents;  // plain names of the other sides' players
};

// The games of player (plain name) by file name, from the outcome table.
std::map<std::string, ExpectedGame> ExpectedGamesOf(const std::string& player) {
  std::map<std::string, ExpectedGame> games;
  std::ifstream table(RealReplayFolder() + "expected-outcome.tsv");
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> cells = SplitTabs(line);
    if (cells.size() < 5) continue;
    int team = -1;
    ExpectedGame game = {"", -1, atoi(cells[3].c_str()) / 1000, {}};
    struct Seat {
      std::string name;
      int team;
    };
    std::vector<Seat> seats;
    for (const std::string& part : SplitOn(cells[4], ';')) {
      const std::vector<std::string> fields = SplitOn(part, '|');
      if (fields.size() < 4) continue;
      seats.push_back({Plain(fields[0]), atoi(fields[1].c_str())});
      if (Plain(fields[0]) == player) {
        team = seats.back().team;
        game.apm = atoi(fields[2].c_str());
      }
    }
    if (team < 0) continue;
    for (const Seat& seat : seats) {
      // Computer players are nobody's opponents in a record.
      if (seat.team != team && seat.name != "computer") game.opponents.push_back(seat.name);
    }
    if (cells[1] == "-") {
      game.outcome = "unknown";
    } else {
      game.outcome = "loss";
      for (const std::string& winner : SplitOn(cells[1], ',')) {
        if (Plain(winner) == player) game.outcome = "win";
      }
    }
    games[cells[0]] = game;
  }
  return games;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Number(const Json& value) { return static_cast<int>(value.number); }

// The tables of a record as one text, games and files aside, to compare runs.
std::string Tables(const Json& record) {
  std::string text = record["player"].text;
  auto tally = [](const Json& t) {
    char line[96];
    snprintf(line, sizeof line, " %d:%d-%d-%d-%d", Number(t["games"]), Number(t["win"]),
             Number(t["loss"]), Number(t["draw"]), Number(t["unknown"]));
    return std::string(line);
  };
  text += tally(record["overall"]);
  for (const char* table : {"by_type", "by_matchup", "by_map", "by_opponent", "by_month"}) {
    text += std::string("\n") + table + ":";
    for (const Json& row : record[table].items) {
      text += " " + (row["key"].kind == Json::kString
                         ? row["key"].text
                         : std::to_string(Number(row["year"])) + "-" +
                               std::to_string(Number(row["month"])) + "/" +
                               std::to_string(Number(row["median_apm"])) + "/" +
                               std::to_string(Number(row["median_length_s"])));
      text += tally(row);
    }
  }
  return text;
}

class CliStats : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(RealReplayFolder().empty()) << "tests/replays or its expected.tsv is missing";
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    for (char& c : folder_) c = c == '\\' ? '/' : c;
    // The real replays in a folder of the test's own, to copy them about.
    std::ifstream table(RealReplayFolder() + "expected-outcome.tsv");
    std::string line;
    while (std::getline(table, line)) {
      if (line.empty() || line[0] == '#') continue;
      const std::string file = SplitTabs(line)[0];
      Bytes bytes;
      ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + file, &bytes)) << file;
      ASSERT_TRUE(WriteFileBytes(folder_ + file, bytes)) << file;
      files_.push_back(file);
    }
    ASSERT_GT(files_.size(), 20u);
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }

  Json Stats(std::vector<std::string> args, int code = 0) {
    args.insert(args.begin(), "stats");
    args.push_back("--json");
    const CliRun run = RunWith(args);
    EXPECT_EQ(code, run.code) << run.err;
    Json record;
    EXPECT_TRUE(ParseJson(run.out, &record)) << run.out;
    return record;
  }

  std::string folder_;
  std::vector<std::string> files_;
};

// Every game of anXieTy with the result, APM, length and opponents the table gives.
TEST_F(CliStats, TheRecordTheOutcomeTableGives) {
  std::map<std::string, ExpectedGame> expected = ExpectedGamesOf("anxiety");
  ASSERT_EQ(5u, expected.size());
  // One game saved by each of its two players (the table's note says so): the
  // replay found first, in name order, stands for it, the other is a duplicate.
  ASSERT_EQ(1u, expected.erase("132-buildingwin_helpstoneperspective.w3g"));
  const Json record = Stats({"-modern", "--player", "anXieTy", folder_});
  EXPECT_EQ("anXieTy", record["player"].text);
  EXPECT_FALSE(record["player_chosen"].boolean);
  EXPECT_EQ(static_cast<int>(files_.size()), Number(record["files_seen"]));
  EXPECT_EQ(1, Number(record["duplicates"]));
  EXPECT_EQ(static_cast<int>(files_.size() - expected.size() - 1),
            Number(record["without_player"]));
  std::map<std::string, int> outcomes;
  std::map<std::string, int> opponents;
  for (const auto& game : expected) {
    ++outcomes[game.second.outcome];
    for (const std::string& name : game.second.opponents) ++opponents[name];
  }
  EXPECT_EQ(static_cast<int>(expected.size()), Number(record["overall"]["games"]));
  for (const char* outcome : {"win", "loss", "draw", "unknown"}) {
    EXPECT_EQ(outcomes[outcome], Number(record["overall"][outcome])) << outcome;
  }
  ASSERT_EQ(expected.size(), record["games"].items.size());
  for (const Json& game : record["games"].items) {
    const std::string file = FileNameOf(game["path"].text);
    auto found = expected.find(file);
    ASSERT_NE(expected.end(), found) << file;
    EXPECT_EQ(found->second.outcome, game["outcome"].text) << file;
    EXPECT_EQ(found->second.apm, Number(game["apm"])) << file;
    EXPECT_EQ(found->second.length_s, Number(game["length_s"])) << file;
  }
  std::map<std::string, int> shown;
  for (const Json& row : record["by_opponent"].items) {
    shown[Lower(row["key"].text)] = Number(row["games"]);
  }
  EXPECT_EQ(opponents, shown);

  // The same record as text, with who it is about.
  const CliRun text = RunWith({"stats", "-modern", "--player", "anXieTy", folder_});
  EXPECT_EQ(0, text.code);
  EXPECT_TRUE(Contains(text.out, "Record of anXieTy\n")) << text.out;
  char overall[128];
  snprintf(overall, sizeof overall, "  all games%25d %5d %5d %5d %7d",
           static_cast<int>(expected.size()), outcomes["win"],
           outcomes["loss"], outcomes["draw"], outcomes["unknown"]);
  EXPECT_TRUE(Contains(text.out, overall)) << text.out;
  EXPECT_TRUE(Contains(text.out, "1 duplicates set aside")) << text.out;
}

// Copies under other names, in a subfolder and in another account's folder, add
// nothing to the record; they are counted as duplicates.
TEST_F(CliStats, CopiesAreCountedOnce) {
  const std::string before = Tables(Stats({"-modern", "--player", "anXieTy", folder_}));
  ASSERT_TRUE(MakeFolders(folder_, "copy\\"));
  ASSERT_TRUE(MakeFolders(folder_, "Users\\Other\\Documents\\Warcraft III\\Replays\\"));
  for (const std::string& file : files_) {
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(folder_ + file, &bytes));
    ASSERT_TRUE(WriteFileBytes(folder_ + "copy/" + file, bytes));
  }
  Bytes bytes;
  ASSERT_TRUE(ReadWholeFile(folder_ + "132-reforged_release.w3g", &bytes));
  ASSERT_TRUE(WriteFileBytes(folder_ + "Users/Other/Documents/Warcraft III/Replays/LastReplay.w3g",
                             bytes));
  const Json again = Stats({"-modern", "--player", "anXieTy", folder_});
  EXPECT_EQ(before, Tables(again));
  // Each file's copy, the other account's, and the second save of one game.
  EXPECT_EQ(static_cast<int>(files_.size()) + 2, Number(again["duplicates"]));
  EXPECT_EQ(static_cast<int>(files_.size()) * 2 + 1, Number(again["files_seen"]));
  // The first file found in name order stands for each game.
  for (const Json& game : again["games"].items) {
    EXPECT_EQ(folder_ + FileNameOf(game["path"].text), game["path"].text);
  }
  const CliRun text = RunWith({"stats", "--player", "anXieTy", folder_});
  EXPECT_TRUE(Contains(text.out, std::to_string(files_.size() + 2) + " duplicates set aside"))
      << text.out;
}

// --player in any case, with or without the tag; without it, the player found in
// the most games, and the output says how to choose another.
TEST_F(CliStats, WhoseRecord) {
  const std::string reference = Tables(Stats({"--player", "anXieTy", folder_}));
  for (const char* name : {"anxiety", "ANXIETY", "anXieTy#2932", "AnXiEtY#2932"}) {
    const Json record = Stats({"--player", name, folder_});
    EXPECT_EQ(reference, Tables(record)) << name;
    EXPECT_FALSE(record["player_chosen"].boolean) << name;
  }
  const Json chosen = Stats({folder_});
  EXPECT_TRUE(chosen["player_chosen"].boolean);
  EXPECT_EQ(reference, Tables(chosen));
  const CliRun text = RunWith({"stats", folder_});
  EXPECT_TRUE(Contains(text.out, "Record of anXieTy (the player found in the most games; "
                                 "--player NAME chooses another)"))
      << text.out;

  const Json nobody = Stats({"--player", "Nobody#1", folder_}, 1);
  EXPECT_EQ("Nobody", nobody["player"].text);
  EXPECT_EQ(0, Number(nobody["overall"]["games"]));
  // Every game but the one whose second save is set aside as a duplicate.
  EXPECT_EQ(static_cast<int>(files_.size()) - 1, Number(nobody["without_player"]));
  EXPECT_EQ(1, Number(nobody["duplicates"]));
}

// Switches count wherever they stand before "--", as GNU tools read them: the
// record is the same with them after the FOLDER.
TEST_F(CliStats, SwitchesCountAfterTheOperandsToo) {
  const std::string before = Tables(Stats({"-modern", "--player", "anXieTy", folder_}));
  const Json after = Stats({folder_, "--player", "anXieTy", "-modern"});
  EXPECT_EQ(before, Tables(after));
  EXPECT_EQ("anXieTy", after["player"].text);
  // Chosen by --player, not found as the most frequent; no switch taken for a file.
  EXPECT_FALSE(after["player_chosen"].boolean);
  EXPECT_EQ(static_cast<int>(files_.size()), Number(after["files_seen"]));
  EXPECT_EQ(0, Number(after["unreadable"]));
}

// A file that is no replay and a cut replay are counted apart, listed with
// --verbose, and leave the record as it was.
TEST_F(CliStats, FilesThatGiveNoGame) {
  const std::string reference = Tables(Stats({"--player", "anXieTy", folder_}));
  Bytes whole;
  ASSERT_TRUE(ReadWholeFile(folder_ + "132-reforged_release.w3g", &whole));
  const Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
  ASSERT_TRUE(WriteFileBytes(folder_ + "cut.w3g", cut));
  const std::string notes = "not a replay at all, only notes";
  ASSERT_TRUE(WriteFileBytes(folder_ + "notes.w3g", Bytes(notes.begin(), notes.end())));
  const Json record = Stats({"--player", "anXieTy", folder_});
  EXPECT_EQ(reference, Tables(record));
  EXPECT_EQ(1, Number(record["not_replays"]));
  EXPECT_EQ(1, Number(record["unreadable"]));
  EXPECT_EQ(static_cast<int>(files_.size()) + 2, Number(record["files_seen"]));
  EXPECT_EQ(static_cast<int>(files_.size()), Number(record["replays_read"]));

  const CliRun verbose = RunWith({"stats", "--verbose", "--player", "anXieTy", folder_,
                                  folder_ + "missing.w3g"});
  EXPECT_EQ(0, verbose.code);
  EXPECT_TRUE(Contains(verbose.err, folder_ + "notes.w3g\t- not a replay\n")) << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, folder_ + "cut.w3g\t- ")) << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, folder_ + "missing.w3g\t- no such file\n")) << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, "126-999.w3g\t- anXieTy does not play in it\n"))
      << verbose.err;
  // Without --verbose the files are counted, not listed.
  const CliRun quiet = RunWith({"stats", "--player", "anXieTy", folder_});
  EXPECT_FALSE(Contains(quiet.err, "notes.w3g")) << quiet.err;
}

// The NetEase platform's files are walked beside the game's: a container holding a
// copy of a game counted already is a duplicate, a ".nwg" that holds no replay is
// counted apart with the reason. The list of games names the players of every game,
// custom games too (whose file names never show them).
TEST_F(CliStats, NetEaseFilesAndThePlayersOfEveryGame) {
  Bytes release;
  ASSERT_TRUE(ReadWholeFile(folder_ + "132-reforged_release.w3g", &release));
  ASSERT_TRUE(WriteFileBytes(folder_ + "copy.nwg", InNetEaseContainer(release)));
  Bytes empty = InNetEaseContainer(release);
  empty[0x0C] ^= 0x10;
  ASSERT_TRUE(WriteFileBytes(folder_ + "empty.nwg", empty));
  ASSERT_TRUE(WriteFileBytes(folder_ + "notes.nwg", Bytes(100, 'n')));
  const Json record = Stats({"--player", "anXieTy", folder_});
  EXPECT_EQ(static_cast<int>(files_.size()) + 3, Number(record["files_seen"]));
  EXPECT_EQ(2, Number(record["duplicates"]));  // the other player's copy, and copy.nwg
  EXPECT_EQ(2, Number(record["not_replays"]));
  const CliRun verbose = RunWith({"stats", "--verbose", "--player", "anXieTy", folder_});
  EXPECT_TRUE(Contains(verbose.err, folder_ + "empty.nwg\t- a NetEase container without a "
                                              "replay where it says\n"))
      << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, folder_ + "notes.nwg\t- not a replay\n")) << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, folder_ + "copy.nwg\t- a copy of a game already counted\n"))
      << verbose.err;

  std::map<std::string, std::string> players;
  for (const Json& game : record["games"].items) {
    players[FileNameOf(game["path"].text)] = game["players"].text;
  }
  EXPECT_EQ("Helpstone(u) vs anXieTy(h)", players["132-buildingwin_anxietyperspective.w3g"]);
  EXPECT_EQ("anXieTy(h) vs IroNSoul(u)", players["132-reforged_release.w3g"]);
  EXPECT_EQ(4u, players.size());
  for (const auto& game : players) EXPECT_NE("", game.second) << game.first;
  const Json other = Stats({"--player", "GrubbyGrubby", folder_});
  ASSERT_EQ(1u, other["games"].items.size());
  EXPECT_EQ("Custom", other["games"].items[0]["type"].text);
  EXPECT_EQ("\xE5\x8D\x81\xE6\x96\xB9\xE6\x99\xAE\xE8\xB4\xA4(u) vs GrubbyGrubby(o)",
            other["games"].items[0]["players"].text);
  EXPECT_EQ("win", other["games"].items[0]["outcome"].text);
}

// Games of the builder's: the header records of a 1v1 of the current game, each
// with a seed of its own, against as many opponents.
TEST(CliStatsSynthetic, TheTwentyMostPlayedOpponentsAndHowManyMore) {
  const std::string folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  for (int i = 0; i < 25; ++i) {
    const std::string opponent = "Opp" + std::to_string(100 + i);
    SyntheticModernReplay game = ModernGame({{"Me#1", 0x01, 0}, {opponent, 0x02, 1}});
    game.settings = MapSettings("Maps/FrozenThrone/(2)EchoIsles.w3x");
    game.random_seed = 1000 + static_cast<uint32_t>(i);
    // The first opponent is met in three games, the second in two.
    const int copies = i == 0 ? 3 : i == 1 ? 2 : 1;
    for (int k = 0; k < copies; ++k) {
      game.random_seed += 100000u * static_cast<uint32_t>(k);
      char name[64];
      snprintf(name, sizeof name, "Replay_2024_%02d_15_20%02d.w3g", 1 + k, i);
      ASSERT_TRUE(WriteFileBytes(folder + name, BuildModernReplay(game)));
    }
  }
  const CliRun run = RunWith({"stats", "--player", "me", folder});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_TRUE(Contains(run.out, "Record of Me\n")) << run.out;
  // No game of the builder's ends: every result is unknown, no win rate.
  auto row = [](const char* key, int games) {
    char line[128];
    snprintf(line, sizeof line, "  %-28s %5d %5d %5d %5d %7d     -\n", key, games, 0, 0, 0, games);
    return std::string(line);
  };
  EXPECT_TRUE(Contains(run.out, row("all games", 28))) << run.out;
  EXPECT_TRUE(Contains(run.out, row("Opp100", 3) + row("Opp101", 2) + row("Opp102", 1)))
      << run.out;
  EXPECT_TRUE(Contains(run.out, row("Opp119", 1) + "  ... and 5 more\n")) << run.out;
  EXPECT_FALSE(Contains(run.out, "Opp120")) << run.out;
  EXPECT_TRUE(Contains(run.out, row("HvO", 28))) << run.out;
  EXPECT_TRUE(Contains(run.out, row("EchoIsles", 28))) << run.out;
  EXPECT_TRUE(Contains(run.out, "0 duplicates set aside")) << run.out;

  Json record;
  const CliRun json = RunWith({"stats", "--json", "--player", "me", folder});
  ASSERT_TRUE(ParseJson(json.out, &record)) << json.out;
  EXPECT_EQ(25u, record["by_opponent"].items.size());
  EXPECT_EQ("Opp100", record["by_opponent"].items[0]["key"].text);
  EXPECT_EQ("Opp101", record["by_opponent"].items[1]["key"].text);
  EXPECT_EQ("Opp102", record["by_opponent"].items[2]["key"].text);  // ties in name order
  ASSERT_EQ(1u, record["by_type"].items.size());
  EXPECT_EQ("1v1", record["by_type"].items[0]["key"].text);
  EXPECT_EQ(28, Number(record["overall"]["games"]));
  ASSERT_EQ(3u, record["by_month"].items.size());
  EXPECT_EQ(25, Number(record["by_month"].items[0]["games"]));
  EXPECT_EQ(2, Number(record["by_month"].items[1]["games"]));
  EXPECT_EQ(1, Number(record["by_month"].items[2]["games"]));
  EXPECT_EQ("Me(h) vs Opp100(o)", record["games"].items[0]["players"].text);
  RemoveTree(folder);
}

TEST(CliStatsUsage, SwitchesAndTheirMistakes) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* out;
    const char* err;
  };
  const std::vector<Case> cases = {
      {{"stats", "--help"}, 0, "usage: brindlecap-cli stats", ""},
      {{"help", "stats"}, 0, "--player NAME", ""},
      {{"stats", "--player"}, 2, "", "--player needs a NAME after it"},
      {{"stats", "--colour", "x"}, 2, "", "unknown switch '--colour'"},
      {{"stats", "--prefix"}, 2, "", "--prefix needs a DIR after it"},
      // Switches count after the operands too, until "--".
      {{"stats", "x", "--colour"}, 2, "", "unknown switch '--colour'"},
      {{"stats", "x", "--player"}, 2, "", "--player needs a NAME after it"},
      {{"stats", "--verbose", "--", "--colour"}, 1, "No game", "--colour\t- no such file"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunWith(c.args);
    EXPECT_EQ(c.code, run.code) << c.args[1];
    EXPECT_TRUE(Contains(run.out, c.out)) << run.out;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
  }
}

#ifndef _WIN32
// With no FOLDER or FILE, every replay folder of the Wine prefix, Autosaved included.
TEST_F(CliStats, EveryReplayFolderOfThePrefix) {
  const std::string prefix = MakePrefix(folder_);
  ASSERT_FALSE(prefix.empty());
  const std::string replays =
      prefix + "/drive_c/users/me/Documents/Warcraft III/BattleNet/1001/Replays/";
  ASSERT_TRUE(MakeFolders(replays, "Autosaved\\Multiplayer\\"));
  Bytes bytes;
  ASSERT_TRUE(ReadWholeFile(folder_ + "132-reforged_release.w3g", &bytes));
  ASSERT_TRUE(WriteFileBytes(replays + "LastReplay.w3g", bytes));
  ASSERT_TRUE(WriteFileBytes(replays + "Autosaved/Multiplayer/Replay_2024_05_12_2039.w3g", bytes));
  const Json record = Stats({"-modern", "--prefix", prefix});
  EXPECT_EQ("anXieTy", record["player"].text);
  EXPECT_EQ(1, Number(record["overall"]["games"]));
  EXPECT_EQ(1, Number(record["overall"]["win"]));
  EXPECT_EQ(1, Number(record["duplicates"]));
  ASSERT_EQ(1u, record["by_month"].items.size());
  // Dated by the name the game gave its own copy, found first in name order.
  EXPECT_EQ(2024, Number(record["by_month"].items[0]["year"]));
  EXPECT_EQ(5, Number(record["by_month"].items[0]["month"]));

  const CliRun usage = RunWith({"stats", "--prefix", prefix, folder_});
  EXPECT_EQ(2, usage.code);
}
#endif

#ifndef _WIN32
// stats walks what Linux spells: a folder whose name holds a backslash is that
// folder, as an operand and below one; and a game last written after January 2038
// keeps its date.
TEST_F(CliStats, BackslashNamesAndGamesAfter2038) {
  const std::string root = folder_.substr(0, folder_.size() - 1);
  const std::string odd = root + "/w\\x";
  ASSERT_EQ(0, mkdir(odd.c_str(), 0777));
  const char kMoved[] = "132-reforged_release.w3g";
  const std::string moved = odd + "/" + kMoved;
  ASSERT_EQ(0, rename((root + "/" + kMoved).c_str(), moved.c_str()));
  const struct timeval late[2] = {{2227435200, 0}, {2227435200, 0}};  // 2040-08-02 UTC
  ASSERT_EQ(0, utimes(moved.c_str(), late));
  const struct Case {
    std::string operand;
    int files;
  } cases[] = {{root, static_cast<int>(files_.size())}, {odd, 1}};
  for (const Case& c : cases) {
    const Json record = Stats({"-modern", "--player", "anXieTy", c.operand});
    EXPECT_EQ(c.files, Number(record["files_seen"])) << c.operand;
    bool found = false;
    for (const Json& game : record["games"].items) {
      if (game["path"].text != moved) continue;
      found = true;
      // 2040-08-01 00:00 UTC to 2040-08-04 00:00 UTC, whatever the local zone.
      EXPECT_GE(game["played"].number, 2227219200.0) << c.operand;
      EXPECT_LT(game["played"].number, 2227478400.0) << c.operand;
    }
    EXPECT_TRUE(found) << c.operand << ": no game read from " << moved;
  }
}

// Every replay the walk finds counts, those whose paths are too long for the
// program's buffers too: a replay, and a folder that cannot be walked for it, are
// files seen that could not be read, each listed with the reason under --verbose.
TEST_F(CliStats, PathsTooLongForTheBuffersAreCountedNotLeftOut) {
  const std::string root = folder_.substr(0, folder_.size() - 1);
  std::string deep = root;
  const std::string segment(200, 'd');
  while (deep.size() < 800) {
    deep += "/" + segment;
    ASSERT_EQ(0, mkdir(deep.c_str(), 0777)) << deep;
  }
  Bytes replay;
  ASSERT_TRUE(ReadWholeFile(folder_ + files_[0], &replay));
  const std::string long_name = deep + "/" + std::string(240, 'r') + ".w3g";
  ASSERT_TRUE(WriteFileBytes(long_name, replay));
  const std::string long_folder = deep + "/" + std::string(240, 'f');
  ASSERT_EQ(0, mkdir(long_folder.c_str(), 0777));
  ASSERT_TRUE(WriteFileBytes(long_folder + "/inside.w3g", replay));
  ASSERT_GT(long_name.size(), 1023u);

  const Json record = Stats({"-modern", "--player", "anXieTy", root});
  EXPECT_EQ(static_cast<int>(files_.size()) + 2, Number(record["files_seen"]));
  EXPECT_EQ(static_cast<int>(files_.size()), Number(record["replays_read"]));
  EXPECT_EQ(2, Number(record["unreadable"]));
  const CliRun verbose = RunWith({"stats", "--verbose", "--player", "anXieTy", root});
  EXPECT_EQ(0, verbose.code) << verbose.err;
  const std::string reason = "\t- cannot be read: its path is too long\n";
  EXPECT_TRUE(Contains(verbose.err, long_folder + reason)) << verbose.err;
  EXPECT_TRUE(Contains(verbose.err, long_name + reason)) << verbose.err;
}
#endif

}  // namespace
