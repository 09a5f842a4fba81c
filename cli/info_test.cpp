// brindlecap-cli info: its JSON lines against the real replays' outcome table, its
// text, and what it does with files it cannot read.
#include <stdio.h>
#include <stdlib.h>

#ifndef _WIN32
#include <sys/time.h>
#endif

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// expected-outcome.tsv's rows, as cells; none when the real replays are absent.
std::vector<std::vector<std::string>> OutcomeRows() {
  std::vector<std::vector<std::string>> rows;
  Bytes text;
  const std::string folder = RealReplayFolder();
  if (folder.empty() || !ReadFileBytes(folder + "expected-outcome.tsv", &text)) return rows;
  for (const std::string& line : Split(std::string(text.begin(), text.end()), '\n')) {
    if (!line.empty() && line[0] != '#') rows.push_back(SplitTabs(line));
  }
  return rows;
}

std::string Number(double value) { return std::to_string(static_cast<long long>(value)); }

// One JSON line in the table's own notation: winners (no #tags) and each
// player's name|team|apm|left_ms.
std::string AsRow(const Json& game) {
  std::string winners;
  for (const Json& name : game["winners"].items) {
    winners += (winners.empty() ? "" : ",") + name.text.substr(0, name.text.find('#'));
  }
  std::string players;
  for (const Json& p : game["players"].items) {
    players += (players.empty() ? "" : ";") + p["name"].text + "|" + Number(p["team"].number) +
               "|" + Number(p["apm"].number) + "|" + Number(p["left_ms"].number);
  }
  return (winners.empty() ? "-" : winners) + "\t" + game["basis"].text + "\t" +
         Number(game["length_ms"].number) + "\t" + players;
}

TEST(CliInfo, JsonOfEveryRealReplayAgreesWithTheOutcomeTable) {
  const std::vector<std::vector<std::string>> rows = OutcomeRows();
  ASSERT_FALSE(rows.empty()) << "no rows in tests/replays/expected-outcome.tsv";
  std::vector<std::string> args = {"info", "-modern", "--json"};
  for (const std::vector<std::string>& row : rows) args.push_back(RealReplayFolder() + row[0]);
  const CliRun run = RunWith(args);
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ("", run.err);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(rows.size(), lines.size()) << run.out;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i][0]);
    Json game;
    ASSERT_TRUE(ParseJson(lines[i], &game)) << lines[i];
    EXPECT_EQ(RealReplayFolder() + rows[i][0], game["file"].text);
    ASSERT_EQ(5u, rows[i].size());
    EXPECT_EQ(rows[i][1] + "\t" + rows[i][2] + "\t" + rows[i][3] + "\t" + rows[i][4],
              AsRow(game));
    EXPECT_TRUE(game["complete"].boolean);
  }
}

TEST(CliInfo, TextSaysWhoPlayedAndWhoWon) {
  const std::string folder = RealReplayFolder();
  ASSERT_FALSE(folder.empty()) << "tests/replays or its expected.tsv is missing";
  const std::string file = folder + "132-reforged_release.w3g";
  const CliRun run = RunWith({"info", "-modern", file});
  EXPECT_EQ(0, run.code) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 7u) << run.out;
  EXPECT_EQ(file, lines[0]);
  for (const char* part : {"game      1.32 (version 10032, build 6105) The Frozen Throne, 1v1",
                           "map       Maps/", "length    18m11s",
                           "anXieTy#2932", "IroNSoul#22724", "observers Blizzard",
                           "result    team 0 won: anXieTy#2932 (saver)"}) {
    EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
  }
  // One line per player, with the APM and the time of leaving of the table.
  bool winner = false;
  bool loser = false;
  for (const std::string& line : lines) {
    if (line.compare(0, 4, "    ") != 0) continue;  // players only
    if (Contains(line, "anXieTy#2932")) {
      winner = Contains(line, "APM  215") && Contains(line, "left at 18m11s") &&
               Contains(line, "  won");
    }
    if (Contains(line, "IroNSoul#22724")) {
      loser = Contains(line, "APM  174") && Contains(line, "left at 18m10s") &&
              !Contains(line, " won");
    }
  }
  EXPECT_TRUE(winner && loser) << run.out;

  // An unfinished game says so and names no winner.
  const CliRun temp = RunWith({"info", folder + "200-TempReplay.w3g"});
  EXPECT_EQ(0, temp.code);
  EXPECT_TRUE(Contains(temp.out, "unfinished")) << temp.out;
  EXPECT_TRUE(Contains(temp.out, "result    unknown\n")) << temp.out;
  EXPECT_TRUE(Contains(temp.out, "Computer")) << temp.out;
}

// Where each replay lies in its file: a NetEase container's replay further in, the
// bytes a platform put after the last block counted apart (not the replay's, and no
// damage); the oldest version as players write it.
TEST(CliInfo, WhereTheReplayLiesInItsFile) {
  const std::string folder = RealReplayFolder();
  ASSERT_FALSE(folder.empty()) << "tests/replays or its expected.tsv is missing";
  const struct Case {
    const char* file;
    const char* version;
    double offset;
    double trailing;
    const char* line;  // a line of the text that says so, or NULL for none
  } cases[] = {
      {"102-roc_observed.w3g", "1.02", 0, 0, "game      1.02 (version 2, build 4531), Custom, \"final\""},
      {"118-ladder_noslots.w3g", "1.18", 0, 132,
       "file      132 bytes after the replay's last block, not the replay's"},
      {"129-netease_obs.nwg", "1.29", 51328, 0,
       "file      a NetEase container: the replay from byte 51328 on"},
      {"132-netease_1582070968.nwg", "1.32", 0, 813,
       "file      813 bytes after the replay's last block, not the replay's"},
      {"130-standard_1304.w3g", "1.30", 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const CliRun json = RunWith({"info", "--json", folder + c.file});
    EXPECT_EQ(0, json.code) << json.err;
    Json game;
    ASSERT_TRUE(ParseJson(json.out, &game)) << json.out;
    EXPECT_EQ(c.version, game["version"].text);
    EXPECT_EQ(c.offset, game["replay_offset"].number);
    EXPECT_EQ(c.trailing, game["trailing_bytes"].number);
    EXPECT_EQ("whole", game["problem"].text);
    const CliRun text = RunWith({"info", folder + c.file});
    if (c.line != nullptr) {
      EXPECT_TRUE(Contains(text.out, std::string("\n  ") + c.line + "\n")) << text.out;
    } else {
      EXPECT_FALSE(Contains(text.out, "  file  ")) << text.out;
    }
  }
}

class CliInfoFiles : public ReplayFolderTest {};

// A NetEase file is read for the replay it holds; one that holds none says so.
TEST_F(CliInfoFiles, ANetEaseContainerIsReadForItsReplay) {
  SyntheticModernReplay game = ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}});
  const Bytes contained = InNetEaseContainer(BuildWholeModernReplay(game), 300);
  const std::string held = folder_ + "held.nwg";
  ASSERT_TRUE(WriteFileBytes(held, contained));
  Bytes moved = contained;
  moved[0x0C] = 0x30;
  const std::string empty = folder_ + "empty.nwg";
  ASSERT_TRUE(WriteFileBytes(empty, moved));
  const CliRun run = RunWith({"info", held, empty});
  EXPECT_EQ(1, run.code);
  EXPECT_TRUE(Contains(run.out, "file      a NetEase container: the replay from byte 428 on\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "Alpha")) << run.out;
  EXPECT_TRUE(Contains(run.out, empty + "\t- a NetEase container without a replay where it says\n"))
      << run.out;
}

// Bytes after the replay's blocks are counted to the file's end, past the part of a
// long file that is held in memory too.
TEST_F(CliInfoFiles, BytesAfterTheReplayAreCountedToTheFilesEnd) {
  const Bytes replay =
      BuildWholeModernReplay(ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}));
  const std::string small = folder_ + "small.w3g";
  Bytes followed = replay;
  followed.resize(replay.size() + 1000, 0);
  ASSERT_TRUE(WriteFileBytes(small, followed));
  std::vector<std::string> args = {"info", "--json", small};
  int64_t trailing[2] = {1000, 0};
#ifndef _WIN32
  // A file longer than the head held in memory, sparse so that it costs no disk.
  const int64_t size = 32 * 1024 * 1024;  // twice the head
  const std::string big = folder_ + "big.w3g";
  ASSERT_TRUE(WriteSparseReplay(big, replay, size));
  args.push_back(big);
  trailing[1] = size - static_cast<int64_t>(replay.size());
#endif
  const CliRun run = RunWith(args);
  EXPECT_EQ(0, run.code) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(args.size() - 2, lines.size()) << run.out;
  for (size_t i = 0; i < lines.size(); ++i) {
    Json game;
    ASSERT_TRUE(ParseJson(lines[i], &game)) << lines[i];
    EXPECT_EQ("whole", game["problem"].text) << lines[i];
    EXPECT_EQ(static_cast<double>(trailing[i]), game["trailing_bytes"].number) << lines[i];
  }
}

TEST_F(CliInfoFiles, UnreadableFilesGetTheirReasonAndExitOne) {
  const std::string not_replay = folder_ + "notes.w3g";
  ASSERT_TRUE(WriteFileBytes(not_replay, Bytes(6000, 'x')));
  const std::string missing = folder_ + "missing.w3g";
  const std::string good = folder_ + "good.w3g";
  SyntheticModernReplay game =
      ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}, {"Watcher", 0x60, 24}});
  ASSERT_TRUE(WriteFileBytes(good, BuildModernReplay(game)));
  const std::string folder = folder_.substr(0, folder_.size() - 1);

  CliRun run = RunWith({"info", "--json", missing, good, not_replay, folder});
  EXPECT_EQ(1, run.code);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(4u, lines.size()) << run.out;
  Json value;
  ASSERT_TRUE(ParseJson(lines[0], &value)) << lines[0];
  EXPECT_EQ(missing, value["file"].text);
  EXPECT_EQ("no such file", value["error"].text);
  // The readable one is read in full between them: two players and an observer,
  // no game in it, so no result.
  ASSERT_TRUE(ParseJson(lines[1], &value)) << lines[1];
  EXPECT_EQ(Json::kNull, value["error"].kind);
  ASSERT_EQ(2u, value["players"].items.size());
  EXPECT_EQ("Alpha", value["players"].items[0]["name"].text);
  EXPECT_EQ("Beta", value["players"].items[1]["name"].text);
  ASSERT_EQ(1u, value["observers"].items.size());
  EXPECT_EQ("Watcher", value["observers"].items[0].text);
  EXPECT_EQ("unknown", value["basis"].text);
  EXPECT_EQ(-1, value["players"].items[0]["left_ms"].number);
  ASSERT_TRUE(ParseJson(lines[2], &value)) << lines[2];
  EXPECT_EQ("not a replay", value["error"].text);
  ASSERT_TRUE(ParseJson(lines[3], &value)) << lines[3];
  EXPECT_EQ("a folder, not a replay", value["error"].text);

  run = RunWith({"info", missing, good});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(0u, run.out.find(missing + "\t- no such file\n" + good + "\n")) << run.out;
}

TEST_F(CliInfoFiles, NamesThatAreNoTextStillGiveJson) {
  // A name with a quote, a backslash, a control byte and a byte that is no UTF-8.
  const std::string file = folder_ + "odd.w3g";
  SyntheticModernReplay game =
      ModernGame({{"Al\"p\\ha\x01\xff", 0x01, 0}, {"\xc3\xa9t\xc3\xa9", 0x08, 1}});
  ASSERT_TRUE(WriteFileBytes(file, BuildModernReplay(game)));
  const CliRun run = RunWith({"info", "--json", file});
  EXPECT_EQ(0, run.code);
  Json value;
  ASSERT_TRUE(ParseJson(Lines(run.out)[0], &value)) << run.out;
  ASSERT_EQ(2u, value["players"].items.size());
  EXPECT_EQ("Al\"p\\ha\x01\xEF\xBF\xBD", value["players"].items[0]["name"].text);
  EXPECT_EQ("\xc3\xa9t\xc3\xa9", value["players"].items[1]["name"].text);
}

TEST(CliInfo, UsageMistakesExitWithTwo) {
  CliRun run = RunWith({"info"});
  EXPECT_EQ(2, run.code);
  EXPECT_TRUE(Contains(run.err, "info needs at least one FILE")) << run.err;
  run = RunWith({"info", "--bogus", "x.w3g"});
  EXPECT_EQ(2, run.code);
  EXPECT_TRUE(Contains(run.err, "unknown switch '--bogus'")) << run.err;
  EXPECT_EQ("", run.out);
  // A switch counts wherever it stands before "--", as GNU tools read them.
  run = RunWith({"info", "x.w3g", "--bogus"});
  EXPECT_EQ(2, run.code);
  EXPECT_TRUE(Contains(run.err, "unknown switch '--bogus'")) << run.err;
  EXPECT_EQ("", run.out);
  run = RunWith({"info", "--", "--json"});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("--json\t- no such file\n", run.out);
  run = RunWith({"info", "--help"});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ(0u, run.out.find("usage: brindlecap-cli info [-modern] [--json] [--jobs N] FILE..."))
      << run.out;
  run = RunWith({"help", "info"});
  EXPECT_EQ(0u, run.out.find("usage: brindlecap-cli info")) << run.out;
  run = RunWith({"--help"});
  EXPECT_TRUE(Contains(run.out, "usage: brindlecap-cli info")) << run.out;
}

#ifndef _WIN32
// info takes its FILEs as sort does: on Linux a backslash is a letter of a name, a
// pipe named like a replay is refused without waiting for a writer, and a game
// last written after January 2038 keeps its date.
TEST_F(CliInfoFiles, FilesAreTakenAsSortTakesThem) {
  const std::string root = folder_.substr(0, folder_.size() - 1) + "/";
  const std::string odd = root + "a\\b.w3g";
  const Bytes bytes = BuildModernReplay(ModernGame({{"Alpha", 0x01, 0}, {"Beta", 0x08, 1}}));
  FILE* file = fopen(odd.c_str(), "wb");
  ASSERT_NE(nullptr, file);
  ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
  ASSERT_EQ(0, fclose(file));
  const struct timeval late[2] = {{2227435200, 0}, {2227435200, 0}};  // 2040-08-02 UTC
  ASSERT_EQ(0, utimes(odd.c_str(), late));
  const std::string fifo = root + "pipe.w3g";
  ASSERT_TRUE(MakeFifo(fifo));

  CliRun run;
  EXPECT_TRUE(
      FinishesWithoutWaitingOn(fifo, [&] { run = RunWith({"info", "--json", odd, fifo}); }));
  EXPECT_EQ(1, run.code);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(2u, lines.size()) << run.out;
  Json value;
  ASSERT_TRUE(ParseJson(lines[0], &value)) << lines[0];
  EXPECT_EQ(odd, value["file"].text);
  EXPECT_EQ(Json::kNull, value["error"].kind) << lines[0];
  ASSERT_EQ(2u, value["players"].items.size()) << lines[0];
  EXPECT_EQ("Alpha", value["players"].items[0]["name"].text);
  // Local time: the first of August or the second, whatever the zone.
  EXPECT_EQ(0u, value["date"].text.find("2040-08-0")) << value["date"].text;
  ASSERT_TRUE(ParseJson(lines[1], &value)) << lines[1];
  EXPECT_EQ("a pipe, socket or device, not a replay", value["error"].text);
}
#endif

}  // namespace
