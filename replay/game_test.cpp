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

#include "tests/replay_builder.h"

namespace {

std::string RealReplays() { return std::string(BRINDLECAP_REPLAYS) + "/"; }

Bytes ReadBytes(const std::string& path) {
  Bytes bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  unsigned char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(file);
  return bytes;
}

std::string ReadText(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
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
  const std::string text = ReadText(RealReplays() + "expected-outcome.tsv");
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
  const std::vector<ExpectedGame> games = ReadExpectedOutcome();
  if (games.empty()) GTEST_SKIP() << "real replays not found beside the repository";
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  for (const ExpectedGame& expected : games) {
    SCOPED_TRACE(expected.file);
    const Bytes file = ReadBytes(RealReplays() + expected.file);
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
