// The command line as a whole: help, the version, and the mistakes every command
// refuses the same way. Each command's own tests lie beside it in this folder.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

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

}  // namespace
