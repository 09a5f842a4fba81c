// brindlecap-cli name: where each replay would go, and the -name templates every
// command shares.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "naming/name.h"
#include "tests/test_support.h"

namespace {

class CliName : public ReplayFolderTest {
 protected:
  std::string Write(const char* name, const Bytes& bytes) {
    std::string path = folder_ + name;
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  void NameRealReplays(std::vector<std::string> args, const char* list);
};

TEST_F(CliName, PrintsEachDestinationOrTheReasonThereIsNone) {
  std::string ladder = Write("a.w3g", AlphaBeta());
  std::string custom = Write("b.w3g", BuildReplay(CustomReplay("my game #2!")));
  SyntheticReplay tiny = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  tiny.file_length = 5119;
  std::string small = Write("c.w3g", BuildReplay(tiny));
  std::string missing = folder_ + "missing.w3g";

  CliRun run = RunWith({"name", "-nodate", ladder, missing, custom, small});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(ladder + "\t1v1\\Alpha(h) vs Beta(u).w3g\n" + custom + "\t- not a ladder game\n" +
                small + "\t- shorter than 5120 bytes\n",
            run.out);
  EXPECT_TRUE(Contains(run.err, missing));

  const std::string today = DateTagNow();
  run = RunWith({"name", "-custom", custom});
  const std::string tag = RunDateTag(today, run.out);
  EXPECT_EQ(0, run.code);
  EXPECT_EQ(custom + "\tCustom\\" + tag + "my_game__2_.w3g\n", run.out);
  EXPECT_EQ(8u, tag.size());
}

TEST_F(CliName, RealReplaysNameAsExpected) {
  NameRealReplays({"name", "-nodate", "-custom"}, "expected.tsv");
}

TEST_F(CliName, RealReplaysNameAsExpectedWithModern) {
  NameRealReplays({"name", "-modern", "-nodate", "-custom"}, "expected-modern.tsv");
}

// Names every real replay of a list in one run and compares each line with the
// list's path.
void CliName::NameRealReplays(std::vector<std::string> args, const char* list) {
  std::vector<ExpectedRow> rows = ReadExpectedRows(list);
  ASSERT_FALSE(rows.empty()) << "no rows in tests/replays/" << list;
  std::string expected;
  for (const ExpectedRow& row : rows) {
    std::string path = RealReplayFolder() + row.file;
    args.push_back(path);
    expected += path + "\t" +
                (row.path[0] == '(' ? std::string("- shorter than 5120 bytes") : row.path) + "\n";
  }
  CliRun run = RunWith(args);
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(expected, run.out);
}

// The template the finished program is checked with, on every real replay: the
// players and folders of expected-modern.tsv, the map fields and length of
// expected-fields.tsv (with the characters a player name loses).
TEST_F(CliName, RealReplaysNameAfterATemplate) {
  const std::vector<ExpectedRow> rows = ReadExpectedRows("expected-modern.tsv");
  const std::vector<ExpectedRow> fields = ReadExpectedRows("expected-fields.tsv");
  ASSERT_FALSE(rows.empty()) << "no rows in tests/replays/expected-modern.tsv";
  ASSERT_EQ(rows.size(), fields.size()) << "expected-fields.tsv and expected-modern.tsv differ";
  std::vector<std::string> args = {"name", "-modern", "-nodate", "-custom", "-name",
                                   "{type} {players}{game} on {map} ({mapfile}) {length}"};
  std::string expected;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ExpectedRow& row = rows[i];
    const std::string path = RealReplayFolder() + row.file;
    args.push_back(path);
    ASSERT_EQ(row.file, fields[i].file);
    if (row.path[0] == '(') {
      expected += path + "\t- shorter than 5120 bytes\n";
      continue;
    }
    // fields[i].path holds the columns after the map path: {mapfile} {map} {length}.
    std::vector<std::string> cells = SplitTabs(fields[i].path);
    ASSERT_EQ(3u, cells.size()) << row.file;
    SanitisePlayerName(&cells[0][0]);
    SanitisePlayerName(&cells[1][0]);
    const size_t slash = row.path.find('\\');
    const std::string type = row.path.substr(0, slash);
    const std::string body = row.path.substr(slash + 1, row.path.size() - slash - 5);
    const std::string suffix = row.path.substr(row.path.size() - 4);  // ".w3g", ".nwg"
    expected += path + "\t" + type + "\\" + type + " " + body + " on " + cells[1] + " (" +
                cells[0] + ") " + cells[2] + suffix + "\n";
  }
  CliRun run = RunWith(args);
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(expected, run.out);
}

// Players who write in other alphabets: `name` and `sort` print the name the
// tray program's pass files the same replay under, whole letters and cuts alike.
TEST_F(CliName, NamesInOtherAlphabetsAreTheTrayProgramsNames) {
  const std::string sorted = MakeTempFolder();
  ASSERT_FALSE(sorted.empty());
  const std::string last = folder_ + "LastReplay.w3g";
  int64_t stamp = 1700000000;
  for (int players : {2, 8}) {
    SCOPED_TRACE(players);
    ASSERT_TRUE(WriteFileBytes(last, BuildReplay(LadderReplay(OtherAlphabetPlayers(players)))));
    ASSERT_TRUE(SetWriteTime(last, stamp += 10));
    ASSERT_EQ(kPassFiled, Pass());
    const std::string filed = status_.last_copy;
    ASSERT_EQ(0u, filed.find(folder_)) << filed;
    const std::string name = filed.substr(folder_.size());
    EXPECT_EQ(0u, name.find(players == 2 ? "1v1\\" : "4v4\\")) << name;

    CliRun run = RunWith({"name", "-nodate", last});
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(last + "\t" + name + "\n", run.out);
    run = RunWith({"sort", "-nodate", sorted, last});
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(last + "\t" + name + "\n", run.out);
    EXPECT_EQ("1 saved, 0 skipped, 0 failed\n", run.err);
  }
  RemoveTree(sorted);
}

TEST_F(CliName, TemplatesShapeTheName) {
  SyntheticReplay ladder = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  ladder.settings = MapSettings("Maps/FrozenThrone/(4)TwistedMeadows.w3x");
  Bytes bytes = BuildReplay(ladder);
  SetGameLength(&bytes, 1091999);
  const std::string file = Write("a.w3g", bytes);
  CliRun run = RunWith({"name", "-nodate", "-name", "{players} on {map} {length}", file});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(file + "\t1v1\\Alpha(h) vs Beta(u) on TwistedMeadows 18m11s.w3g\n", run.out);
  // The template is the argument after -name, whatever it looks like.
  run = RunWith({"name", "-name", "-nodate", file});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(file + "\t1v1\\-nodate.w3g\n", run.out);
  // Spelt out, the default names as without -name.
  const std::string today = DateTagNow();
  run = RunWith({"name", "-name", "{date}{players}{game}", file});
  EXPECT_EQ(file + "\t1v1\\" + RunDateTag(today, run.out) + "Alpha(h) vs Beta(u).w3g\n",
            run.out);
}

// A name with nothing before ".w3g" would be hidden on Linux and nameless in
// Explorer: a template whose fields are all empty, or an empty game name without
// the date tag, names the copy Replay.
TEST_F(CliName, ANameThatComesOutEmptyIsReplay) {
  const std::string ladder = Write("a.w3g", AlphaBeta());
  const std::string unnamed = Write("b.w3g", BuildReplay(CustomReplay("")));
  const struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"name", "-name", "{game}", ladder}, ladder + "\t1v1\\Replay.w3g\n"},
      {{"name", "-name", "{map}{mapfile}{game}", ladder}, ladder + "\t1v1\\Replay.w3g\n"},
      {{"name", "-custom", "-nodate", unnamed}, unnamed + "\tCustom\\Replay.w3g\n"},
      {{"name", "-custom", "-name", "{players}", unnamed}, unnamed + "\tCustom\\Replay.w3g\n"},
  };
  for (const Case& c : cases) {
    CliRun run = RunWith(c.args);
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(c.out, run.out) << c.args[2];
  }
  // With its date tag the name is not empty.
  const std::string today = DateTagNow();
  CliRun run = RunWith({"name", "-custom", unnamed});
  const std::string tag = RunDateTag(today, run.out);
  ASSERT_EQ(8u, tag.size());
  EXPECT_EQ(unnamed + "\tCustom\\" + tag + ".w3g\n", run.out);
}

// COM1 to COM9, LPT1 to LPT9 and their superscript forms COM\xC2\xB9 to LPT\xC2\xB3 are
// devices to Windows in any folder: a copy named so would go to a port, not to disk.
TEST_F(CliName, NamesThatWindowsTakesForDevicesGetAnUnderscore) {
  SyntheticReplay custom = CustomReplay("x");
  custom.settings = MapSettings("Maps\\Download\\COM\xC2\xB9.w3x");
  const std::string on_device = Write("a.w3g", BuildReplay(custom));
  const std::string ladder = Write("b.w3g", AlphaBeta());
  const struct Case {
    const char* template_text;
    std::string file;
    std::string name;
  } cases[] = {
      {"{map}", on_device, "Custom\\COM\xC2\xB9_.w3g"},
      {"COM\xC2\xB9", ladder, "1v1\\COM\xC2\xB9_.w3g"},
      {"lpt\xC2\xB2", ladder, "1v1\\lpt\xC2\xB2_.w3g"},
      {"LPT\xC2\xB3.{players}", ladder, "1v1\\LPT\xC2\xB3_.Alpha(h) vs Beta(u).w3g"},
      {"COM7", ladder, "1v1\\COM7_.w3g"},
      {"COM\xC2\xB9{players}", ladder, "1v1\\COM\xC2\xB9" "Alpha(h) vs Beta(u).w3g"},
  };
  for (const Case& c : cases) {
    CliRun run = RunWith({"name", "-custom", "-nodate", "-name", c.template_text, c.file});
    EXPECT_EQ(0, run.code) << c.template_text << run.err;
    EXPECT_EQ(c.file + "\t" + c.name + "\n", run.out) << c.template_text;
  }
}

TEST_F(CliName, BadTemplatesAreRefusedBeforeAnythingIsDone) {
  const std::string file = Write("a.w3g", AlphaBeta());
  const std::string folder = folder_.substr(0, folder_.size() - 1);
  struct Case {
    const char* name_template;
    const char* says;
  } cases[] = {
      {"{players} on {mapname}", "has an unknown field {mapname}"},
      {"{players", "has a \"{\" without its \"}\""},
      {"{year}/{month}", "holds '/'"},
      {"vs: {players}", "holds ':'"},
  };
  for (const Case& c : cases) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"name", "-name", c.name_template, file},
             {"sort", "-name", c.name_template, folder, file},
             {"watch", "-name", c.name_template, folder},
             {"name", "-name", c.name_template, "--", file}}) {
      CliRun run = RunWith(args);
      EXPECT_EQ(2, run.code) << args[0] << " " << c.name_template;
      EXPECT_TRUE(Contains(run.err, std::string("brindlecap-cli: the -name template ") + c.says))
          << run.err;
      EXPECT_EQ("", run.out) << args[0];
    }
  }
  EXPECT_EQ(std::vector<std::string>{"a.w3g"}, ListFiles(folder_));
}

TEST_F(CliName, HelpListsTheTemplateFields) {
  CliRun run = RunWith({"--help"});
  const size_t section = run.out.find("\nname templates:");
  ASSERT_NE(std::string::npos, section) << run.out;
  const std::string fields = run.out.substr(section);
  for (const char* field : {"{date}", "{players}", "{game}", "{type}", "{year}", "{month}",
                            "{day}", "{hour}", "{minute}", "{mapfile}", "{map}", "{length}"}) {
    EXPECT_TRUE(Contains(fields, field)) << field;
  }
  for (const char* command : {"watch", "sort", "name"}) {
    run = RunWith({command, "--help"});
    EXPECT_TRUE(Contains(run.out, "[-name TEMPLATE]")) << command;
  }
}

TEST_F(CliName, ModernReadsTheCurrentGame) {
  const std::string file = Write("r.w3g", ReforgedOneVsOne());
  CliRun run = RunWith({"name", "-nodate", file});
  EXPECT_EQ(file + "\t- not a ladder game\n", run.out);
  run = RunWith({"name", "-modern", "-nodate", file});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(file + "\t" + kReforgedName + "\n", run.out);
}

}  // namespace
