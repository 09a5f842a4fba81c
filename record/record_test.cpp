// The record from games handed in as values: which copies are one game, whose
// record it is, and the tallies, medians and months it shows.
#include "record/record.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "naming/name.h"
#include "replay/decode.h"
#include "replay/game.h"

namespace {

struct Seat {
  std::string name;
  int team;
  int race;  // slot race flags
  int apm = 100;
  bool observer = false;
  bool computer = false;
};

// A game as the whole reading and the header decode would give it.
struct Game {
  uint32_t seed = 1;
  std::vector<Seat> seats;
  std::string map = "Maps/FrozenThrone/(2)EchoIsles.w3x";
  uint32_t length_ms = 600000;
  uint32_t version = 10100;
  int winning_team = -1;  // with a basis other than unknown when set
  bool draw = false;
  bool ladder = true;
  NameDate played = {2024, 5, 17, 20, 30, 0};
  std::string path = "Replay_2024_05_17_2030.w3g";
};

Game OneVsOne(uint32_t seed, const std::string& a, int race_a, const std::string& b, int race_b,
              int winning_team) {
  Game g;
  g.seed = seed;
  g.seats = {{a, 0, race_a}, {b, 1, race_b}};
  g.winning_team = winning_team;
  return g;
}

struct Values {
  std::unique_ptr<ReplayGame> game{new ReplayGame()};
  std::unique_ptr<DecodeResult> header{new DecodeResult()};
};

Values ValuesOf(const Game& g) {
  Values v;
  ReplayGame* game = v.game.get();
  memset(game, 0, sizeof *game);
  game->readable = true;
  game->problem = kGameWhole;
  game->version = g.version;
  game->length_ms = g.length_ms;
  game->random_seed = g.seed;
  snprintf(game->map_path, sizeof game->map_path, "%s", g.map.c_str());
  game->basis = g.winning_team >= 0 || g.draw ? kBasisExplicit : kBasisUnknown;
  game->winning_team = g.winning_team;
  game->draw = g.draw;
  DecodeResult* header = v.header.get();
  ClearDecodeResult(header);
  header->ladder = g.ladder;
  header->modern = true;
  snprintf(header->game_name, sizeof header->game_name, "%s", g.ladder ? "" : "Fun Game");
  int teams_seen[32] = {0};
  game->host_id = 1;  // the first seat's
  for (const Seat& s : g.seats) {
    GamePlayer* p = &game->player[game->players++];
    p->id = game->players;
    snprintf(p->name, sizeof p->name, "%s", s.name.c_str());
    p->team = s.team;
    p->race = s.race;
    p->apm = s.apm;
    p->observer = s.observer;
    p->computer = s.computer;
    p->won = s.team == g.winning_team;
    if (s.observer) continue;
    if (teams_seen[s.team] == 0) teams_seen[s.team] = ++header->sides;
  }
  // Sides in the order first met, as the length-aware reading groups them; it
  // gives none for a game that is no ladder game, whose name shows none.
  if (!g.ladder) header->sides = 0;
  for (int side = 1; side <= header->sides; ++side) {
    for (const Seat& s : g.seats) {
      if (s.observer || teams_seen[s.team] != side) continue;
      PlayerEntry* e = &header->player[header->players++];
      snprintf(e->name, sizeof e->name, "%s", s.name.c_str());
      e->race = s.race & 0x0F;
      e->side = side - 1;
    }
  }
  return v;
}

struct Record {
  PlayerRecord* record = NewPlayerRecord();
  RecordView view;
  ~Record() { FreePlayerRecord(record); }
  RecordAdded Add(const Game& g) {
    Values v = ValuesOf(g);
    return AddRecordGame(record, v.game.get(), v.header.get(), &g.played, g.path.c_str());
  }
  const RecordView& Build(const char* player = nullptr) {
    EXPECT_TRUE(BuildRecordView(record, player, &view));
    return view;
  }
};

std::string TallyText(const Tally& t) {
  char text[64];
  snprintf(text, sizeof text, "%d: %d-%d-%d-%d", t.games, t.outcome[kOutcomeWin],
           t.outcome[kOutcomeLoss], t.outcome[kOutcomeDraw], t.outcome[kOutcomeUnknown]);
  return text;
}

std::string RowsText(const RecordRow* rows, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += (i > 0 ? "; " : "") + std::string(rows[i].key) + " " + TallyText(rows[i].tally);
  }
  return text;
}

// Copies of one game are one game; a change to anything the game wrote is another.
TEST(RecordIdentity, CopiesAreOneGameAndDifferentGamesAreNot) {
  const Game base = OneVsOne(77, "anXieTy#2932", 0x01, "IroNSoul#22724", 0x08, 0);
  struct Case {
    const char* what;
    Game other;
    bool same;
  };
  std::vector<Case> cases;
  Game renamed = base;  // another file name and another date: the same game
  renamed.path = "1v1/anXieTy(h) vs IroNSoul(u).w3g";
  renamed.played = {2025, 1, 1, 0, 0, 0};
  cases.push_back({"a renamed copy", renamed, true});
  Game other_account = base;  // as another account's folder would hold it
  other_account.path = "Users/Other/Replays/LastReplay.w3g";
  other_account.seats[0].name = "ANXIETY#2932";
  cases.push_back({"names in another case", other_account, true});
  Game untagged = base;
  untagged.seats[1].name = "IroNSoul";
  cases.push_back({"a name without its account tag", untagged, true});
  Game seed = base;
  seed.seed = 78;
  cases.push_back({"another seed", seed, false});
  Game player = base;
  player.seats[1].name = "Grubby";
  cases.push_back({"another player", player, false});
  Game map = base;
  map.map = "Maps/FrozenThrone/(2)Amazonia.w3x";
  cases.push_back({"another map", map, false});
  // Each player's save of one game ends when that player left: still one game.
  Game length = base;
  length.length_ms += 525;
  cases.push_back({"saved by another player, who left later", length, true});
  Game version = base;
  version.version = 10032;
  cases.push_back({"another version", version, false});
  Game swapped = base;
  std::swap(swapped.seats[0].name, swapped.seats[1].name);
  cases.push_back({"the players in other slots", swapped, false});
  for (const Case& c : cases) {
    Record r;
    ASSERT_NE(nullptr, r.record);
    EXPECT_EQ(kRecordNewGame, r.Add(base)) << c.what;
    EXPECT_EQ(c.same ? kRecordDuplicate : kRecordNewGame, r.Add(c.other)) << c.what;
    const RecordView& view = r.Build("anXieTy");
    EXPECT_EQ(c.same ? 1 : 0, view.duplicates) << c.what;
    EXPECT_EQ(2, view.replays_read) << c.what;
    EXPECT_EQ(c.same ? 1 : 2, view.overall.games) << c.what;
    // The first file found stands for the game.
    EXPECT_STREQ(base.path.c_str(), view.games[view.game_count - 1].path) << c.what;
  }
}

// Many games and many copies: every copy found among thousands of games.
TEST(RecordIdentity, ThousandsOfGamesEachFoundAgain) {
  Record r;
  for (uint32_t seed = 0; seed < 3000; ++seed) {
    ASSERT_EQ(kRecordNewGame, r.Add(OneVsOne(seed, "A", 1, "B" + std::to_string(seed % 50), 2, 0)));
  }
  for (uint32_t seed = 0; seed < 3000; seed += 7) {
    const Game copy = OneVsOne(seed, "a", 1, "b" + std::to_string(seed % 50), 2, 0);
    EXPECT_EQ(kRecordDuplicate, r.Add(copy)) << seed;
  }
  const RecordView& view = r.Build();
  EXPECT_EQ(3000, view.overall.games);
  EXPECT_EQ(429, view.duplicates);
  EXPECT_STREQ("A", view.player);
  EXPECT_EQ(50, view.by_opponent_count);
}

TEST(RecordPlayer, ChosenByMostGamesOrByName) {
  struct Case {
    const char* what;
    std::vector<Game> games;
    const char* wanted;  // --player, or NULL
    const char* player;
    int games_of_player;
    int without_player;
  };
  const Game ab = OneVsOne(1, "Beta#1", 1, "Alpha#2", 2, 0);
  const Game ac = OneVsOne(2, "Alpha#2", 1, "Cleo", 2, 0);
  const Game bd = OneVsOne(3, "beta#1", 1, "Dave", 2, 0);
  Game observed = OneVsOne(4, "Cleo", 1, "Dave", 2, 0);
  observed.seats.push_back({"Alpha#2", 24, 0x20, -1, true});
  Game bots = OneVsOne(5, "Erik", 1, "Computer", 2, 0);
  bots.seats[1].computer = true;
  bots.seats.push_back({"Blizzard", 24, 0x20, 0, true});
  Game more_bots = bots;
  more_bots.seed = 6;
  const std::vector<Case> cases = {
      {"the most games", {ab, bd}, nullptr, "Beta", 2, 0},
      {"a tie goes to the name first in name order", {ab, ac, bd, observed}, nullptr, "Alpha", 3,
       1},
      {"observing and computers never choose", {bots, more_bots, observed}, nullptr, "Erik", 2, 1},
      {"--player without its tag", {ab, ac, bd}, "alpha", "Alpha", 2, 1},
      {"--player with its tag, another case", {ab, ac, bd}, "ALPHA#2", "Alpha", 2, 1},
      {"--player with someone else's tag still names the player", {ab}, "Beta#9", "Beta", 1, 0},
      {"--player nobody is", {ab, ac}, "Zed#5", "Zed", 0, 2},
      {"no games at all", {}, nullptr, "", 0, 0},
  };
  for (const Case& c : cases) {
    Record r;
    for (const Game& g : c.games) r.Add(g);
    const RecordView& view = r.Build(c.wanted);
    EXPECT_STREQ(c.player, view.player) << c.what;
    EXPECT_EQ(c.wanted == nullptr, view.player_chosen) << c.what;
    EXPECT_EQ(c.games_of_player, view.overall.games) << c.what;
    EXPECT_EQ(c.without_player, view.without_player) << c.what;
    int listed = 0;
    while (RecordFileWithoutPlayer(r.record, listed) != nullptr) ++listed;
    EXPECT_EQ(c.without_player, listed) << c.what;
  }
}

TEST(RecordTallies, OutcomesTypesMatchupsMapsAndOpponents) {
  std::vector<Game> games;
  games.push_back(OneVsOne(1, "Me", 0x01, "Orc", 0x02, 0));            // win HvO
  games.push_back(OneVsOne(2, "Me", 0x01, "Orc", 0x02, 1));            // loss HvO
  games.push_back(OneVsOne(3, "Elf", 0x04, "Me", 0x41, 1));            // win HvN, fixed race
  games.push_back(OneVsOne(4, "Me", 0x20, "Dead", 0x08, -1));          // unknown RvU
  Game draw = OneVsOne(5, "Me", 0x08, "Orc", 0x02, -1);                // draw UvO
  draw.draw = true;
  draw.map = "Maps/W3Champions/w3c_Amazonia_v2.w3x";
  games.push_back(draw);
  Game team = OneVsOne(6, "Me", 0x01, "Orc", 0x02, 0);  // 2v2: the other side are opponents
  team.seats = {{"Me", 0, 1}, {"Mate", 0, 2}, {"Orc", 1, 2}, {"Dead", 1, 8}};
  team.map = "Maps/FrozenThrone/(4)TwistedMeadows.w3x";
  games.push_back(team);
  Game observed = OneVsOne(7, "Orc", 2, "Dead", 8, 0);
  observed.seats.push_back({"Me", 24, 0x20, 50, true});
  games.push_back(observed);
  Game ffa = OneVsOne(8, "Me", 1, "Orc", 2, 2);
  ffa.seats = {{"Me", 0, 1}, {"Orc", 1, 2}, {"Elf", 2, 4}};
  games.push_back(ffa);
  Game custom = OneVsOne(9, "Me", 1, "Orc", 2, 0);
  custom.ladder = false;
  games.push_back(custom);
  Record r;
  for (const Game& g : games) ASSERT_EQ(kRecordNewGame, r.Add(g));
  const RecordView& view = r.Build("me");
  EXPECT_EQ("9: 4-2-1-2", TallyText(view.overall));
  EXPECT_EQ("1v1 6: 2-1-1-2; 2v2 1: 1-0-0-0; FFA 1: 0-1-0-0; Custom 1: 1-0-0-0",
            RowsText(view.by_type, view.by_type_count));
  // The observed 1v1 is counted as unknown and has no matchup.
  EXPECT_EQ("HvO 2: 1-1-0-0; HvN 1: 1-0-0-0; RvU 1: 0-0-0-1; UvO 1: 0-0-1-0",
            RowsText(view.by_matchup, view.by_matchup_count));
  EXPECT_EQ("EchoIsles 7: 3-2-0-2; Amazonia 1: 0-0-1-0; TwistedMeadows 1: 1-0-0-0",
            RowsText(view.by_map, view.by_map_count));
  // Mate is no opponent; an observed game has none.
  EXPECT_EQ("Orc 6: 3-2-1-0; Dead 2: 1-0-0-1; Elf 2: 1-1-0-0",
            RowsText(view.by_opponent, view.by_opponent_count));
  int observed_rows = 0;
  for (int i = 0; i < view.game_count; ++i) {
    const GameRow& row = view.games[i];
    if (strcmp(row.type, "2v2") == 0) {
      EXPECT_STREQ("Me(h)Mate(o) vs Orc(o)Dead(u)", row.players);
    }
    // A custom game's name shows no players; its row does, as a ladder game's.
    if (strcmp(row.type, "Custom") == 0) {
      EXPECT_STREQ("Me(h) vs Orc(o)", row.players);
    }
    if (strcmp(row.type, "FFA") == 0) {
      EXPECT_STREQ("Me(h)Orc(o)Elf(e)", row.players);
    }
    if (row.apm == -1) ++observed_rows;
  }
  EXPECT_EQ(1, observed_rows);
}

TEST(RecordMonths, BoundariesMediansAndOrder) {
  struct Played {
    NameDate when;
    int apm;
    uint32_t length_s;
  };
  const std::vector<Played> played = {
      {{2023, 12, 31, 23, 59, 59}, 100, 300},
      {{2024, 1, 1, 0, 0, 0}, 200, 600},
      {{2024, 1, 31, 23, 59, 59}, 300, 601},
      {{2024, 1, 15, 12, 0, 0}, -1, 900},  // an observer-less APM: not known
      {{2024, 2, 29, 12, 0, 0}, 150, 1000},
      {{2024, 3, 1, 0, 0, 0}, 151, 1001},
      {{2024, 3, 2, 0, 0, 0}, 160, 1003},
  };
  Record r;
  uint32_t seed = 100;
  for (const Played& p : played) {
    Game g = OneVsOne(seed++, "Me", 1, "You", 2, 0);
    g.played = p.when;
    g.seats[0].apm = p.apm;
    g.length_ms = p.length_s * 1000 + 999;
    ASSERT_EQ(kRecordNewGame, r.Add(g));
  }
  const RecordView& view = r.Build("Me");
  ASSERT_EQ(4, view.by_month_count);
  struct Month {
    int year, month, games, median_apm, median_length_s;
  };
  const Month expected[] = {
      {2023, 12, 1, 100, 300},
      {2024, 1, 3, 250, 601},   // APMs 200 and 300; lengths 600, 601, 900
      {2024, 2, 1, 150, 1000},  // a leap day
      {2024, 3, 2, 156, 1002},  // the middle two averaged, rounded up
  };
  for (int i = 0; i < 4; ++i) {
    const MonthRow& m = view.by_month[i];
    EXPECT_EQ(expected[i].year, m.year) << i;
    EXPECT_EQ(expected[i].month, m.month) << i;
    EXPECT_EQ(expected[i].games, m.tally.games) << i;
    EXPECT_EQ(expected[i].median_apm, m.median_apm) << i;
    EXPECT_EQ(expected[i].median_length_s, m.median_length_s) << i;
  }
  // Newest first, dated as seconds of the local clock since 1970.
  ASSERT_EQ(7, view.game_count);
  EXPECT_EQ(1709337600, view.games[0].played);  // 2024-03-02 00:00:00
  EXPECT_EQ(1704067199, view.games[6].played);  // 2023-12-31 23:59:59
  for (int i = 1; i < view.game_count; ++i) {
    EXPECT_GE(view.games[i - 1].played, view.games[i].played) << i;
  }
}

TEST(RecordMonths, AMonthWithoutAnyKnownApmSaysSo) {
  Record r;
  Game g = OneVsOne(1, "Me", 1, "You", 2, -1);
  g.seats[0].apm = -1;
  r.Add(g);
  const RecordView& view = r.Build("Me");
  ASSERT_EQ(1, view.by_month_count);
  EXPECT_EQ(-1, view.by_month[0].median_apm);
  EXPECT_EQ(600, view.by_month[0].median_length_s);
  EXPECT_EQ(kOutcomeUnknown, view.games[0].outcome);
  EXPECT_STREQ("unknown", OutcomeText(view.games[0].outcome));
}

// Long texts are cut to the view's fields at the end of a letter.
TEST(RecordView, LongNamesAndMapsAreCutWhole) {
  std::string long_name;
  for (int i = 0; i < 40; ++i) long_name += "\xc3\xa9";  // 80 bytes
  // A name as the reading keeps it: 62 bytes, cut at the end of a letter.
  Game g = OneVsOne(1, "Me", 1, long_name.substr(0, 62), 2, 0);
  g.map = "Maps/" + long_name + ".w3x";
  Record r;
  r.Add(g);
  const RecordView& view = r.Build("Me");
  ASSERT_EQ(1, view.by_opponent_count);
  EXPECT_EQ(std::string(long_name, 0, 62), view.by_opponent[0].key);
  EXPECT_EQ(std::string(long_name, 0, 62), view.games[0].map);
  EXPECT_EQ(0, view.files_seen - view.replays_read);
  CountNotReplay(r.record);
  CountUnreadable(r.record);
  CountUnreadable(r.record);
  const RecordView& again = r.Build("Me");
  EXPECT_EQ(4, again.files_seen);
  EXPECT_EQ(1, again.not_replays);
  EXPECT_EQ(2, again.unreadable);
  EXPECT_EQ(1, again.overall.games);
}

}  // namespace
