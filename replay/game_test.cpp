// The whole-replay reading against the real replays' table (expected-outcome.tsv,
// computed by a parser of the format that is not ours), and against replays built
// here to be damaged, cut, odd or hostile.
#include "replay/game.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "replay/actions.h"
#include "replay/decode.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"

namespace {

Bytes ReadBytes(const std::string& path) {
  Bytes bytes;
  ReadWholeFile(path, &bytes);
  return bytes;
}

// ---------------------------------------------------------------------------
// The real replays

struct ExpectedPlayer {
  std::string name;
  int team;
  int apm;
  long long left_ms;
};

struct ExpectedGame {
  std::string file;
  std::vector<std::string> winners;  // names without their #tag
  std::string basis;
  long long length_ms;
  std::vector<ExpectedPlayer> players;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// Player names may hold '|' (|c00ffbd00:D): the last three cells are the numbers.
ExpectedPlayer ParsePlayer(const std::string& cell) {
  std::vector<std::string> parts = Split(cell, '|');
  ExpectedPlayer player;
  const size_t n = parts.size();
  if (n < 4) return ExpectedPlayer{cell, -1, -1, -2};
  player.left_ms = atoll(parts[n - 1].c_str());
  player.apm = atoi(parts[n - 2].c_str());
  player.team = atoi(parts[n - 3].c_str());
  for (size_t i = 0; i + 3 < n; ++i) player.name += (i > 0 ? "|" : "") + parts[i];
  return player;
}

std::vector<ExpectedGame> ReadExpectedOutcome() {
  std::vector<ExpectedGame> games;
  const Bytes bytes = ReadBytes(RealReplayFolder() + "expected-outcome.tsv");
  const std::string text(bytes.begin(), bytes.end());
  for (const std::string& line : Split(text, '\n')) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> cells = Split(line, '\t');
    EXPECT_EQ(5u, cells.size()) << line;
    if (cells.size() != 5) continue;
    ExpectedGame game;
    game.file = cells[0];
    if (cells[1] != "-") game.winners = Split(cells[1], ',');
    game.basis = cells[2];
    game.length_ms = atoll(cells[3].c_str());
    for (const std::string& cell : Split(cells[4], ';')) game.players.push_back(ParsePlayer(cell));
    games.push_back(game);
  }
  return games;
}

std::string WithoutTag(const std::string& name) { return name.substr(0, name.find('#')); }

TEST(ReplayGameReal, EveryFileAgreesWithTheTable) {
  ASSERT_FALSE(RealReplayFolder().empty()) << "tests/replays or its expected.tsv is missing";
  const std::vector<ExpectedGame> games = ReadExpectedOutcome();
  ASSERT_FALSE(games.empty()) << "no rows in tests/replays/expected-outcome.tsv";
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  for (const ExpectedGame& expected : games) {
    SCOPED_TRACE(expected.file);
    const Bytes file = ReadBytes(RealReplayFolder() + expected.file);
    ASSERT_FALSE(file.empty());
    ReplayGame game;
    ASSERT_TRUE(ReadReplayGame(file.data(), file.size(), scratch.get(), &game));
    EXPECT_EQ(kGameWhole, game.problem) << GameProblemText(game.problem);
    EXPECT_EQ(expected.length_ms, game.length_ms);
    EXPECT_EQ(expected.basis, GameBasisText(game.basis));
    std::vector<std::string> winners;
    std::vector<ExpectedPlayer> players;
    for (int i = 0; i < game.players; ++i) {
      const GamePlayer& p = game.player[i];
      if (p.won) winners.push_back(WithoutTag(p.name));
      if (!p.observer) players.push_back(ExpectedPlayer{p.name, p.team, p.apm, p.left_ms});
    }
    EXPECT_EQ(expected.winners, winners);
    ASSERT_EQ(expected.players.size(), players.size());
    for (size_t i = 0; i < players.size(); ++i) {
      SCOPED_TRACE(expected.players[i].name);
      EXPECT_EQ(expected.players[i].name, players[i].name);
      EXPECT_EQ(expected.players[i].team, players[i].team);
      EXPECT_EQ(expected.players[i].apm, players[i].apm);
      EXPECT_EQ(expected.players[i].left_ms, players[i].left_ms);
    }
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Replays built here: the header records of tests/replay_builder.h (player ids
// are the seats' places plus one, computers 0), then the game's records.

void PutU16(Bytes* out, size_t value) {
  out->push_back(static_cast<unsigned char>(value));
  out->push_back(static_cast<unsigned char>(value >> 8));
}

void PutU32(Bytes* out, uint32_t value) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(value >> (8 * k)));
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// An action: its id and size bytes after it.
Bytes Act(unsigned id, size_t size = 0) {
  Bytes action(1 + size, 0);
  action[0] = static_cast<unsigned char>(id);
  return action;
}

// A selection change (0x16) or group assignment (0x17) of that many units.
Bytes Select(unsigned id, unsigned mode, size_t units = 1) {
  Bytes action = {static_cast<unsigned char>(id), static_cast<unsigned char>(mode)};
  PutU16(&action, units);
  action.resize(action.size() + 8 * units, 0x11);
  return action;
}
const unsigned kAdd = 1;
const unsigned kRemove = 2;

Bytes Text(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

struct Command {
  unsigned id;
  Bytes actions;
};

Bytes TimeSlot(unsigned increment, const std::vector<Command>& commands) {
  Bytes body;
  PutU16(&body, increment);
  for (const Command& command : commands) {
    body.push_back(static_cast<unsigned char>(command.id));
    PutU16(&body, command.actions.size());
    body.insert(body.end(), command.actions.begin(), command.actions.end());
  }
  Bytes record = {0x1F};
  PutU16(&record, body.size());
  return Cat({record, body});
}

Bytes Leave(uint32_t reason, unsigned id, uint32_t result, uint32_t counter) {
  Bytes record = {0x17};
  PutU32(&record, reason);
  record.push_back(static_cast<unsigned char>(id));
  PutU32(&record, result);
  PutU32(&record, counter);
  return record;
}

Bytes Chat(unsigned id, const std::string& text) {
  Bytes body = {0x20};  // flags: a message to a scope, which a u32 names
  PutU32(&body, 0);
  body = Cat({body, Text(text)});
  Bytes record = {0x20, static_cast<unsigned char>(id)};
  PutU16(&record, body.size());
  return Cat({record, body});
}

// The file of a game: the shape's header records, the three start records, then
// records; blocks of the shape's size, the file header's block count set.
Bytes GameFile(const SyntheticModernReplay& shape, const Bytes& records) {
  Bytes data = BuildModernHeader(shape);
  data.pop_back();  // the start record the builder closes with: written whole below
  for (unsigned kind : {0x1A, 0x1B, 0x1C}) {
    data.push_back(static_cast<unsigned char>(kind));
    PutU32(&data, 1);
  }
  data = Cat({data, records});
  Bytes file = WrapModernHeader(data, shape.version, shape.block_size, 0, shape.oldest_header);
  const size_t blocks = (data.size() + shape.block_size - 1) / shape.block_size;
  for (int k = 0; k < 4; ++k) file[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
  return file;
}

// Where each block header stands in a file.
std::vector<size_t> BlockOffsets(const Bytes& file, uint32_t version) {
  const bool wide = version >= 10032;
  std::vector<size_t> offsets;
  for (size_t at = 68; at + (wide ? 12 : 8) <= file.size();) {
    offsets.push_back(at);
    const size_t packed = wide ? (file[at] | file[at + 1] << 8 | file[at + 2] << 16)
                               : (file[at] | file[at + 1] << 8);
    at += (wide ? 12 : 8) + packed;
  }
  return offsets;
}

GameReadScratch* Scratch() {
  static std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  return scratch.get();
}

ReplayGame Read(const Bytes& file) {
  ReplayGame game;
  ReadReplayGame(file.data(), file.size(), Scratch(), &game);
  return game;
}

std::string Winners(const ReplayGame& game) {
  std::string names;
  for (int i = 0; i < game.players; ++i) {
    if (game.player[i].won) names += (names.empty() ? "" : ",") + std::string(game.player[i].name);
  }
  return names.empty() ? "-" : names;
}

const GamePlayer* Find(const ReplayGame& game, const std::string& name) {
  for (int i = 0; i < game.players; ++i) {
    if (name == game.player[i].name) return &game.player[i];
  }
  return nullptr;
}

// Anna (team 0, id 1) against Bert (team 1, id 2), watched by Olga (id 3).
SyntheticModernReplay TwoSides() {
  return ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}, {"Olga", 0x60, 24}}, 10032);
}

// A second of game with a command block of each player.
Bytes Second() { return TimeSlot(1000, {{1, {}}, {2, {}}, {3, {}}}); }

// ---------------------------------------------------------------------------
// Actions

TEST(ReplayActions, CountedAsPlayersCompareThem) {
  struct Case {
    const char* what;
    Bytes actions;
    bool post_202;
    long long counted;
    bool whole;
  };
  const Bytes cache_key = Cat({Text("file"), Text("mission"), Text("key")});
  Bytes stored_unit = cache_key;
  for (uint32_t field : {0x486f6f66u, 1u}) PutU32(&stored_unit, field);  // unit id, 1 item
  stored_unit.resize(stored_unit.size() + 12 + 48, 0);                  // the item, the hero
  PutU32(&stored_unit, 2);                                               // 2 abilities
  stored_unit.resize(stored_unit.size() + 16 + 12, 0);                  // them, life and mana
  PutU32(&stored_unit, 1);                                               // 1 damage value
  stored_unit.resize(stored_unit.size() + 4 + 6, 0);                    // it, defence, groups
  Bytes sync_buffer = Act(0x77, 8);
  PutU32(&sync_buffer, 5);
  sync_buffer.resize(sync_buffer.size() + 5, 'x');
  const std::vector<Case> cases = {
      {"every counted kind once",
       Cat({Act(0x10, 14), Act(0x11, 22), Act(0x12, 30), Act(0x13, 38), Act(0x14, 43),
            Select(0x17, 3, 2), Act(0x18, 2), Act(0x1C, 9), Act(0x1D, 8), Act(0x1E, 5),
            Act(0x61), Act(0x66), Act(0x67), Select(0x16, kAdd)}),
       false, 14, true},
      {"kinds that do not count",
       Cat({Act(0x19, 12), Act(0x1A), Act(0x1B, 9), Act(0x65, 8), Act(0x15, 51), Act(0x1F, 5),
            Act(0x50, 5), Act(0x51, 9), Act(0x75, 1), Cat({Act(0x60, 8), Text("-cmd")}),
            Cat({Act(0x6B), cache_key, Bytes(4, 0)}), Cat({Act(0x6E), stored_unit}),
            Cat({Act(0x70), cache_key}), sync_buffer, Cat({Act(0x78), Text("a"), Text("b"),
            Bytes(4, 0)})}),
       false, 0, true},
      {"a selection replacing another is one action",
       Cat({Select(0x16, kRemove), Select(0x16, kAdd)}), false, 1, true},
      {"also with subgroup actions between",
       Cat({Select(0x16, kRemove), Act(0x19, 12), Act(0x1A), Select(0x16, kAdd), Act(0x61)}),
       false, 2, true},
      {"two selections are two", Cat({Select(0x16, kAdd), Select(0x16, kAdd, 3)}), false, 2,
       true},
      {"two deselections and a selection",
       Cat({Select(0x16, kRemove), Select(0x16, kRemove), Select(0x16, kAdd)}), false, 2, true},
      {"from 2.0.2 an id above 0x77 is the action one higher (0x7A is 0x7B, 16 bytes)",
       Cat({Act(0x7A, 16), Act(0x61)}), true, 1, true},
      {"before, 0x7A has 20 bytes", Cat({Act(0x7A, 16), Act(0x61)}), false, 0, false},
      {"an unknown id stops the walk", Cat({Act(0x61), Act(0x08), Act(0x61)}), false, 1, false},
      {"an action running past the block", Cat({Act(0x61), Act(0x10, 5)}), false, 1, false},
      {"a selection of more units than the block holds", Bytes{0x16, 0x01, 0x00, 0x10}, false,
       0, false},
      {"a string without its end", Cat({Act(0x61), Act(0x60, 8), Bytes{'a', 'b'}}), false, 1,
       false},
      {"nothing", Bytes{}, false, 0, true},
  };
  for (const Case& c : cases) {
    long long counted = 100;
    const bool whole = CountActions(c.actions.data(), c.actions.size(), c.post_202, &counted);
    EXPECT_EQ(100 + c.counted, counted) << c.what;
    EXPECT_EQ(c.whole, whole) << c.what;
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The result

TEST(ReplayGameResult, TheRulesInTheirOrder) {
  const uint32_t kRemote = 0x01;
  const uint32_t kSaver = 0x0C;
  const uint32_t kLeft = 0x07;
  const uint32_t kLost = 0x08;
  const uint32_t kWon = 0x09;
  const uint32_t kDraw = 0x0A;
  const uint32_t kObserverLeft = 0x0B;
  // Anna (0) and Cleo (2) against Bert (1) and Dave (3); ids 1 to 4.
  const SyntheticModernReplay two_v_two = ModernGame(
      {{"Anna", 0x01, 0}, {"Bert", 0x02, 1}, {"Cleo", 0x04, 0}, {"Dave", 0x08, 1}}, 10032);
  const SyntheticModernReplay observed_two_v_two =
      ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x02, 1}, {"Cleo", 0x04, 0}, {"Dave", 0x08, 1},
                  {"Olga", 0x60, 24}},
                 10032);
  const SyntheticModernReplay three_sides =
      ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x02, 1}, {"Cleo", 0x04, 2}}, 10032);
  const SyntheticModernReplay computer =
      ModernGame({{"Anna", 0x01, 0}, {"", 0x08, 1, true}}, 10032);
  struct Case {
    const char* what;
    SyntheticModernReplay shape;
    Bytes records;
    const char* winners;
    GameBasis basis;
    bool ended;
  };
  const std::vector<Case> cases = {
      {"a record with won", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kRemote, 1, kWon, 1)}),
       "Anna", kBasisExplicit, true},
      {"lost, written by the saver's game about the other player: the saver lost", TwoSides(),
       Cat({Second(), Leave(kSaver, 2, kLost, 1), Second(), Leave(kSaver, 1, kObserverLeft, 2)}),
       "Bert", kBasisExplicit, true},
      {"the community ladder writes the reason as the result", TwoSides(),
       Cat({Second(), Leave(kLeft, 1, kLeft, 2), Leave(kWon, 2, kWon, 2)}), "Bert",
       kBasisExplicit, true},
      {"the saver closes after the other side left, counter up", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kSaver, 1, kLeft, 2)}),
       "Anna", kBasisSaver, true},
      {"the same with the counter not up: the saver lost", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kSaver, 1, kLeft, 1)}),
       "Bert", kBasisSaver, true},
      {"no closing record: the side that stayed", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kRemote, 1, kLeft, 1), Second(),
            Leave(kRemote, 3, kLeft, 1)}),
       "Anna", kBasisOrder, true},
      {"everyone closed at once by the saver's game", TwoSides(),
       Cat({Second(), Leave(kSaver, 2, kLeft, 3), Leave(kSaver, 1, kLeft, 3)}), "-",
       kBasisUnknown, true},
      {"the saver's game closed the other side, then its own", TwoSides(),
       Cat({Second(), Leave(kSaver, 2, kLeft, 1), Leave(kSaver, 1, kLeft, 2)}), "-",
       kBasisUnknown, true},
      {"an observer saved: the side that stayed", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kRemote, 1, kLeft, 1), Second(),
            Leave(kSaver, 3, kObserverLeft, 2)}),
       "Anna", kBasisOrder, true},
      {"an observer saved before the players left: nothing says who stayed", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Leave(kSaver, 3, kObserverLeft, 2)}), "-",
       kBasisUnknown, false},
      {"a record about an observer says nothing of the sides", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 5), Leave(kSaver, 3, kWon, 5), Second(),
            Leave(kSaver, 1, kObserverLeft, 6)}),
       "Anna", kBasisSaver, true},
      // One side gone and the replay ending with the other in the game, with no
      // closing record of the saver: the side still in won, as the ladder counts it.
      {"the other side left, the replay ends with no record of the side still in",
       TwoSides(), Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second()}), "Anna", kBasisOrder,
       true},
      {"the same in a team game, both of the other side gone", two_v_two,
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kRemote, 4, kLeft, 1),
            Second()}),
       "Anna,Cleo", kBasisOrder, true},
      {"unfinished: nobody left", TwoSides(), Cat({Second(), Second()}), "-", kBasisUnknown,
       false},
      {"unfinished: one of a side left, its mate plays on", two_v_two,
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second()}), "-", kBasisUnknown, false},
      // An observer's game closes the connections of the players still in, at the
      // very moment the other side's last player left: they were still in.
      {"an observer's game closes the side still in as the other leaves", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Leave(kSaver, 1, kLeft, 2),
            Leave(kSaver, 3, kObserverLeft, 3)}),
       "Anna", kBasisOrder, true},
      {"the same in a team game", observed_two_v_two,
       Cat({Second(), Leave(kRemote, 2, kLeft, 1), Second(), Leave(kRemote, 4, kLeft, 1),
            Leave(kSaver, 1, kLeft, 2), Leave(kSaver, 3, kLeft, 3),
            Leave(kSaver, 5, kObserverLeft, 4)}),
       "Anna,Cleo", kBasisOrder, true},
      {"an observer's game closes both sides at once: nobody left before", TwoSides(),
       Cat({Second(), Leave(kSaver, 2, kLeft, 1), Leave(kSaver, 1, kLeft, 2),
            Leave(kSaver, 3, kObserverLeft, 3)}),
       "-", kBasisUnknown, true},
      {"an observer's game closed a player before the other side left", TwoSides(),
       Cat({Second(), Leave(kSaver, 1, kLeft, 1), Leave(kRemote, 2, kLeft, 2),
            Leave(kSaver, 3, kObserverLeft, 3)}),
       "-", kBasisUnknown, true},
      {"the saver left while the other side played on", TwoSides(),
       Cat({Second(), Leave(kSaver, 1, kLeft, 1)}), "-", kBasisUnknown, true},
      {"both sides won", TwoSides(),
       Cat({Second(), Leave(kRemote, 1, kWon, 1), Leave(kRemote, 2, kWon, 1)}), "-",
       kBasisUnknown, true},
      {"a draw", TwoSides(),
       Cat({Second(), Leave(kRemote, 2, kDraw, 1), Leave(kSaver, 1, kDraw, 2)}), "-",
       kBasisExplicit, true},
      {"a team game: the saver's mate left first", two_v_two,
       Cat({Second(), Leave(kRemote, 3, kLeft, 1), Second(), Leave(kRemote, 2, kLeft, 1),
            Leave(kRemote, 4, kLeft, 1), Second(), Leave(kSaver, 1, kLeft, 2)}),
       "Anna,Cleo", kBasisSaver, true},
      {"three sides, two of them lost", three_sides,
       Cat({Second(), Leave(kRemote, 2, kLost, 1), Leave(kRemote, 3, kLost, 1),
            Leave(kSaver, 1, kObserverLeft, 2)}),
       "Anna", kBasisExplicit, true},
      {"three sides, one lost, then the saver outlasted the third", three_sides,
       Cat({Second(), Leave(kRemote, 2, kLost, 1), Second(), Leave(kRemote, 3, kLeft, 1),
            Leave(kSaver, 1, kLeft, 2)}),
       "Anna", kBasisSaver, true},
      {"three sides in turn", three_sides,
       Cat({Second(), Leave(kRemote, 3, kLeft, 1), Second(), Leave(kRemote, 1, kLeft, 1),
            Second(), Leave(kRemote, 2, kLeft, 1)}),
       "Bert", kBasisOrder, true},
      {"the saver alone against a computer", computer,
       Cat({Second(), Leave(kSaver, 1, kLeft, 4)}), "-", kBasisUnknown, true},
      {"the saver against a computer, with a record before", computer,
       Cat({Second(), Leave(kRemote, 7, kLeft, 3), Second(), Leave(kSaver, 1, kLeft, 4)}), "-",
       kBasisUnknown, true},
  };
  for (const Case& c : cases) {
    const ReplayGame game = Read(GameFile(c.shape, c.records));
    EXPECT_EQ(kGameWhole, game.problem) << c.what;
    EXPECT_EQ(c.winners, Winners(game)) << c.what;
    EXPECT_STREQ(GameBasisText(c.basis), GameBasisText(game.basis)) << c.what;
    EXPECT_EQ(c.ended, game.ended) << c.what;
    EXPECT_EQ(c.basis == kBasisExplicit && std::string(c.winners) == "-", game.draw) << c.what;
  }
}

// ---------------------------------------------------------------------------
// The players

TEST(ReplayGamePlayers, ActionsTimesAndWhoIsWho) {
  SyntheticModernReplay shape = ModernGame(
      {{"Anna", 0x01, 0}, {"Bert", 0x48, 1}, {"Olga", 0x60, 24}, {"", 0x02, 1, true}}, 10032);
  shape.game_name = "w3c-20-x";
  shape.settings = MapSettings("Maps/FrozenThrone/(2)EchoIsles.w3x");
  const Bytes records = Cat({
      // 0.5 s: Anna orders and changes a subgroup (one counted action).
      TimeSlot(500, {{1, Cat({Act(0x10, 14), Act(0x19, 12)})}}),
      // 1.0 s: an empty command block of Anna's still marks her active; Bert presses
      // Esc; a player id no slot has sends two orders.
      TimeSlot(500, {{1, {}}, {2, Act(0x61)}, {9, Cat({Act(0x10, 14), Act(0x10, 14)})}}),
      Chat(2, "gl hf"),
      // 1.5 s: Bert replaces his selection; a selection in a later command block
      // after a deselection in an earlier one counts on its own.
      TimeSlot(500, {{2, Select(0x16, kRemove)}, {2, Select(0x16, kAdd)}}),
      TimeSlot(250, {}),
      Leave(0x01, 9, 0x09, 1),  // about no one in the slot table: passed over
      Leave(0x01, 2, 0x07, 1),
      TimeSlot(250, {}),
      Leave(0x0C, 1, 0x07, 2),
      Leave(0x0C, 1, 0x09, 3),  // a second record of a player who already left
  });
  const ReplayGame game = Read(GameFile(shape, records));
  ASSERT_TRUE(game.readable);
  EXPECT_EQ(kGameWhole, game.problem);
  EXPECT_STREQ("w3c-20-x", game.game_name);
  EXPECT_STREQ("Maps/FrozenThrone/(2)EchoIsles.w3x", game.map_path);
  EXPECT_EQ(10032u, game.version);
  EXPECT_EQ(24, game.observer_team);
  EXPECT_FALSE(game.post_202);
  EXPECT_EQ(2000, game.game_ms);
  EXPECT_EQ(5, game.time_slots);
  EXPECT_EQ(4, game.leave_records);
  EXPECT_EQ(1, game.chat_messages);
  EXPECT_EQ(1, game.stray_commands);
  EXPECT_EQ(0, game.unread_actions);
  EXPECT_EQ(1, game.host_id);
  EXPECT_EQ(1, game.saver_id);
  ASSERT_EQ(4, game.players);
  struct Expected {
    const char* name;
    int id;
    int team;
    int race;
    bool computer;
    bool observer;
    long long actions;
    long long active_ms;
    int apm;
    long long left_ms;
    bool won;
  };
  const Expected expected[] = {
      // 1 action in 1 s of activity: 60 per minute.
      {"Anna", 1, 0, 0x01, false, false, 1, 1000, 60, 2000, true},
      // 3 actions in 1.5 s: 120.
      {"Bert", 2, 1, 0x48, false, false, 3, 1500, 120, 1750, false},
      {"Olga", 3, 24, 0x60, false, true, 0, 0, 0, -1, false},
      {"Computer", 0, 1, 0x02, true, false, 0, 0, 0, -1, false},
  };
  for (int i = 0; i < 4; ++i) {
    const GamePlayer& p = game.player[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_STREQ(e.name, p.name);
    EXPECT_EQ(i, p.slot);
    EXPECT_EQ(i, p.colour);
    EXPECT_EQ(e.id, p.id);
    EXPECT_EQ(e.team, p.team);
    EXPECT_EQ(e.race, p.race);
    EXPECT_EQ(e.computer, p.computer);
    EXPECT_EQ(e.observer, p.observer);
    EXPECT_EQ(e.actions, p.actions);
    EXPECT_EQ(e.active_ms, p.active_ms);
    EXPECT_EQ(e.apm, p.apm);
    EXPECT_EQ(e.left_ms, p.left_ms);
    EXPECT_EQ(e.won, p.won);
  }
  // The saver's second record says won; a computer beside Bert changes nothing.
  EXPECT_EQ(kBasisExplicit, game.basis);
  EXPECT_EQ(0, game.winning_team);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Damaged, cut and odd replays

// A game of some length in blocks of 256 inflated bytes: Bert leaves, Anna's game
// closes with her win.
Bytes LongerGame(size_t block_size = 256) {
  SyntheticModernReplay shape = TwoSides();
  shape.block_size = block_size;
  Bytes records;
  for (int i = 0; i < 60; ++i) {
    records = Cat({records, TimeSlot(250, {{1, Cat({Act(0x10, 14), Select(0x16, kAdd, 2)})},
                                           {2, Act(0x61)}})});
    if (i % 20 == 0) records = Cat({records, Chat(2, "wait")});
  }
  return GameFile(shape, Cat({records, Leave(1, 2, 7, 1), Second(), Leave(0x0C, 1, 7, 2)}));
}

// What a reading found, for comparing readings of the same game.
std::string Summary(const ReplayGame& game) {
  std::string text = std::to_string(game.game_ms) + " slots " +
                     std::to_string(game.time_slots) + " leaves " +
                     std::to_string(game.leave_records) + " chat " +
                     std::to_string(game.chat_messages) + " won " + Winners(game) + " by " +
                     GameBasisText(game.basis);
  for (int i = 0; i < game.players; ++i) {
    const GamePlayer& p = game.player[i];
    text += std::string(" | ") + p.name + " " + std::to_string(p.actions) + " " +
            std::to_string(p.active_ms) + " " + std::to_string(p.apm) + " " +
            std::to_string(p.left_ms);
  }
  return text;
}

TEST(ReplayGameDamage, ACutFileGivesWhatItHolds) {
  const Bytes full = LongerGame();
  const ReplayGame whole = Read(full);
  ASSERT_EQ(kGameWhole, whole.problem);
  ASSERT_EQ("Anna", Winners(whole));
  ASSERT_GT(BlockOffsets(full, 10032).size(), 5u);
  long long slots = 0;
  long long leaves = 0;
  for (size_t cut = 0; cut < full.size(); ++cut) {
    const Bytes part(full.begin(), full.begin() + static_cast<long>(cut));
    const ReplayGame game = Read(part);
    SCOPED_TRACE(cut);
    if (cut < kGameFileHeader) {
      EXPECT_EQ(kGameNotReplay, game.problem);
      continue;
    }
    EXPECT_FALSE(game.readable && game.players != 3);
    // Cutting off no more than the end of the last block's stream loses nothing.
    if (game.problem == kGameWhole) {
      EXPECT_EQ(Summary(whole), Summary(game));
      continue;
    }
    EXPECT_EQ(kBasisUnknown, game.basis);
    EXPECT_EQ("-", Winners(game));
    EXPECT_GE(game.time_slots, slots);
    EXPECT_GE(game.leave_records, leaves);
    slots = game.time_slots;
    leaves = game.leave_records;
  }
  EXPECT_EQ(whole.time_slots, slots);
}

// Sets the u32 at a file offset.
void Poke32(Bytes* file, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*file)[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

uint32_t Peek32(const Bytes& file, size_t at) {
  return file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
         static_cast<uint32_t>(file[at + 3]) << 24;
}

TEST(ReplayGameDamage, BlocksThatLieOrDoNotInflate) {
  const Bytes full = LongerGame();
  const std::vector<size_t> blocks = BlockOffsets(full, 10032);
  const size_t third = blocks[2];
  const size_t last = blocks.back();
  struct Case {
    const char* what;
    Bytes file;
    GameProblem problem;
  };
  std::vector<Case> cases;
  Bytes file = full;
  file[third + 12] = 0x00;  // the zlib header's first byte
  cases.push_back({"a block that is no zlib stream", file, kGameBlockDamaged});
  file = full;
  Poke32(&file, third + 4, Peek32(full, third + 4) + 100);
  cases.push_back({"a block that holds less than it says", file, kGameBlockDamaged});
  file = full;
  Poke32(&file, third, Peek32(full, third) - 20);
  cases.push_back({"a block whose packed size is too short", file, kGameBlockDamaged});
  file = full;
  Poke32(&file, last, 0x7FFFFFFF);
  cases.push_back({"the last block says it runs far past the file", file, kGameCut});
  file = full;
  Poke32(&file, third, 0xFFFFFFFF);
  cases.push_back({"a block says it runs past the file", file, kGameCut});
  file = full;
  Poke32(&file, 0x2C, static_cast<uint32_t>(blocks.size() + 1));
  cases.push_back({"the file header announces a block more", file, kGameCut});
  file = full;
  file.insert(file.begin() + static_cast<long>(third), 12, 0);
  Poke32(&file, 0x2C, static_cast<uint32_t>(blocks.size() + 1));
  cases.push_back({"an empty block between two others", file, kGameWhole});
  for (const Case& c : cases) {
    const ReplayGame game = Read(c.file);
    EXPECT_STREQ(GameProblemText(c.problem), GameProblemText(game.problem)) << c.what;
    EXPECT_TRUE(game.readable) << c.what;
    EXPECT_EQ(3, game.players) << c.what;
    if (c.problem != kGameWhole) {
      EXPECT_EQ(kBasisUnknown, game.basis) << c.what;
      EXPECT_LE(game.time_slots, Read(full).time_slots) << c.what;
    }
  }
  // A block after which nothing joins up: what came before it is kept.
  file = full;
  file[third + 12] = 0x00;
  const ReplayGame damaged = Read(file);
  EXPECT_GT(damaged.time_slots, 0);
  EXPECT_LT(damaged.time_slots, Read(full).time_slots);
  EXPECT_EQ(2u, damaged.blocks_read);
}

TEST(ReplayGameDamage, AnUnknownRecordStopsTheWalk) {
  const Bytes records = Cat({Second(), Leave(1, 2, 7, 1), Bytes{0x55, 1, 2, 3}, Second(),
                             Leave(0x0C, 1, 7, 2)});
  const ReplayGame game = Read(GameFile(TwoSides(), records));
  EXPECT_TRUE(game.readable);
  EXPECT_EQ(kGameRecordUnknown, game.problem);
  EXPECT_EQ(1, game.time_slots);
  EXPECT_EQ(1, game.leave_records);
  EXPECT_EQ(1000, Find(game, "Bert")->left_ms);
  EXPECT_EQ(-1, Find(game, "Anna")->left_ms);
  EXPECT_EQ(kBasisUnknown, game.basis);
  // A time slot too short to hold its time increment is no record either.
  const ReplayGame short_slot = Read(GameFile(TwoSides(), Bytes{0x1F, 1, 0, 0}));
  EXPECT_EQ(kGameRecordUnknown, short_slot.problem);
}

TEST(ReplayGameDamage, ThousandsOfLeaveRecordsAndStrangers) {
  Bytes records;
  for (int i = 0; i < 5000; ++i) {
    // Player ids the slot table does not have, some of them said to have won.
    records = Cat({records, Leave(1, 4 + i % 250, i % 3 == 0 ? 9 : 7, static_cast<uint32_t>(i))});
    if (i % 100 == 0) records = Cat({records, TimeSlot(100, {{200, Act(0x61)}, {1, Act(0x61)}})});
  }
  records = Cat({records, Leave(1, 2, 7, 5000), Second(), Leave(0x0C, 1, 7, 5001)});
  const ReplayGame game = Read(GameFile(TwoSides(), records));
  EXPECT_EQ(kGameWhole, game.problem);
  EXPECT_EQ(5002, game.leave_records);
  EXPECT_EQ(50, game.stray_commands);
  EXPECT_EQ(50, Find(game, "Anna")->actions);
  EXPECT_EQ("Anna", Winners(game));
  EXPECT_EQ(kBasisSaver, game.basis);
}

TEST(ReplayGameBlocks, RecordsRunAcrossBlocksOfAnySize) {
  SyntheticModernReplay shape = TwoSides();
  // A time slot of almost 64 KB and a chat message of 60000 bytes, beside small ones.
  Bytes big_actions;
  for (int i = 0; i < 4000; ++i) big_actions = Cat({big_actions, Act(0x10, 14)});
  const Bytes records =
      Cat({TimeSlot(100, {{1, big_actions}, {2, Act(0x61)}}), Chat(1, std::string(60000, 'x')),
           Second(), Leave(1, 2, 7, 1), Second(), Leave(0x0C, 1, 7, 2)});
  const ReplayGame reference = Read(GameFile(shape, records));
  ASSERT_EQ(kGameWhole, reference.problem);
  EXPECT_EQ(4000, Find(reference, "Anna")->actions);
  EXPECT_EQ(1, reference.chat_messages);
  for (size_t block_size : {1, 7, 100, 4096, 65536, 300000}) {
    shape.block_size = block_size;
    const ReplayGame game = Read(GameFile(shape, records));
    EXPECT_EQ(kGameWhole, game.problem) << block_size;
    EXPECT_EQ(Summary(reference), Summary(game)) << block_size;
  }
}

TEST(ReplayGameHeader, RecordsBeforeTheGame) {
  // A metadata record longer than the window is passed over as it streams by;
  // 0x38 marks a replay of 2.0.2 or later.
  SyntheticModernReplay meta = TwoSides();
  meta.metadata = {{0x39, 3, Bytes(300000, 0x16)}, {0x38, 4, {1, 2, 3}}};
  ReplayGame game = Read(GameFile(meta, Second()));
  EXPECT_EQ(kGameWhole, game.problem);
  EXPECT_TRUE(game.post_202);
  EXPECT_EQ(3, game.players);
  meta.metadata = {{0x39, 3, Bytes(10, 0)}};
  EXPECT_FALSE(Read(GameFile(meta, Second())).post_202);

  // Team 12 holds the observers before version 29, and players after it.
  for (uint32_t version : {26u, 29u}) {
    SyntheticModernReplay old = ModernGame({{"Anna", 0x01, 0}, {"Olga", 0x60, 12}}, version);
    game = Read(GameFile(old, Second()));
    EXPECT_EQ(kGameWhole, game.problem) << version;
    EXPECT_EQ(version < 29, Find(game, "Olga")->observer) << version;
  }

  // A name longer than kept is cut at the end of a letter; a slot without a
  // player record has no name; a second slot of a player id adds no one.
  std::string long_name;
  for (int i = 0; i < 40; ++i) long_name += "\xc3\xa9";
  SyntheticModernReplay odd =
      ModernGame({{long_name, 0x01, 0}, {"Bert", 0x02, 1}, {"Nameless", 0x04, 1}}, 10032);
  odd.seats[2].record = false;
  game = Read(GameFile(odd, Second()));
  ASSERT_EQ(3, game.players);
  EXPECT_EQ(std::string(long_name, 0, 62), game.player[0].name);
  EXPECT_STREQ("", game.player[2].name);

  // The seed after the slots, whatever size the slots are.
  for (size_t slot_size : {7u, 9u, 11u}) {
    SyntheticModernReplay seeded = TwoSides();
    seeded.slot_size = slot_size;
    seeded.random_seed = 0xA1B2C3D4u;
    game = Read(GameFile(seeded, Second()));
    EXPECT_EQ(kGameWhole, game.problem) << slot_size;
    EXPECT_EQ(0xA1B2C3D4u, game.random_seed) << slot_size;
  }

  struct Case {
    const char* what;
    Bytes file;
    GameProblem problem;
  };
  SyntheticModernReplay long_game_name = TwoSides();
  long_game_name.game_name = std::string(kGameWindowSize + 10, 'g');
  SyntheticModernReplay no_slots = TwoSides();
  no_slots.slot_count = 0;
  SyntheticModernReplay short_slots = TwoSides();
  short_slots.slot_size = 6;
  Bytes foreign = GameFile(TwoSides(), Second());
  const Bytes header_only(foreign.begin(), foreign.begin() + kGameFileHeader);
  foreign[3] = 'X';
  const std::vector<Case> cases = {
      {"a game name longer than the window", GameFile(long_game_name, Second()),
       kGameHeaderUnread},
      {"a slot table of no slots", GameFile(no_slots, Second()), kGameHeaderUnread},
      {"slots too short to hold a race", GameFile(short_slots, Second()), kGameHeaderUnread},
      {"another file", foreign, kGameNotReplay},
      {"the file header alone", header_only, kGameNoBlock},
      {"nothing", Bytes(), kGameNotReplay},
  };
  for (const Case& c : cases) {
    ReplayGame unread;
    EXPECT_FALSE(ReadReplayGame(c.file.data(), c.file.size(), Scratch(), &unread)) << c.what;
    EXPECT_EQ(c.problem, unread.problem) << c.what;
    EXPECT_EQ(kBasisUnknown, unread.basis) << c.what;
  }
}

// The map path as the whole reading takes it from the settings string it holds.
TEST(ReplayGameHeader, MapPathFromTheSettingsString) {
  struct Case {
    std::string settings;
    size_t out_size;
    long length;
    const char* path;
  };
  const std::string echo = MapSettings("Maps/FrozenThrone/(2)EchoIsles.w3x");
  const std::vector<Case> cases = {
      {echo, 64, 34, "Maps/FrozenThrone/(2)EchoIsles.w3x"},
      {MapSettings("Maps\\W3Champions\\w3c_Amazonia_v2.w3x"), 64, 36,
       "Maps\\W3Champions\\w3c_Amazonia_v2.w3x"},
      {echo, 35, 34, "Maps/FrozenThrone/(2)EchoIsles.w3x"},  // just fits with its NUL
      {echo, 34, -1, ""},                                      // does not
      {echo.substr(0, 20), 64, -1, ""},                        // ends before the path does
      {"", 64, -1, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> out(c.out_size, 'z');
    const unsigned char* data = reinterpret_cast<const unsigned char*>(c.settings.data());
    EXPECT_EQ(c.length, DecodeMapPath(data, c.settings.size(), 0, out.data(), out.size()))
        << c.path;
    EXPECT_STREQ(c.path, out.data());
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Where the replay lies in its file, and how old its header is

void SetDeclaredBlocks(Bytes* file, uint32_t blocks) {
  for (int k = 0; k < 4; ++k) (*file)[0x2C + k] = static_cast<unsigned char>(blocks >> (8 * k));
}

// The replay of a game is read alike wherever it lies: alone, after a NetEase
// container's header and data, or followed by what a platform adds after its last
// block, which is no damage when the file header declares where the blocks end.
TEST(ReplayGameWrapping, TheSameGameWhereverItLies) {
  const Bytes game = LongerGame();
  const ReplayGame alone = Read(game);
  ASSERT_EQ(kGameWhole, alone.problem);
  ASSERT_EQ("Anna", Winners(alone));
  struct Case {
    const char* what;
    Bytes file;
    bool in_container;
    uint64_t offset;
    uint64_t trailing;
  };
  const Bytes contained = InNetEaseContainer(game, 4096);
  const std::vector<Case> cases = {
      {"alone", game, false, 0, 0},
      {"in a container", contained, true, 0x80 + 4096, 0},
      {"a signature block after it", Cat({game, SignatureTail()}), false, 0, 132},
      {"the platform's data after it", Cat({game, PlatformDataTail()}), false, 0,
       PlatformDataTail().size()},
      {"both", InNetEaseContainer(Cat({game, SignatureTail()}), 64), true, 0x80 + 64, 132},
  };
  for (const Case& c : cases) {
    const ReplayGame read = Read(c.file);
    EXPECT_STREQ("whole", GameProblemText(read.problem)) << c.what;
    EXPECT_EQ(Summary(alone), Summary(read)) << c.what;
    EXPECT_EQ(c.in_container, read.in_container) << c.what;
    EXPECT_EQ(c.offset, read.replay_offset) << c.what;
    EXPECT_EQ(c.trailing, read.trailing_bytes) << c.what;
  }
  // With no block count in its header, a replay ends where the file does: what
  // follows its blocks is read as one more, which does not inflate.
  Bytes undeclared = Cat({game, SignatureTail()});
  SetDeclaredBlocks(&undeclared, 0);
  EXPECT_NE(kGameWhole, Read(undeclared).problem);
  EXPECT_EQ(0u, Read(undeclared).trailing_bytes);
}

// A container is read for the replay it says it holds, and for nothing else.
TEST(ReplayGameWrapping, AContainerWithoutItsReplayIsNoReplay) {
  const Bytes game = LongerGame();
  const Bytes contained = InNetEaseContainer(game, 64);
  ASSERT_TRUE(Read(contained).readable);
  Bytes moved = contained;
  moved[0x0C] = 60;  // the platform's data said shorter than it is
  Bytes beyond = contained;
  beyond[0x0F] = 0x7F;  // far beyond the file
  const struct Case {
    const char* what;
    Bytes file;
    GameProblem problem;
  } cases[] = {
      {"the replay not where the container says", moved, kGameNoReplayInContainer},
      {"a data size beyond the file", beyond, kGameNoReplayInContainer},
      {"a container header alone", Bytes(moved.begin(), moved.begin() + 0x80),
       kGameNoReplayInContainer},
      {"the mark alone", Bytes{'G', 'R', 'B', 'N'}, kGameNoReplayInContainer},
      {"neither a replay nor a container", Bytes(200, 'x'), kGameNotReplay},
  };
  for (const Case& c : cases) {
    const ReplayGame read = Read(c.file);
    EXPECT_FALSE(read.readable) << c.what;
    EXPECT_STREQ(GameProblemText(c.problem), GameProblemText(read.problem)) << c.what;
  }
  EXPECT_STREQ("a NetEase container without a replay where it says",
               GameProblemText(kGameNoReplayInContainer));
}

// Replays before 1.07: a file header of 0x40 bytes with 16-bit version and build,
// player records with one byte of extra data, slots of 7 bytes, observers in team
// 12, and the record 0x20 a checksum (a length byte and that many bytes), not chat.
TEST(ReplayGameWrapping, TheOldestHeader) {
  SyntheticModernReplay shape =
      ModernGame({{"Anna", 0x01, 0}, {"Bert", 0x08, 1}, {"Olga", 0x20, 12}}, 2);
  shape.oldest_header = true;
  shape.host_extra = {0};
  shape.player_extra = {0};
  shape.slot_size = 7;
  shape.block_size = 300;
  const Bytes checksum = {0x20, 0x04, 0x2A, 0xEE, 0x0A, 0xC0};
  const Bytes records = Cat({Second(), checksum, Second(), checksum, Leave(1, 2, 7, 1), Second(),
                             checksum, Leave(0x0C, 1, 7, 2)});
  const ReplayGame read = Read(GameFile(shape, records));
  EXPECT_STREQ("whole", GameProblemText(read.problem));
  EXPECT_EQ(0u, read.header_version);
  EXPECT_EQ(2u, read.version);
  EXPECT_EQ(4531u, read.build);
  EXPECT_FALSE(read.expansion);
  EXPECT_EQ(12, read.observer_team);
  EXPECT_EQ(3, read.time_slots);
  EXPECT_EQ(0, read.chat_messages);
  EXPECT_EQ("Anna", Winners(read));
  EXPECT_STREQ("saver", GameBasisText(read.basis));
  ASSERT_NE(nullptr, Find(read, "Olga"));
  EXPECT_TRUE(Find(read, "Olga")->observer);

  // The same records behind the header of 1.07 on: 0x20 is chat there, and its
  // length runs far past the game.
  shape.oldest_header = false;
  shape.version = 10031;
  EXPECT_NE(kGameWhole, Read(GameFile(shape, records)).problem);
}

// An empty slot table (no slots: a 1.18 ladder game has one): the players are the
// player records, the host's first, each a side of its own, with the race their
// extra data carries; the result comes from the leave records as ever.
TEST(ReplayGamePlayers, AnEmptySlotTableGivesThePlayersOfTheRecords) {
  struct Case {
    const char* what;
    std::vector<SyntheticSeat> seats;
    Bytes records;
    const char* winners;
    GameBasis basis;
  };
  const std::vector<Case> cases = {
      {"a 1v1 won on the record", {{"Anna", 0x02, 0}, {"Bert", 0x04, 0}},
       Cat({Second(), Leave(1, 2, 7, 1), Second(), Leave(1, 1, 9, 2)}), "Anna", kBasisExplicit},
      {"a 1v1 the saver outlasted", {{"Anna", 0x02, 0}, {"Bert", 0x04, 0}},
       Cat({Second(), Leave(1, 1, 7, 1), Second(), Leave(0x0C, 2, 7, 2)}), "Bert", kBasisSaver},
      {"three players, three sides", {{"Anna", 0x01, 0}, {"Bert", 0x08, 0}, {"Cleo", 0x02, 0}},
       Cat({Second(), Leave(1, 2, 7, 1), Second(), Leave(1, 3, 7, 2), Second(),
            Leave(1, 1, 7, 3)}),
       "Anna", kBasisOrder},
  };
  for (const Case& c : cases) {
    SyntheticModernReplay shape = ModernGame(c.seats, 18);
    shape.empty_slot_table = true;
    const ReplayGame read = Read(GameFile(shape, c.records));
    EXPECT_STREQ("whole", GameProblemText(read.problem)) << c.what;
    ASSERT_EQ(static_cast<int>(c.seats.size()), read.players) << c.what;
    for (int i = 0; i < read.players; ++i) {
      const GamePlayer& p = read.player[i];
      EXPECT_EQ(c.seats[i].name, p.name) << c.what;
      EXPECT_EQ(i + 1, p.id) << c.what;
      EXPECT_EQ(i, p.team) << c.what;
      EXPECT_EQ(-1, p.colour) << c.what;
      EXPECT_EQ(c.seats[i].race, p.race) << c.what;
      EXPECT_FALSE(p.observer || p.computer) << c.what;
    }
    EXPECT_EQ(c.winners, Winners(read)) << c.what;
    EXPECT_STREQ(GameBasisText(c.basis), GameBasisText(read.basis)) << c.what;
    EXPECT_EQ(0x12345678u, read.random_seed) << c.what;
  }
  // A count of 0 with slots after it is no empty table: the slots cannot be read.
  SyntheticModernReplay odd = ModernGame({{"Anna", 0x02, 0}, {"Bert", 0x04, 1}}, 18);
  odd.slot_count = 0;
  EXPECT_STREQ("players and slots unreadable",
               GameProblemText(Read(GameFile(odd, Second())).problem));
}

}  // namespace
