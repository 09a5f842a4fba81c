// brindlecap-cli folder: the replay folders the tray program would watch.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "tests/test_support.h"

namespace {

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
// The game's own key, read through HKEY_CURRENT_USER redirected for this process.
class CliFolderRegistry : public RedirectedUserKey {};

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

#ifndef _WIN32
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
#endif

}  // namespace
