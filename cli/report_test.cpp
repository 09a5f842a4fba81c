// brindlecap-cli report: which switches reach the record's collection, where the
// page goes, and what a failure leaves behind. The record itself is collected by
// code of its own; here it is one built by hand.
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
#include "record/record.h"
#include "tests/test_support.h"

// What the command handed to the collection, and the record it gets back.
struct PlayerRecord {
  RecordView view;
};

namespace {

struct Collected {
  int calls = 0;
  std::vector<std::string> operands;
  std::string player = "(none)";
  std::string prefix = "(none)";
  bool verbose = false;
  bool fail = false;
  int freed = 0;
};
Collected collected;

PlayerRecord the_record;
RecordRow by_map[1];
GameRow games[1];

void ResetRecord() {
  collected = Collected();
  memset(&the_record, 0, sizeof the_record);
  snprintf(the_record.view.player, sizeof the_record.view.player, "Stub<b>Player");
  the_record.view.overall.games = 1;
  the_record.view.overall.outcome[kOutcomeWin] = 1;
  snprintf(by_map[0].key, sizeof by_map[0].key, "Amazonia");
  by_map[0].tally = the_record.view.overall;
  the_record.view.by_map = by_map;
  the_record.view.by_map_count = 1;
  memset(games, 0, sizeof games);
  snprintf(games[0].type, sizeof games[0].type, "1v1");
  snprintf(games[0].map, sizeof games[0].map, "Amazonia");
  snprintf(games[0].players, sizeof games[0].players, "Stub(h) vs Other(o)");
  games[0].path = "C:\\replays\\one.w3g";
  the_record.view.games = games;
  the_record.view.game_count = 1;
}

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

class CliReport : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRecord();
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { RemoveTree(folder_); }
  std::string folder_;
};

}  // namespace

PlayerRecord* CollectRecord(int argc, char** argv, int first, const char* player,
                            const char* prefix, bool verbose, FILE* out, FILE* err) {
  (void)out;
  ++collected.calls;
  for (int i = first; i < argc; ++i) collected.operands.push_back(argv[i]);
  if (player != nullptr) collected.player = player;
  if (prefix != nullptr) collected.prefix = prefix;
  collected.verbose = verbose;
  if (collected.fail) {
    fputs("brindlecap-cli: no such folder\n", err);
    return nullptr;
  }
  return &the_record;
}

const RecordView* ViewOf(const PlayerRecord* record) { return &record->view; }

void FreeRecord(PlayerRecord* record) {
  if (record == &the_record) ++collected.freed;
}

namespace {

TEST_F(CliReport, SwitchesOfItsOwnAreTakenTheRestGoesToTheRecord) {
  const std::string page = Native(folder_ + "page.html");
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> operands;
    const char* player;
    const char* prefix;
    bool verbose;
  } cases[] = {
      {{"report", "-o", page, "D1"}, {"D1"}, "(none)", "(none)", false},
      {{"report", "D1", "-o", page, "F2.w3g"}, {"D1", "F2.w3g"}, "(none)", "(none)", false},
      {{"report", "--output", page, "--player", "anXieTy#2932", "-modern"},
       {"-modern"}, "anXieTy#2932", "(none)", false},
      {{"report", "-modern", "--prefix", "P", "--player", "iro", "--verbose", "-o", page},
       {"-modern"}, "iro", "P", true},
      // The last -o counts; "--" ends the switches, so a file may be called -o.
      {{"report", "-o", "elsewhere", "-o", page, "--", "-o"}, {"--", "-o"}, "(none)",
       "(none)", false},
  };
  for (const auto& c : cases) {
    ResetRecord();
    RemoveFile(page);
    CliRun run = RunWith(c.args);
    const std::string label = c.args[2];
    EXPECT_EQ(run.code, 0) << label << run.err;
    EXPECT_EQ(run.out, page + "\n") << label;
    EXPECT_EQ(collected.calls, 1) << label;
    EXPECT_EQ(collected.operands, c.operands) << label;
    EXPECT_EQ(collected.player, c.player) << label;
    EXPECT_EQ(collected.prefix, c.prefix) << label;
    EXPECT_EQ(collected.verbose, c.verbose) << label;
    EXPECT_EQ(collected.freed, 1) << label;
    const std::string html = ReadText(page);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u) << label;
    EXPECT_NE(html.find("Stub&lt;b&gt;Player&rsquo;s record</h1>"), std::string::npos) << label;
    EXPECT_NE(html.find("href=\"file:///C:/replays/one.w3g\""), std::string::npos) << label;
  }
}

TEST_F(CliReport, ReplacesAnEarlierReport) {
  const std::string page = Native(folder_ + "report.html");
  ASSERT_TRUE(WriteFileBytes(folder_ + "report.html", Bytes(200000, 'x')));
  CliRun run = RunWith({"report", "-o", page});
  EXPECT_EQ(run.code, 0) << run.err;
  const std::string html = ReadText(folder_ + "report.html");
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(html.find("xxxx"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
}

TEST_F(CliReport, WithoutOTheReportGoesToTheCurrentFolder) {
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(chdir(Native(folder_).c_str()), 0);
  CliRun run = RunWith({"report", "D1"});
  ASSERT_EQ(chdir(before), 0);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "brindlecap-report.html\n");
  EXPECT_EQ(ListFiles(folder_), std::vector<std::string>{"brindlecap-report.html"});
  EXPECT_NE(ReadText(folder_ + "brindlecap-report.html").find("Stub&lt;b&gt;Player"),
            std::string::npos);
}

TEST_F(CliReport, FailuresSayWhyAndWriteNothing) {
  const std::string page = Native(folder_ + "page.html");
  const struct {
    std::vector<std::string> args;
    bool collection_fails;
    int code;
    const char* says;
    int collections;
  } cases[] = {
      {{"report", "D1", "-o"}, false, 2, "-o needs a value after it", 0},
      {{"report", "-o", "", "D1"}, false, 2, "-o needs a FILE name", 0},
      {{"report", "-o", page, "--player"}, false, 2, "--player needs a value after it", 0},
      {{"report", "-o", page, "--prefix"}, false, 2, "--prefix needs a DIR", 0},
      {{"report", "-o", page, "missing"}, true, 2, "no such folder", 1},
      {{"report", "-o", Native(folder_ + "no folder\\page.html")}, false, 1, "cannot write",
       1},
  };
  for (const auto& c : cases) {
    ResetRecord();
    collected.fail = c.collection_fails;
    CliRun run = RunWith(c.args);
    const std::string label = c.args.back();
    EXPECT_EQ(run.code, c.code) << label;
    EXPECT_EQ(run.out, "") << label;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << label << ": " << run.err;
    EXPECT_EQ(collected.calls, c.collections) << label;
    EXPECT_EQ(collected.freed, c.collection_fails ? 0 : c.collections) << label;
    EXPECT_EQ(ListFiles(folder_), std::vector<std::string>{}) << label;
  }
}

TEST_F(CliReport, HelpNamesTheCommandAndCollectsNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report", "--help"}, {"report", "-modern", "-h"},
        {"--help", "report"}}) {
    ResetRecord();
    CliRun run = RunWith(args);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind("usage: brindlecap-cli report", 0), 0u) << run.out;
    EXPECT_EQ(collected.calls, 0);
  }
  CliRun overview = RunWith({"--help"});
  EXPECT_NE(overview.out.find("usage: brindlecap-cli report"), std::string::npos);
}

}  // namespace
