#include "cli/cli.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

std::string Drain(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

CliRun RunWith(std::vector<std::string> args) {
  ResetWatcher("");
  args.insert(args.begin(), "brindlecap-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return CliRun{code, Drain(out), Drain(err)};
}

std::string ListFilesJoined(const std::string& folder) {
  std::string joined;
  for (const std::string& file : ListFiles(folder)) joined += file + "\n";
  return joined;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const Bytes& AlphaBeta() {
  static const Bytes bytes = BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}}));
  return bytes;
}

// A ladder game of the current game (12-byte block headers): nothing to the
// default reading, a 1v1 to -modern.
const Bytes& ReforgedOneVsOne() {
  static const Bytes bytes = BuildModernReplay(
      ModernGame({{"anXieTy#2932", 0x41, 0}, {"IroNSoul#22724", 0x08, 1}, {"Blizzard", 0x60, 24}}));
  return bytes;
}
const char kReforgedName[] = "1v1\\anXieTy(h) vs IroNSoul(u).w3g";

const Bytes& CleoDave() {
  static const Bytes bytes = BuildReplay(LadderReplay({{"Cleo", 2}, {"Dave", 4}}));
  return bytes;
}

// The same replay with its last (padding) byte changed: the same name, other bytes.
Bytes LastByteChanged(const Bytes& replay, unsigned char value) {
  Bytes changed = replay;
  changed.back() = value;
  return changed;
}

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

  run = RunWith({"name", "-custom", custom});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ(custom + "\tCustom\\" + DateTag + "my_game__2_.w3g\n", run.out);
  EXPECT_EQ(8u, std::string(DateTag).size());
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
    expected += path + "\t" + type + "\\" + type + " " + body + " on " + cells[1] + " (" +
                cells[0] + ") " + cells[2] + ".w3g\n";
  }
  CliRun run = RunWith(args);
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(expected, run.out);
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
  run = RunWith({"name", "-name", "{date}{players}{game}", file});
  EXPECT_EQ(file + "\t1v1\\" + DateTag + "Alpha(h) vs Beta(u).w3g\n", run.out);
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
  CliRun run = RunWith({"name", "-custom", unnamed});
  ASSERT_EQ(8u, strlen(DateTag));
  EXPECT_EQ(unnamed + "\tCustom\\" + DateTag + ".w3g\n", run.out);
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

// ---------------------------------------------------------------------------
// The command line as a whole.

class CliUsage : public ReplayFolderTest {};

TEST_F(CliUsage, HelpAndVersion) {
  CliRun run = RunWith({"--version"});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ("1.3\n", run.out);

  run = RunWith({"--help"});
  EXPECT_EQ(0, run.code);
  for (const char* form : {"usage: brindlecap-cli watch", "usage: brindlecap-cli sort",
                           "usage: brindlecap-cli name"}) {
    EXPECT_TRUE(Contains(run.out, form)) << form;
  }
  EXPECT_EQ("", run.err);

  // Each command's own usage, on standard output when asked for.
  for (const char* command : {"watch", "sort", "name"}) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {command, "--help"}, {"help", command}}) {
      run = RunWith(args);
      EXPECT_EQ(0, run.code) << command;
      EXPECT_EQ(0u, run.out.find(std::string("usage: brindlecap-cli ") + command)) << run.out;
      EXPECT_FALSE(Contains(run.out, "switches:")) << command;
    }
  }
}

TEST_F(CliUsage, MistakesExitWithTwoAndSayWhat) {
  const std::string file = folder_ + "replay.w3g";
  ASSERT_TRUE(WriteFileBytes(file, AlphaBeta()));
  const std::string missing = folder_ + "nowhere";
  const std::string folder = folder_.substr(0, folder_.size() - 1);
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{}, "no command given"},
      {{"rename"}, "unknown command 'rename'"},
      {{"name"}, "name needs at least one FILE"},
      {{"name", "-bogus", file}, "unknown switch '-bogus'"},
      {{"name", "--dry-run", file}, "unknown switch '--dry-run'"},
      {{"watch"}, "watch needs a FOLDER"},
      {{"watch", folder, folder}, "watch takes one FOLDER"},
      {{"watch", "--dry-run", folder}, "unknown switch '--dry-run'"},
      {{"watch", missing}, "folder '" + missing + "' does not exist"},
      {{"watch", file}, "'" + file + "' is a file, not a folder"},
      {{"sort"}, "sort needs a FOLDER and at least one FILE"},
      {{"sort", "--dry-run", folder}, "sort needs at least one FILE after FOLDER"},
      {{"sort", "-x", folder, file}, "unknown switch '-x'"},
      {{"sort", missing, file}, "folder '" + missing + "' does not exist"},
      {{"sort", file, file}, "'" + file + "' is a file, not a folder"},
      // A switch is one wherever it stands before "--", after an operand too.
      {{"watch", folder, "-bogus"}, "unknown switch '-bogus'"},
      {{"sort", folder, file, "-x"}, "unknown switch '-x'"},
      {{"name", file, "-name"}, "-name needs a TEMPLATE after it"},
  };
  for (const Case& c : cases) {
    CliRun run = RunWith(c.args);
    const std::string label = c.args.empty() ? "(nothing)" : c.args[0] + " ...";
    EXPECT_EQ(2, run.code) << label;
    EXPECT_TRUE(Contains(run.err, c.says)) << label << ": " << run.err;
    EXPECT_EQ("", run.out) << label;
  }
  // A usage error writes nothing, and no missing FOLDER is created.
  EXPECT_EQ(std::vector<std::string>{"replay.w3g"}, ListFiles(folder_));
}

// As with GNU tools, switches count wherever they stand until "--"; after it every
// word is an operand, a file named "-odd" too. Operands keep their order.
TEST_F(CliUsage, SwitchesCountAnywhereBeforeTwoDashes) {
  const std::string file = folder_ + "replay.w3g";
  ASSERT_TRUE(WriteFileBytes(file, AlphaBeta()));
  const std::string other = folder_ + "other.w3g";
  ASSERT_TRUE(WriteFileBytes(other, CleoDave()));
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"name", file, "-nodate"}, 0, file + "\t1v1\\Alpha(h) vs Beta(u).w3g\n"},
      {{"name", file, "-name", "{players} x", other, "-nodate"}, 0,
       file + "\t1v1\\Alpha(h) vs Beta(u) x.w3g\n" + other +
           "\t1v1\\Cleo(o) vs Dave(e) x.w3g\n"},
      {{"name", "-nodate", "--", file, "-nodate"}, 1, file + "\t1v1\\Alpha(h) vs Beta(u).w3g\n"},
      {{"sort", dest, "-name", "x", file}, 0, file + "\t1v1\\x.w3g\n"},
      {{"sort", dest, other, "--dry-run", "-nodate"}, 0,
       other + "\t1v1\\Cleo(o) vs Dave(e).w3g\n"},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& arg : c.args) label += " " + arg;
    CliRun run = RunWith(c.args);
    EXPECT_EQ(c.code, run.code) << label << ": " << run.err;
    EXPECT_EQ(c.out, run.out) << label;
  }
  // The dry run wrote nothing: the one copy is the sort's.
  EXPECT_EQ(std::vector<std::string>{"1v1\\x.w3g"}, ListFiles(dest + "\\"));
  Bytes copy;
  EXPECT_TRUE(ReadFileBytes(dest + "\\1v1\\x.w3g", &copy));
  EXPECT_EQ(AlphaBeta(), copy);
}

// ---------------------------------------------------------------------------
// folder

TEST(CliFolder, UsageAndMistakes) {
  CliRun run = RunWith({"--help"});
  EXPECT_TRUE(Contains(run.out, "usage: brindlecap-cli folder\n")) << run.out;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"folder", "--help"}, {"help", "folder"}}) {
    run = RunWith(args);
    EXPECT_EQ(0, run.code) << args[0];
    EXPECT_EQ(0u, run.out.find("usage: brindlecap-cli folder\n")) << run.out;
  }
  // The switches of the other commands mean nothing here, and are refused as such.
  for (const char* extra : {"-custom", "C:\\Games"}) {
    run = RunWith({"folder", extra});
    EXPECT_EQ(2, run.code) << extra;
    EXPECT_TRUE(Contains(run.err, "folder takes no switches or operands")) << run.err;
    EXPECT_EQ("", run.out) << extra;
  }
}

#ifdef _WIN32
// The game's own key, read through HKEY_CURRENT_USER redirected for this process to
// a key of the test's own, so a run never touches the game's settings.
class CliFolderRegistry : public testing::Test {
 protected:
  void SetUp() override {
    snprintf(root_, sizeof root_, "Software\\Brindlecap tests\\cli %lu", GetCurrentProcessId());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, root_, 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &user_, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_));
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
    RegDeleteTreeA(user_, NULL);
    RegCloseKey(user_);
    RegDeleteKeyA(HKEY_CURRENT_USER, root_);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Brindlecap tests");  // only goes when empty
  }
  void SetGameValue(const char* name, const char* data) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(user_, "Software\\Blizzard Entertainment\\Warcraft III", 0, NULL, 0,
                              KEY_WRITE, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(data),
                                            static_cast<DWORD>(strlen(data) + 1)));
    RegCloseKey(key);
  }

  char root_[128];
  HKEY user_ = NULL;
};

TEST_F(CliFolderRegistry, PrintsWhatTheTrayProgramWouldWatch) {
  CliRun run = RunWith({"folder"});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ("c:\\program files\\warcraft iii\\replay\\\n", run.out);
  EXPECT_EQ("", run.err);

  SetGameValue("InstallPath", "E:\\War3");
  run = RunWith({"folder"});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ("E:\\War3\\replay\\\n", run.out);

  SetGameValue("InstallPathX", "D:\\Games\\Warcraft III/");
  run = RunWith({"folder"});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ("D:\\Games\\Warcraft III/replay\\\n", run.out);
  EXPECT_EQ("", run.err);
}
#else
TEST(CliFolder, SaysItNeedsWindows) {
  CliRun run = RunWith({"folder"});
  EXPECT_EQ(2, run.code);
  EXPECT_TRUE(Contains(run.err, "folder needs Windows")) << run.err;
  EXPECT_EQ("", run.out);
}
#endif

// ---------------------------------------------------------------------------
// sort

class CliSort : public ReplayFolderTest {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::string path = folder_ + name;
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  Bytes Read(const std::string& name) {
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(folder_ + name, &bytes)) << name;
    return bytes;
  }
};

TEST_F(CliSort, FilesCopiesBesideTheSourcesAndLeavesThemAlone) {
  // Sorting an archive in place: the sources lie in FOLDER itself.
  const Bytes custom_bytes = BuildReplay(CustomReplay("my game #2!"));
  SyntheticReplay tiny = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  tiny.file_length = 5119;
  const std::string unreadable = Write("held.w3g", AlphaBeta());
  const std::string ladder = Write("a.w3g", AlphaBeta());
  const std::string again = Write("b.w3g", AlphaBeta());
  const std::string custom = Write("c.w3g", custom_bytes);
  const std::string small = Write("d.w3g", BuildReplay(tiny));
  const std::string missing = folder_ + "missing.w3g";
  const std::string directory = folder_ + "1v1";  // made by the first copy
  const std::vector<std::string> sources = ListFiles(folder_);

  // One file is held by the game with no sharing.
  InjectFault(kPlatformCallOpenRead, 1, unreadable);
  CliRun run = RunWith({"sort", folder_, unreadable, ladder, again, custom, small, missing,
                        directory});
  EXPECT_EQ(1, run.code);
  const std::string tag = DateTag;
  ASSERT_EQ(8u, tag.size());
  EXPECT_EQ(unreadable + "\t- cannot be read\n" +
                ladder + "\t1v1\\" + tag + "Alpha(h) vs Beta(u).w3g\n" +
                again + "\t1v1\\" + tag + "Alpha(h) vs Beta(u)[1].w3g\n" +
                custom + "\t- not a ladder game\n" +
                small + "\t- shorter than 5120 bytes\n" +
                missing + "\t- no such file\n" +
                directory + "\t- is a folder, not a replay\n",
            run.out);
  EXPECT_EQ("2 saved, 2 skipped, 3 failed\n", run.err);

  EXPECT_EQ(AlphaBeta(), Read("1v1\\" + tag + "Alpha(h) vs Beta(u).w3g"));
  EXPECT_EQ(AlphaBeta(), Read("1v1\\" + tag + "Alpha(h) vs Beta(u)[1].w3g"));
  std::vector<std::string> after = ListFiles(folder_);
  EXPECT_EQ(sources.size() + 2, after.size());
  for (const std::string& source : sources) {
    EXPECT_EQ(1, std::count(after.begin(), after.end(), source)) << source;
  }
  EXPECT_EQ(AlphaBeta(), Read("a.w3g"));
  EXPECT_EQ(custom_bytes, Read("c.w3g"));

  run = RunWith({"sort", "-custom", "-nodate", folder_, custom});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ(custom + "\tCustom\\my_game__2_.w3g\n", run.out);
  EXPECT_EQ("1 saved, 0 skipped, 0 failed\n", run.err);
}

// A dry run must predict the real run line for line: repeats within the run,
// names already taken in FOLDER, and names that one file system takes as the
// same file (Windows ignores case) and another does not.
TEST_F(CliSort, DryRunPredictsTheRealRunAndWritesNothing) {
  const std::string source = MakeTempFolder();
  ASSERT_FALSE(source.empty());
  std::vector<std::string> files;
  auto add = [&](const char* name, const Bytes& bytes) {
    files.push_back(source + name);
    ASSERT_TRUE(WriteFileBytes(files.back(), bytes));
  };
  add("1.w3g", AlphaBeta());
  add("2.w3g", BuildReplay(LadderReplay({{"ALPHA", 1}, {"BETA", 8}})));
  add("3.w3g", AlphaBeta());
  add("4.w3g", BuildReplay(CustomReplay("fun")));
  add("5.w3g", BuildReplay(CustomReplay("fun")));
  add("6.w3g", BuildReplay(LadderReplay({{"A", 2}, {"B", 4}, {"C", 8}, {"D", 1}})));
  files.push_back(source + "gone.w3g");

  const std::vector<std::vector<std::string>> switch_sets = {
      {}, {"-nodate"}, {"-custom", "-nodate"}};
  for (const std::vector<std::string>& switches : switch_sets) {
    RemoveTree(folder_);
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    // Taken before the run, under the name the first copy would get without a tag.
    ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
    ASSERT_TRUE(WriteFileBytes(folder_ + "1v1\\Alpha(h) vs Beta(u).w3g", Bytes{1, 2, 3}));
    const std::vector<std::string> before = ListFiles(folder_);

    std::vector<std::string> args = {"sort"};
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<std::string> dry_args = args;
    dry_args.push_back("--dry-run");
    for (std::vector<std::string>* a : {&args, &dry_args}) {
      a->push_back(folder_);
      a->insert(a->end(), files.begin(), files.end());
    }
    const std::string label = switches.empty() ? "(no switches)" : switches.back();

    CliRun dry = RunWith(dry_args);
    EXPECT_EQ(before, ListFiles(folder_)) << label;
    CliRun real = RunWith(args);
    EXPECT_EQ(1, dry.code) << label;
    EXPECT_EQ(1, real.code) << label;
    EXPECT_EQ(real.out, dry.out) << label;
    EXPECT_EQ(real.err.substr(0, real.err.size() - 1) + " (dry run: nothing was written)\n",
              dry.err)
        << label;
    // Every line names a distinct copy that now exists.
    size_t saved = 0;
    for (size_t start = 0; start < real.out.size();) {
      size_t end = real.out.find('\n', start);
      std::string line = real.out.substr(start, end - start);
      start = end + 1;
      std::string destination = line.substr(line.find('\t') + 1);
      if (destination[0] == '-') continue;
      ++saved;
      Bytes copy;
      EXPECT_TRUE(ReadFileBytes(folder_ + destination, &copy)) << destination;
    }
    EXPECT_EQ(before.size() + saved, ListFiles(folder_).size()) << label;
  }
  RemoveTree(source);
}

TEST_F(CliSort, ModernReadsTheCurrentGame) {
  const std::string file = Write("r.w3g", ReforgedOneVsOne());
  for (const char* mode : {"--dry-run", "-nodate"}) {
    CliRun run = RunWith({"sort", "-nodate", "-modern", mode, folder_, file});
    EXPECT_EQ(0, run.code) << mode << run.err;
    EXPECT_EQ(file + "\t" + kReforgedName + "\n", run.out) << mode;
  }
  EXPECT_EQ(ReforgedOneVsOne(), Read(kReforgedName));
}

TEST_F(CliSort, CopyFailuresAreReportedAndLeaveNothingBehind) {
  const std::string replay = Write("a.w3g", AlphaBeta());
  const std::string copy = folder_ + "1v1\\Alpha(h) vs Beta(u).w3g";
  struct Case {
    const char* what;
    PlatformCall call;
    std::string path;
    const char* reason;
  };
  const Case cases[] = {
      {"open refused", kPlatformCallOpenRead, replay, "cannot be read"},
      {"short read", kPlatformCallRead, replay, "cannot be read"},
      {"create refused", kPlatformCallCreateNew, copy,
       "the copy could not be written: access is denied"},
      {"disk full", kPlatformCallWrite, copy, "the copy could not be written: the disk is full"},
      {"close failed", kPlatformCallClose, copy,
       "the copy could not be written: the system reported an error"},
  };
  for (const Case& c : cases) {
    InjectFault(c.call, 1, c.path);
    CliRun run = RunWith({"sort", "-nodate", folder_, replay});
    EXPECT_EQ(1, run.code) << c.what;
    EXPECT_EQ(replay + "\t- " + c.reason + "\n", run.out) << c.what;
    EXPECT_EQ("0 saved, 0 skipped, 1 failed\n", run.err) << c.what;
    for (const std::string& file : ListFiles(folder_)) {
      EXPECT_EQ("a.w3g", file) << c.what;
    }
  }
  ClearFaults();

  // A file standing where the subfolder belongs.
  RemoveTree(folder_);
  folder_ = MakeTempFolder();
  ASSERT_FALSE(folder_.empty());
  const std::string again = Write("a.w3g", AlphaBeta());
  ASSERT_TRUE(WriteFileBytes(folder_ + "1v1", Bytes{}));
  CliRun run = RunWith({"sort", "-nodate", folder_, again});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(again + "\t- the copy could not be written: the folder is missing\n", run.out);
}

TEST_F(CliSort, EveryNameTakenFailsInBothRuns) {
  const std::string replay = Write("a.w3g", AlphaBeta());
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "1v1").c_str()));
  for (int i = 0; i <= 999; ++i) {
    char name[64];
    if (i == 0) {
      snprintf(name, sizeof name, "1v1\\Alpha(h) vs Beta(u).w3g");
    } else {
      snprintf(name, sizeof name, "1v1\\Alpha(h) vs Beta(u)[%d].w3g", i);
    }
    ASSERT_TRUE(WriteFileBytes(folder_ + name, Bytes{}));
  }
  for (const char* mode : {"--dry-run", "-nodate"}) {
    CliRun run = RunWith({"sort", "-nodate", mode, folder_, replay});
    EXPECT_EQ(1, run.code) << mode;
    EXPECT_EQ(replay + "\t- no free name: every name up to [999] is taken\n", run.out) << mode;
  }
  EXPECT_EQ(1001u, ListFiles(folder_).size());
}

#ifndef _WIN32
// On a terminal, standard error shows how far the run has got, and wipes that line
// before the summary. (Every other test reads standard error from a file and sees
// the summary alone.)
// Runs a command line with standard error on a terminal; err holds what the
// terminal was shown.
CliRun RunOnTerminal(std::vector<std::string> args) {
  CliRun run = {-1, "", ""};
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_GE(master, 0);
  if (master < 0) return run;
  EXPECT_EQ(0, grantpt(master));
  EXPECT_EQ(0, unlockpt(master));
  FILE* terminal = fopen(ptsname(master), "w");
  EXPECT_NE(nullptr, terminal);
  if (terminal == nullptr) return run;

  ResetWatcher("");
  args.insert(args.begin(), "brindlecap-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  run.code = RunCli(static_cast<int>(argv.size()), argv.data(), out, terminal);
  fclose(terminal);
  char chunk[4096];
  ssize_t n;
  while ((n = read(master, chunk, sizeof chunk)) > 0) run.err.append(chunk, static_cast<size_t>(n));
  close(master);
  run.out = Drain(out);
  return run;
}

TEST_F(CliSort, ShowsProgressOnATerminal) {
  const std::string replay = Write("a.w3g", AlphaBeta());
  CliRun run = RunOnTerminal({"sort", "-nodate", folder_, replay, replay});
  const std::string& shown = run.err;

  EXPECT_EQ(0, run.code);
  EXPECT_TRUE(Contains(shown, "sorting 1 of 2")) << shown;
  EXPECT_TRUE(Contains(shown, "sorting 2 of 2")) << shown;
  EXPECT_TRUE(Contains(shown, "\r2 saved, 0 skipped, 0 failed")) << shown;
  EXPECT_EQ(replay + "\t1v1\\Alpha(h) vs Beta(u).w3g\n" + replay +
                "\t1v1\\Alpha(h) vs Beta(u)[1].w3g\n",
            run.out);
}

// A folder's progress counts the replays found below it.
TEST_F(CliSort, ShowsProgressOverAFoldersReplays) {
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "in").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "in\\deeper").c_str()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "in\\a.w3g", AlphaBeta()));
  ASSERT_TRUE(WriteFileBytes(folder_ + "in\\deeper\\b.w3g", LastByteChanged(AlphaBeta(), 1)));
  CliRun run = RunOnTerminal({"sort", "-modern", "-nodate", folder_, folder_ + "in"});
  EXPECT_EQ(0, run.code);
  EXPECT_TRUE(Contains(run.err, "sorting 2 of 2")) << run.err;
  EXPECT_FALSE(Contains(run.err, "of 1")) << run.err;
  EXPECT_TRUE(Contains(run.err, "\r2 saved, 0 already there, 0 skipped, 0 failed")) << run.err;
}
#endif

// ---------------------------------------------------------------------------
// sort -modern: folders as sources, the game's date, nothing filed twice

#ifdef _WIN32
const char kSeparator[] = "\\";
#else
const char kSeparator[] = "/";
#endif

// Seconds since 1970 (UTC) of noon, local time, of a day: what a file last
// written then is stamped with, whatever this machine's time zone.
int64_t LocalNoon(int year, int month, int day) {
  struct tm noon = {};
  noon.tm_year = year - 1900;
  noon.tm_mon = month - 1;
  noon.tm_mday = day;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&noon));
}
const int64_t kJuly30th2022 = LocalNoon(2022, 7, 30);
const int64_t kDecember24th2021 = LocalNoon(2021, 12, 24);

class CliSortFolders : public CliSort {
 protected:
  // Writes folder_ + the parts joined, making the folders on the way.
  std::string Put(std::vector<std::string> parts, const Bytes& bytes) {
    std::string path = folder_;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      path += parts[i];
      PlatformMakeDirectory(path.c_str());
      path += "\\";
    }
    path += parts.back();
    EXPECT_TRUE(WriteFileBytes(path, bytes)) << path;
    return Shown(parts);
  }
  // The path as the walk below folder_ prints it.
  std::string Shown(const std::vector<std::string>& parts) {
    std::string path = folder_;
    for (size_t i = 0; i < parts.size(); ++i) path += (i > 0 ? kSeparator : "") + parts[i];
    return path;
  }
};

// A replay folder sorted in place, as a player would: the game's autosaved tree,
// an old folder, a file the game is still writing, the run's own subfolders; then
// again, when everything is already there. Each dry run says what its real run
// does, line for line.
TEST_F(CliSortFolders, SortsATreeInPlaceOnceDatedByTheGame) {
  const Bytes changed = LastByteChanged(AlphaBeta(), 1);
  const Bytes zeta = LastByteChanged(AlphaBeta(), 2);
  const std::string early = Put({"Autosaved", "Multiplayer", "Replay_2024_05_12_2039.w3g"}, AlphaBeta());
  const std::string ladder = Put({"Autosaved", "Multiplayer", "w3c-20250922152242.w3g"}, CleoDave());
  Put({"Autosaved", "TempReplay.w3g"}, AlphaBeta());
  Put({"Custom", "stray.w3g"}, CleoDave());  // as if filed by an earlier run
  Put({"notes.txt"}, AlphaBeta());
  // The first replay again under a name of its own: dated otherwise, still the same.
  const std::string renamed = Put({"old", "best.w3g"}, AlphaBeta());
  const std::string bad_name =
      Put({"old", "Replay_2021_13_45_1200.w3g"}, LastByteChanged(CleoDave(), 3));
  const std::string one_byte = Put({"old", "Replay_2024_05_12_2039.w3g"}, changed);
  const std::string unnamed = Put({"old", "zeta.w3g"}, zeta);
  const std::string again = Put({"Replay_2024_05_12_2039.w3g"}, AlphaBeta());
  ASSERT_TRUE(SetWriteTime(folder_ + "old\\Replay_2021_13_45_1200.w3g", kDecember24th2021));
  ASSERT_TRUE(SetWriteTime(folder_ + "old\\best.w3g", kDecember24th2021));
  ASSERT_TRUE(SetWriteTime(folder_ + "old\\zeta.w3g", kJuly30th2022));
  const std::vector<std::string> sources = ListFiles(folder_);

  const std::string ab = "1v1\\[BC0512]Alpha(h) vs Beta(u)";
  struct Row {
    std::string source;
    std::string first;  // the first run's line after the tab
    std::string copy;   // the copy it makes or finds
  };
  const Row rows[] = {
      {early, ab + ".w3g", ab + ".w3g"},
      {ladder, "1v1\\[BC0922]Cleo(o) vs Dave(e).w3g", "1v1\\[BC0922]Cleo(o) vs Dave(e).w3g"},
      {renamed, "- already there: " + ab + ".w3g", ab + ".w3g"},
      {bad_name, "1v1\\[BC1224]Cleo(o) vs Dave(e).w3g", "1v1\\[BC1224]Cleo(o) vs Dave(e).w3g"},
      {one_byte, ab + "[1].w3g", ab + "[1].w3g"},
      {unnamed, "1v1\\[BC0730]Alpha(h) vs Beta(u).w3g", "1v1\\[BC0730]Alpha(h) vs Beta(u).w3g"},
      {again, "- already there: " + ab + ".w3g", ab + ".w3g"},
  };
  std::string first;
  std::string second;
  for (const Row& row : rows) {
    first += row.source + "\t" + row.first + "\n";
    second += row.source + "\t- already there: " + row.copy + "\n";
  }

  struct Run {
    const char* what;
    std::string out;
    std::string summary;
  } runs[] = {
      {"first", first, "5 saved, 2 already there, 0 skipped, 0 failed"},
      {"second", second, "0 saved, 7 already there, 0 skipped, 0 failed"},
  };
  for (const Run& run : runs) {
    const std::vector<std::string> before = ListFiles(folder_);
    CliRun dry = RunWith({"sort", "-modern", "--dry-run", folder_, folder_});
    EXPECT_EQ(before, ListFiles(folder_)) << run.what;
    EXPECT_EQ(0, dry.code) << run.what;
    EXPECT_EQ(run.out, dry.out) << run.what;
    EXPECT_EQ(run.summary + " (dry run: nothing was written)\n", dry.err) << run.what;

    CliRun real = RunWith({"sort", "-modern", folder_, folder_});
    EXPECT_EQ(0, real.code) << run.what;
    EXPECT_EQ(run.out, real.out) << run.what;
    EXPECT_EQ(run.summary + "\n", real.err) << run.what;
  }

  EXPECT_EQ(AlphaBeta(), Read(ab + ".w3g"));
  EXPECT_EQ(changed, Read(ab + "[1].w3g"));
  EXPECT_EQ(zeta, Read("1v1\\[BC0730]Alpha(h) vs Beta(u).w3g"));
  // The sources stand as they were; the five copies are all that was added.
  std::vector<std::string> after = ListFiles(folder_);
  EXPECT_EQ(sources.size() + 5, after.size());
  for (const std::string& source : sources) {
    EXPECT_EQ(1, std::count(after.begin(), after.end(), source)) << source;
  }
  EXPECT_EQ(changed, Read("old\\Replay_2024_05_12_2039.w3g"));
}

// Empty folders (the game's Autosaved\Custom before any custom game, an empty
// SOURCE) are walked like any other, with nothing to say.
TEST_F(CliSortFolders, EmptyFoldersHaveNothingToSort) {
  const std::string game =
      Put({"Autosaved", "Multiplayer", "Replay_2024_05_12_2039.w3g"}, AlphaBeta());
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "Autosaved\\Custom").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((folder_ + "empty").c_str()));
  CliRun run = RunWith({"sort", "-modern", folder_, folder_, Shown({"empty"})});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(game + "\t1v1\\[BC0512]Alpha(h) vs Beta(u).w3g\n", run.out);
  EXPECT_EQ("1 saved, 0 already there, 0 skipped, 0 failed\n", run.err);
}

// A game played after January 2038, past 32 bits of seconds, keeps its date, from
// the file's last-write time as from the game's own name.
TEST_F(CliSortFolders, GamesAfter2038KeepTheirDates) {
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  const std::string late = Put({"late.w3g"}, AlphaBeta());
  ASSERT_TRUE(SetWriteTime(folder_ + "late.w3g", LocalNoon(2040, 7, 30)));
  const std::string named = Put({"Replay_2099_12_31_2359.w3g"}, CleoDave());
  const std::string early = Put({"early.w3g"}, LastByteChanged(AlphaBeta(), 1));
  ASSERT_TRUE(SetWriteTime(folder_ + "early.w3g", LocalNoon(2037, 12, 24)));
  CliRun run = RunWith({"sort", "-modern", "-name", "{year}-{month}-{day} {date}{players}", dest,
                        late, named, early});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(late + "\t1v1\\2040-07-30 [BC0730]Alpha(h) vs Beta(u).w3g\n" +
                named + "\t1v1\\2099-12-31 [BC1231]Cleo(o) vs Dave(e).w3g\n" +
                early + "\t1v1\\2037-12-24 [BC1224]Alpha(h) vs Beta(u).w3g\n",
            run.out);
}

// Each bad SOURCE gets its line and the run goes on with the others.
TEST_F(CliSortFolders, BadSourcesGetTheirReasonAndTheRestIsSorted) {
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  const std::string in_sorted = Put({"dest", "1v1", "kept.w3g"}, CleoDave());
  const std::string good = Put({"src", "a.w3g"}, AlphaBeta());
  const std::string fake = Put({"src", "b.w3g"}, Bytes(6000, 'x'));
  const std::string locked = Shown({"src", "locked"});
  Put({"src", "locked", "c.w3g"}, CleoDave());
  InjectFault(kPlatformCallList, 1, locked);
  const std::string missing = folder_ + "gone";
  std::string expected = missing + "\t- no such file\n" +
                         good + "\t1v1\\Alpha(h) vs Beta(u).w3g\n" +
                         fake + "\t- not a replay\n";
  int failed = 6;
#ifndef _WIN32
  // A link that leads back up the tree being walked.
  Put({"src", "deep", "d.txt"}, Bytes{1});
  const std::string root = folder_.substr(0, folder_.size() - 1);
  ASSERT_EQ(0, symlink("..", (root + "/src/deep/back").c_str()));
  expected += Shown({"src", "deep", "back"}) + "\t- a link loop: it leads back to a folder above it\n";
  ++failed;
#endif
  expected += locked + "\t- cannot be read: the folder could not be listed\n" +
              folder_ + "\t- holds FOLDER, where the copies go (sort FOLDER FOLDER sorts in place)\n" +
              dest + kSeparator + "1v1\t- lies in FOLDER's sorted copies\n" +
              in_sorted + "\t- lies in FOLDER's sorted copies\n";

  CliRun run = RunWith({"sort", "-modern", "-nodate", dest, missing, folder_ + "src", folder_,
                        dest + kSeparator + "1v1", in_sorted});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(expected, run.out);
  EXPECT_EQ("1 saved, 0 already there, 0 skipped, " + std::to_string(failed) + " failed\n", run.err);
  EXPECT_EQ(AlphaBeta(), Read("dest\\1v1\\Alpha(h) vs Beta(u).w3g"));
  EXPECT_EQ(CleoDave(), Read("dest\\1v1\\kept.w3g"));
}

#ifndef _WIN32
// Writes bytes under a Linux path as it stands: a backslash in it is a letter.
void WriteLinuxFile(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, file) << path;
  EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file)) << path;
  EXPECT_EQ(0, fclose(file)) << path;
}

// The entries of a Linux folder, sorted; "(none)" when it cannot be listed.
std::vector<std::string> LinuxEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {"(none)"};
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// On Linux a backslash is a letter of a name like any other, never a separator:
// a FOLDER called w\x is that folder, not w/x, and a source file called
// ..\secret.w3g is sorted as itself, not as the secret.w3g one folder up.
TEST_F(CliSortFolders, BackslashesInLinuxNamesAreLetters) {
  const std::string root = folder_.substr(0, folder_.size() - 1) + "/";
  ASSERT_EQ(0, mkdir((root + "src").c_str(), 0777));
  const std::string odd = root + "src/..\\secret.w3g";
  WriteLinuxFile(odd, AlphaBeta());
  WriteLinuxFile(root + "secret.w3g", CleoDave());
  const std::string dest = root + "w\\x";
  ASSERT_EQ(0, mkdir(dest.c_str(), 0777));
  ASSERT_EQ(0, mkdir((root + "w").c_str(), 0777));
  ASSERT_EQ(0, mkdir((root + "w/x").c_str(), 0777));
  const std::string copy = "1v1\\Alpha(h) vs Beta(u).w3g";

  CliRun run = RunWith({"name", "-nodate", odd});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(odd + "\t" + copy + "\n", run.out);
  run = RunWith({"sort", "-modern", "-nodate", "--dry-run", dest, root + "src"});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(odd + "\t" + copy + "\n", run.out);
  run = RunWith({"sort", "-modern", "-nodate", dest, root + "src"});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(odd + "\t" + copy + "\n", run.out);
  run = RunWith({"sort", "-nodate", dest, odd});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(odd + "\t1v1\\Alpha(h) vs Beta(u)[1].w3g\n", run.out);

  EXPECT_EQ((std::vector<std::string>{"Alpha(h) vs Beta(u).w3g", "Alpha(h) vs Beta(u)[1].w3g"}),
            LinuxEntries(dest + "/1v1"));
  FILE* file = fopen((dest + "/1v1/Alpha(h) vs Beta(u).w3g").c_str(), "rb");
  ASSERT_NE(nullptr, file);
  Bytes bytes(AlphaBeta().size() + 1);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
  fclose(file);
  EXPECT_TRUE(bytes == AlphaBeta()) << "the copy is not of " << odd;
  // Nothing went to w/x, and the folder above the sources holds what it held.
  EXPECT_EQ(std::vector<std::string>{}, LinuxEntries(root + "w/x"));
  EXPECT_EQ((std::vector<std::string>{"secret.w3g", "src", "w", "w\\x"}), LinuxEntries(root));
}

// Only a regular file is a replay: a FIFO named like one, in a folder or given
// itself, gets its line and is never opened to be read, which would wait for a
// writer without end.
TEST_F(CliSortFolders, APipeNamedLikeAReplayIsReportedNotWaitedFor) {
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  const std::string good = Put({"src", "a.w3g"}, AlphaBeta());
  const std::string fifo = Shown({"src", "b.w3g"});
  ASSERT_TRUE(MakeFifo(fifo));
  const std::string reason = "\t- is a pipe, socket or device, not a replay\n";
  CliRun sorted, single, named;
  EXPECT_TRUE(FinishesWithoutWaitingOn(fifo, [&] {
    sorted = RunWith({"sort", "-modern", "-nodate", dest, folder_ + "src"});
    single = RunWith({"sort", "-nodate", dest, fifo});
    named = RunWith({"name", fifo});
  }));
  EXPECT_EQ(1, sorted.code);
  EXPECT_EQ(good + "\t1v1\\Alpha(h) vs Beta(u).w3g\n" + fifo + reason, sorted.out);
  EXPECT_EQ("1 saved, 0 already there, 0 skipped, 1 failed\n", sorted.err);
  EXPECT_EQ(1, single.code);
  EXPECT_EQ(fifo + reason, single.out);
  EXPECT_EQ(1, named.code);
  EXPECT_EQ("", named.out);
  EXPECT_EQ(AlphaBeta(), Read("dest\\1v1\\Alpha(h) vs Beta(u).w3g"));
}
#endif

// ---------------------------------------------------------------------------
// watch, run in this process on a second thread, its output read through pipes as
// a terminal user would see it.

int ReadEnd(int fds[2]) { return fds[0]; }

#ifdef _WIN32
int MakePipe(int fds[2]) { return _pipe(fds, 65536, _O_BINARY); }
FILE* WriteStream(int fd) { return _fdopen(fd, "w"); }
void CloseFd(int fd) { _close(fd); }
// 1 when a byte can be read from fd within the deadline.
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;  // EOF
    if (available > 0) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(5);
  }
}
int ReadByte(int fd, char* c) { return _read(fd, c, 1); }
#else
int MakePipe(int fds[2]) { return pipe(fds); }
FILE* WriteStream(int fd) { return fdopen(fd, "w"); }
void CloseFd(int fd) { close(fd); }
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  struct pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) > 0;
}
int ReadByte(int fd, char* c) { return static_cast<int>(read(fd, c, 1)); }
#endif

// The next line from fd without its newline; "(timed out)" or "(end)" otherwise.
std::string ReadLine(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string line;
  for (;;) {
    if (!WaitReadable(fd, deadline)) return "(timed out)";
    char c;
    if (ReadByte(fd, &c) != 1) return line.empty() ? "(end)" : line;
    if (c == '\n') return line;
    if (c != '\r') line += c;
  }
}

class CliWatch : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
#ifdef _WIN32
    _putenv_s("BRINDLECAP_INTERVAL_MS", "20");
#else
    setenv("BRINDLECAP_INTERVAL_MS", "20", 1);
#endif
  }
  void TearDown() override {
    if (thread_.joinable()) {
      CliStopRequested = 1;
      thread_.join();
    }
    ReplayFolderTest::TearDown();
  }

  // Starts `watch switches... FOLDER` (without FOLDER when with_folder is false)
  // and waits until it has primed.
  void Start(std::vector<std::string> switches, bool with_folder = true) {
    ASSERT_EQ(0, MakePipe(out_pipe_));
    ASSERT_EQ(0, MakePipe(err_pipe_));
    args_ = {"brindlecap-cli", "watch"};
    args_.insert(args_.end(), switches.begin(), switches.end());
    // FOLDER without its separator.
    if (with_folder) args_.push_back(folder_.substr(0, folder_.size() - 1));
    ResetWatcher("");
    thread_ = std::thread([this] {
      std::vector<char*> argv;
      for (std::string& a : args_) argv.push_back(&a[0]);
      FILE* out = WriteStream(out_pipe_[1]);
      FILE* err = WriteStream(err_pipe_[1]);
      code_ = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
      fclose(out);
      fclose(err);
    });
    EXPECT_TRUE(Contains(ReadLine(ReadEnd(err_pipe_)), "watching")) << "never primed";
  }

  // Stops the loop and returns everything it printed after the lines already read.
  void Stop(std::string* out, std::string* err) {
    CliStopRequested = 1;
    thread_.join();
    out->clear();
    err->clear();
    for (std::string line; (line = ReadLine(ReadEnd(out_pipe_))) != "(end)";) *out += line + "\n";
    for (std::string line; (line = ReadLine(ReadEnd(err_pipe_))) != "(end)";) *err += line + "\n";
    CloseFd(ReadEnd(out_pipe_));
    CloseFd(ReadEnd(err_pipe_));
  }

  // Puts a new LastReplay.w3g in place in one step, as the game's own rename
  // would, so that no pass sees it half written.
  void Place(const Bytes& bytes) { PlaceIn(folder_, bytes); }
  void PlaceIn(const std::string& folder, const Bytes& bytes) {
    stamp_ += 100;
    const std::string incoming = folder + "incoming.tmp";
    const std::string last = folder + "LastReplay.w3g";
    ASSERT_TRUE(WriteFileBytes(incoming, bytes));
    ASSERT_TRUE(SetWriteTime(incoming, stamp_));
#ifdef _WIN32
    ASSERT_TRUE(MoveFileExA(incoming.c_str(), last.c_str(), MOVEFILE_REPLACE_EXISTING));
#else
    std::string from = incoming, to = last;
    for (std::string* s : {&from, &to}) {
      for (char& c : *s) c = c == '\\' ? '/' : c;
    }
    ASSERT_EQ(0, rename(from.c_str(), to.c_str()));
#endif
  }

  std::string NextOut() { return ReadLine(ReadEnd(out_pipe_)); }
  std::string NextErr() { return ReadLine(ReadEnd(err_pipe_)); }

  int64_t stamp_ = 1500000000;
  std::vector<std::string> args_;
  std::thread thread_;
  int code_ = -1;
  int out_pipe_[2] = {-1, -1};
  int err_pipe_[2] = {-1, -1};
};

TEST_F(CliWatch, SavesEachNewReplayAndPrintsItsPath) {
  Place(BuildReplay(LadderReplay({{"Old", 1}, {"Game", 2}})));  // there before the start
  // The first new replay is held by the game for two passes, then read.
  InjectFault(kPlatformCallOpenRead, 2, folder_ + "LastReplay.w3g");
  Start({"-nodate"});

  Place(AlphaBeta());
  EXPECT_TRUE(Contains(NextErr(), "cannot read or copy LastReplay.w3g yet, trying again"));
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u).w3g", NextOut());
  Place(AlphaBeta());
  EXPECT_EQ("1v1\\Alpha(h) vs Beta(u)[1].w3g", NextOut());
  Place(BuildReplay(CustomReplay("fun")));
  EXPECT_TRUE(Contains(NextErr(), "not a ladder game")) << "custom game";
  SyntheticReplay tiny = LadderReplay({{"Alpha", 1}, {"Beta", 8}});
  tiny.file_length = 5119;
  Place(BuildReplay(tiny));
  EXPECT_TRUE(Contains(NextErr(), "shorter than 5120 bytes"));
  // Idle ticks from here on.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
  EXPECT_EQ("", out);
  EXPECT_EQ("brindlecap-cli: stopped\n", err);
  EXPECT_EQ((std::vector<std::string>{"1v1\\Alpha(h) vs Beta(u).w3g",
                                      "1v1\\Alpha(h) vs Beta(u)[1].w3g", "LastReplay.w3g"}),
            ListFiles(folder_));
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(folder_ + "1v1\\Alpha(h) vs Beta(u)[1].w3g", &copy));
  EXPECT_EQ(AlphaBeta(), copy);
}

TEST_F(CliWatch, CustomGamesWithTheDateTagWhenAskedFor) {
  Start({"-custom"});
  Place(BuildReplay(CustomReplay("fun")));
  std::string line = NextOut();
  EXPECT_EQ(std::string("Custom\\") + DateTag + "fun.w3g", line);
  EXPECT_EQ(8u, strlen(DateTag));
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
}

TEST_F(CliWatch, ModernReadsTheCurrentGame) {
  Start({"-modern", "-nodate"});
  Place(ReforgedOneVsOne());
  EXPECT_EQ(kReforgedName, NextOut());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
}

TEST_F(CliUsage, EveryUsageNamesModern) {
  CliRun run = RunWith({"--help"});
  EXPECT_TRUE(Contains(run.out, "  -modern    ")) << run.out;
  for (const char* command : {"watch", "sort", "name"}) {
    run = RunWith({command, "--help"});
    EXPECT_TRUE(Contains(run.out, "[-modern]")) << command;
  }
  // The brief usage a mistake gets shows it for all three commands.
  run = RunWith({"rename"});
  size_t forms = 0;
  for (size_t at = run.err.find("[-modern]"); at != std::string::npos;
       at = run.err.find("[-modern]", at + 1)) {
    ++forms;
  }
  EXPECT_EQ(3u, forms) << run.err;
}

#ifndef _WIN32
// A Wine prefix as Wine makes it, with no user.reg: the user's Documents holds
// the current game's folders.
std::string MakePrefix(const std::string& base) {
  const std::string prefix = base + "prefix";
  std::string path = prefix;
  const std::string documents = "/drive_c/users/me/Documents";
  for (const std::string& part :
       {std::string(), std::string("/drive_c"), std::string("/drive_c/users"),
        std::string("/drive_c/users/me"), documents, documents + "/Warcraft III",
        documents + "/Warcraft III/BattleNet", documents + "/Warcraft III/BattleNet/1001",
        documents + "/Warcraft III/BattleNet/1001/Replays"}) {
    if (!PlatformMakeDirectory((prefix + part).c_str())) return "";
  }
  return prefix;
}

TEST(CliFolder, FindsTheFoldersInsideAWinePrefix) {
  std::string base = MakeTempFolder();
  for (char& c : base) c = c == '\\' ? '/' : c;
  const std::string prefix = MakePrefix(base);
  ASSERT_FALSE(prefix.empty());
  const std::string documents = prefix + "/drive_c/users/me/Documents/Warcraft III/";
  const std::string classic = prefix + "/drive_c/program files/warcraft iii/replay/\n";
  CliRun run = RunWith({"folder", "--prefix", prefix});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(classic, run.out);
  run = RunWith({"folder", "-modern", "--prefix", prefix});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(classic + documents + "Replay/\n" + documents + "BattleNet/1001/Replays/\n", run.out);
  // Without --prefix, -modern looks in $WINEPREFIX.
  setenv("WINEPREFIX", prefix.c_str(), 1);
  EXPECT_EQ(run.out, RunWith({"folder", "-modern"}).out);
  unsetenv("WINEPREFIX");

  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"folder", "--prefix"}, "--prefix needs a DIR"},
      {{"folder", "-modern", "--prefix", base + "nowhere"}, "no Wine prefix at"},
      {{"watch", "-modern", "--prefix", prefix, base}, "--prefix and a FOLDER do not go together"},
  };
  for (const Case& c : cases) {
    run = RunWith(c.args);
    EXPECT_EQ(2, run.code) << c.says;
    EXPECT_TRUE(Contains(run.err, c.says)) << run.err;
    EXPECT_EQ("", run.out) << c.says;
  }
  RemoveTree(base);
}

TEST_F(CliWatch, WithoutAFolderEveryFolderOfThePrefixAndNewAccounts) {
  std::string base = folder_;
  for (char& c : base) c = c == '\\' ? '/' : c;
  const std::string prefix = MakePrefix(base);
  ASSERT_FALSE(prefix.empty());
  const std::string battle_net = prefix + "/drive_c/users/me/Documents/Warcraft III/BattleNet/";
  PlaceIn(battle_net + "1001/Replays/", AlphaBeta());  // there before the start
  Start({"-modern", "-nodate", "--prefix", prefix}, false);

  PlaceIn(battle_net + "1001/Replays/", ReforgedOneVsOne());
  std::string expected = battle_net + "1001/Replays/" + kReforgedName;
  for (char& c : expected) c = c == '\\' ? '/' : c;
  EXPECT_EQ(expected, NextOut());

  // A new account plays; the folder's time moves on by a second at least.
  ASSERT_TRUE(PlatformMakeDirectory((battle_net + "2002").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((battle_net + "2002/Replays").c_str()));
  ASSERT_TRUE(SetWriteTime(battle_net, stamp_ + 7));
  EXPECT_TRUE(Contains(NextErr(), "a new account, watching " + battle_net + "2002/Replays/"));
  PlaceIn(battle_net + "2002/Replays/", AlphaBeta());
  EXPECT_EQ(battle_net + "2002/Replays/1v1/Alpha(h) vs Beta(u).w3g", NextOut());
  std::string out, err;
  Stop(&out, &err);
  EXPECT_EQ(0, code_);
  EXPECT_EQ("", out);
}

// The whole backlog of a prefix: each replay folder sorted into itself, the
// game's Autosaved copies with it, and a second run finds everything there.
TEST(CliSortBacklog, EveryReplayFolderOfThePrefixInPlace) {
  std::string base = MakeTempFolder();
  for (char& c : base) c = c == '\\' ? '/' : c;
  const std::string prefix = MakePrefix(base);
  ASSERT_FALSE(prefix.empty());
  const std::string replays =
      prefix + "/drive_c/users/me/Documents/Warcraft III/BattleNet/1001/Replays/";
  ASSERT_TRUE(PlatformMakeDirectory((replays + "Autosaved").c_str()));
  ASSERT_TRUE(PlatformMakeDirectory((replays + "Autosaved/Multiplayer").c_str()));
  ASSERT_TRUE(WriteFileBytes(replays + "LastReplay.w3g", ReforgedOneVsOne()));
  ASSERT_TRUE(WriteFileBytes(replays + "Autosaved/Multiplayer/Replay_2024_05_12_2039.w3g",
                             ReforgedOneVsOne()));
  ASSERT_TRUE(WriteFileBytes(replays + "Autosaved/Multiplayer/Replay_2021_12_24_1800.w3g",
                             AlphaBeta()));
  const std::string before = ListFilesJoined(replays);

  struct Step {
    std::vector<std::string> args;
    const char* summary;
  } steps[] = {
      {{"sort", "--dry-run", "--prefix", prefix}, "2 saved, 1 already there, 0 skipped, 0 failed"},
      {{"sort", "--prefix", prefix}, "2 saved, 1 already there, 0 skipped, 0 failed"},
      {{"sort", "-modern", "--prefix", prefix}, "0 saved, 3 already there, 0 skipped, 0 failed"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.args[1]);
    const CliRun run = RunWith(step.args);
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_TRUE(Contains(run.err, step.summary)) << run.err;
    EXPECT_TRUE(Contains(run.err, "sorting " + replays)) << run.err;
    if (step.args[1] == "--dry-run") {
      EXPECT_EQ(before, ListFilesJoined(replays));
    }
  }
  // The two replays of 12 May 2024 hold the same bytes: one copy, dated by the
  // first met in name order; the 2021 game is dated by its name.
  const std::vector<std::string> files = ListFiles(replays);
  EXPECT_NE(files.end(), std::find(files.begin(), files.end(),
                                   "1v1\\[BC1224]Alpha(h) vs Beta(u).w3g"));
  EXPECT_EQ(5u, files.size()) << ListFilesJoined(replays);

  // Without -modern and without --prefix, sort still needs its operands.
  const CliRun plain = RunWith({"sort"});
  EXPECT_EQ(2, plain.code);
  EXPECT_TRUE(Contains(plain.err, "sort needs a FOLDER and at least one FILE")) << plain.err;
  RemoveTree(base);
}
#endif

}  // namespace
