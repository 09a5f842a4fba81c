// brindlecap-cli report: which switches are its own and which reach the record,
// where the page goes, and what a failure leaves behind, over real replays.
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <direct.h>
#define chdir _chdir
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "cli/commands.h"
#include "tests/test_support.h"

namespace {

// A folder of the test's own as this system writes paths, and a file in it.
std::string Native(const std::string& path) {
  std::string native = path;
#ifndef _WIN32
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
#endif
  return native;
}

std::string ReadText(const std::string& path) {
  Bytes bytes;
  if (!ReadFileBytes(path, &bytes)) return "(no file)";
  return std::string(bytes.begin(), bytes.end());
}

// Three games of anXieTy and one of other players, in a folder of their own; the
// page goes to another folder.
class CliReport : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    replays_ = folder_ + "replays\\";
    pages_ = folder_ + "pages\\";
    ASSERT_TRUE(MakeFolders(folder_, "replays"));
    ASSERT_TRUE(MakeFolders(folder_, "pages"));
    ASSERT_FALSE(RealReplayFolder().empty());
    for (const char* file : {"132-reforged_release.w3g", "132-reforged1.w3g",
                             "132-buildingwin_anxietyperspective.w3g", "130-standard_1304.w3g"}) {
      Bytes bytes;
      ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + file, &bytes)) << file;
      ASSERT_TRUE(WriteFileBytes(replays_ + file, bytes)) << file;
    }
  }
  void TearDown() override { RemoveTree(folder_); }
  std::string folder_;
  std::string replays_;
  std::string pages_;
};

TEST_F(CliReport, SwitchesOfItsOwnAreTakenTheRestGoesToTheRecord) {
  const std::string page = Native(pages_ + "page.html");
  const std::string replays = Native(replays_);
  const struct {
    std::vector<std::string> args;
    const char* player;  // whose record the page shows
    const char* file;    // a game of theirs the page links to
  } cases[] = {
      {{"report", "-o", page, replays}, "anXieTy", "132-reforged1.w3g"},
      {{"report", replays, "-o", page}, "anXieTy", "132-reforged_release.w3g"},
      {{"report", "--output", page, "--player", "Stormhoof", "-modern", replays}, "Stormhoof",
       "130-standard_1304.w3g"},
      {{"report", "-modern", "--player", "iroNSoul#22724", "--verbose", "-o", page, replays},
       "IroNSoul", "132-reforged_release.w3g"},
      // The last -o counts.
      {{"report", "-o", Native(pages_ + "elsewhere.html"), "-o", page, replays}, "anXieTy",
       "132-buildingwin_anxietyperspective.w3g"},
  };
  for (const auto& c : cases) {
    RemoveFile(pages_ + "page.html");
    const CliRun run = RunWith(c.args);
    const std::string label = c.args[2];
    EXPECT_EQ(0, run.code) << label << run.err;
    EXPECT_EQ(page + "\n", run.out) << label;
    const std::string html = ReadText(pages_ + "page.html");
    EXPECT_EQ(0u, html.rfind("<!DOCTYPE html>", 0)) << label;
    EXPECT_NE(std::string::npos, html.find(std::string(c.player) + "&rsquo;s record</h1>"))
        << label;
    EXPECT_NE(std::string::npos, html.find(c.file)) << label;
  }
  EXPECT_EQ(std::vector<std::string>{"page.html"}, ListFiles(pages_));
}

TEST_F(CliReport, ReplacesAnEarlierReport) {
  const std::string page = Native(pages_ + "report.html");
  ASSERT_TRUE(WriteFileBytes(pages_ + "report.html", Bytes(200000, 'x')));
  const CliRun run = RunWith({"report", "-o", page, Native(replays_)});
  EXPECT_EQ(0, run.code) << run.err;
  const std::string html = ReadText(pages_ + "report.html");
  EXPECT_EQ(0u, html.rfind("<!DOCTYPE html>", 0));
  EXPECT_EQ(std::string::npos, html.find("xxxx"));
  EXPECT_EQ("</html>\n", html.substr(html.size() - 8));
}

TEST_F(CliReport, WithoutOTheReportGoesToTheCurrentFolder) {
  char before[4096];
  ASSERT_NE(nullptr, getcwd(before, sizeof before));
  ASSERT_EQ(0, chdir(Native(pages_).c_str()));
  const CliRun run = RunWith({"report", Native(replays_)});
  ASSERT_EQ(0, chdir(before));
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ("brindlecap-report.html\n", run.out);
  EXPECT_EQ(std::vector<std::string>{"brindlecap-report.html"}, ListFiles(pages_));
}

TEST_F(CliReport, FailuresSayWhyAndWriteNothing) {
  const std::string page = Native(pages_ + "page.html");
  const std::string replays = Native(replays_);
  const struct {
    std::vector<std::string> args;
    int code;
    const char* says;
  } cases[] = {
      {{"report", replays, "-o"}, 2, "-o needs a value after it"},
      {{"report", "-o", "", replays}, 2, "-o needs a FILE name"},
      {{"report", "-o", page, "--player"}, 2, "--player"},
      {{"report", "-o", page, "--prefix"}, 2, "--prefix needs a DIR"},
      {{"report", "-o", page, "--no-such-switch", replays}, 2, "--no-such-switch"},
      {{"report", "-o", Native(folder_ + "no folder\\page.html"), replays}, 1, "cannot write"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunWith(c.args);
    const std::string label = c.args.back();
    EXPECT_EQ(c.code, run.code) << label;
    EXPECT_EQ("", run.out) << label;
    EXPECT_NE(std::string::npos, run.err.find(c.says)) << label << ": " << run.err;
    EXPECT_EQ(std::vector<std::string>{}, ListFiles(pages_)) << label;
  }
}

TEST_F(CliReport, ARecordOfNoGameIsAPageToo) {
  const std::string page = Native(pages_ + "page.html");
  const CliRun run = RunWith({"report", "-o", page, Native(pages_)});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(page + "\n", run.out);
  const std::string html = ReadText(pages_ + "page.html");
  EXPECT_EQ(0u, html.rfind("<!DOCTYPE html>", 0));
  EXPECT_EQ("</html>\n", html.substr(html.size() - 8));
}

TEST_F(CliReport, HelpNamesTheCommandAndWritesNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report", "--help"}, {"report", "-modern", "-h"},
        {"--help", "report"}}) {
    const CliRun run = RunWith(args);
    EXPECT_EQ(0, run.code);
    EXPECT_EQ(0u, run.out.rfind("usage: brindlecap-cli report", 0)) << run.out;
  }
  const CliRun overview = RunWith({"--help"});
  EXPECT_NE(std::string::npos, overview.out.find("usage: brindlecap-cli report"));
  EXPECT_EQ(std::vector<std::string>{}, ListFiles(pages_));
}

}  // namespace
