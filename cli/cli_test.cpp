#include "cli/cli.h"

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/replay_builder.h"
#include "tests/test_support.h"
#include "watcher/filing.h"

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

TEST(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"rename"}, {"name"}, {"name", "-custom"}, {"name", "-bogus", "x.w3g"}};
  for (const auto& args : cases) {
    CliRun run = RunWith(args);
    EXPECT_EQ(2, run.code) << (args.empty() ? "" : args[0]);
    EXPECT_NE(std::string::npos, run.err.find("usage:"));
    EXPECT_EQ("", run.out);
  }
  CliRun help = RunWith({"--help"});
  EXPECT_EQ(0, help.code);
  EXPECT_NE(std::string::npos, help.out.find("usage: brindlecap-cli name"));
}

class CliName : public ReplayFolderTest {
 protected:
  std::string Write(const char* name, const Bytes& bytes) {
    std::string path = folder_ + name;
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
};

TEST_F(CliName, PrintsEachDestinationOrTheReasonThereIsNone) {
  std::string ladder = Write("a.w3g", BuildReplay(LadderReplay({{"Alpha", 1}, {"Beta", 8}})));
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
  EXPECT_NE(std::string::npos, run.err.find(missing));

  run = RunWith({"name", "-custom", custom});
  EXPECT_EQ(0, run.code);
  EXPECT_EQ(custom + "\tCustom\\" + DateTag + "my_game__2_.w3g\n", run.out);
  EXPECT_EQ(8u, std::string(DateTag).size());
}

TEST_F(CliName, RealReplaysNameAsExpected) {
  std::vector<ExpectedRow> rows = ReadExpectedRows();
  if (rows.empty()) GTEST_SKIP() << "real replays not found beside the repository";
  std::vector<std::string> args = {"name", "-nodate", "-custom"};
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

}  // namespace
