// brindlecap-cli sort: replay files, and with -modern whole folders, filed into a
// replay folder's subfolders; the dry run that predicts it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

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
  const std::string today = DateTagNow();
  CliRun run = RunWith({"sort", folder_, unreadable, ladder, again, custom, small, missing,
                        directory});
  EXPECT_EQ(1, run.code);
  const std::string tag = RunDateTag(today, run.out);
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

// The game may still be writing a replay that sort reads: a file that grows or is
// rewritten while it is read is not filed, cut short, under the clean name. It gets
// its line, and a later run files it whole.
TEST_F(CliSort, AFileThatChangesWhileReadIsNotFiled) {
  // A file longer than any replay is read in two goes: its head, then its rest
  // as it is hashed or copied; the game may write on during either.
  const Bytes beyond_head = [] {
    Bytes bytes = AlphaBeta();
    bytes.resize(kReplayHeadLimit + 100, 0);
    bytes.back() = 1;
    return bytes;
  }();
  const struct Case {
    const char* what;
    std::vector<std::string> switches;
    std::string summary;
    const Bytes* file;
    bool during_rest;  // the change comes as the rest is read, after the head
  } cases[] = {
      {"sort", {"-nodate"}, "0 saved, 0 skipped, 1 failed\n", &AlphaBeta(), false},
      {"sort -modern", {"-nodate", "-modern"}, "0 saved, 0 already there, 0 skipped, 1 failed\n",
       &AlphaBeta(), false},
      {"sort, its rest copied", {"-nodate"}, "0 saved, 0 skipped, 1 failed\n", &beyond_head,
       true},
      {"sort -modern, its rest hashed", {"-nodate", "-modern"},
       "0 saved, 0 already there, 0 skipped, 1 failed\n", &beyond_head, true},
  };
  for (const Case& c : cases) {
    const std::string dest = folder_ + "dest";
    ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
    const std::string replay = Write("growing.w3g", *c.file);
    ASSERT_TRUE(SetWriteTime(replay, 1700000000));
    Bytes longer = *c.file;
    longer.resize(longer.size() + 65536, 0);
    auto grow = [&] {
      WriteFileBytes(replay, longer);
      SetWriteTime(replay, 1700000010);
    };
    if (c.during_rest) {
      DuringCall(kPlatformCallRead, replay, [&] { DuringCall(kPlatformCallRead, replay, grow); });
    } else {
      DuringCall(kPlatformCallRead, replay, grow);
    }
    std::vector<std::string> args = {"sort"};
    args.insert(args.end(), c.switches.begin(), c.switches.end());
    args.push_back(dest);
    args.push_back(replay);
    CliRun run = RunWith(args);
    EXPECT_EQ(1, run.code) << c.what;
    EXPECT_EQ(replay + "\t- it changed while it was read: the game may still be writing it\n",
              run.out) << c.what;
    EXPECT_EQ(c.summary, run.err) << c.what;
    EXPECT_EQ(std::vector<std::string>{}, ListFiles(dest + "\\")) << c.what;

    run = RunWith(args);
    EXPECT_EQ(0, run.code) << c.what << run.err;
    EXPECT_EQ(replay + "\t1v1\\Alpha(h) vs Beta(u).w3g\n", run.out) << c.what;
    EXPECT_TRUE(longer == Read("dest\\1v1\\Alpha(h) vs Beta(u).w3g")) << c.what;
    ClearFaults();
    RemoveTree(folder_);
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
  }
}

#ifndef _WIN32
// A file far longer than any game writes (a ladder replay, then sparse bytes up to
// 128 MiB) is named as the replay at its start is and filed byte for byte, while
// name and sort keep no more than a fixed head of it in memory: each run's peak
// resident size stays near that of the same run on the plain replay.
TEST_F(CliSort, MemoryDoesNotFollowTheFilesSize) {
  const std::string plain = Write("plain.w3g", AlphaBeta());
  const std::string big = folder_ + "big.w3g";
  ASSERT_TRUE(WriteSparseReplay(big, AlphaBeta(), kBigReplayFileSize));
  const std::string dest = folder_ + "dest";
  const std::string copy = dest + "\\1v1\\Alpha(h) vs Beta(u).w3g";
  const struct Case {
    const char* what;
    std::vector<std::string> args;  // before the file
    std::string summary;            // on standard error
    bool copies;
  } cases[] = {
      {"name", {"name", "-nodate"}, "", false},
      {"name -modern", {"name", "-modern", "-nodate"}, "", false},
      {"sort", {"sort", "-nodate", dest}, "1 saved, 0 skipped, 0 failed\n", true},
      {"sort -modern", {"sort", "-nodate", "-modern", dest},
       "1 saved, 0 already there, 0 skipped, 0 failed\n", true},
  };
  for (const Case& c : cases) {
    // Each run into an empty DEST, so that each sort makes the one copy.
    auto run_in_child = [&](const std::string& file, long* peak_kib) {
      RemoveTree(dest + "\\");
      EXPECT_TRUE(PlatformMakeDirectory(dest.c_str())) << c.what;
      std::vector<std::string> args = c.args;
      args.push_back(file);
      return RunInChildWith(args, peak_kib);
    };
    long plain_peak = 0;
    long big_peak = 0;
    const CliRun on_plain = run_in_child(plain, &plain_peak);
    EXPECT_EQ(0, on_plain.code) << c.what << on_plain.err;
    EXPECT_EQ(plain + "\t1v1\\Alpha(h) vs Beta(u).w3g\n", on_plain.out) << c.what;
    const CliRun on_big = run_in_child(big, &big_peak);
    EXPECT_EQ(0, on_big.code) << c.what << on_big.err;
    EXPECT_EQ(big + "\t1v1\\Alpha(h) vs Beta(u).w3g\n", on_big.out) << c.what;
    EXPECT_EQ(c.summary, on_big.err) << c.what;
    if (c.copies) {
      EXPECT_EQ(std::vector<std::string>{"1v1\\Alpha(h) vs Beta(u).w3g"}, ListFiles(dest + "\\"))
          << c.what;
      EXPECT_TRUE(SameFileBytes(big, copy)) << c.what;
    } else {
      EXPECT_EQ(std::vector<std::string>{}, ListFiles(dest + "\\")) << c.what;
    }

    ASSERT_GT(plain_peak, 0) << c.what;
    EXPECT_LT(big_peak - plain_peak, kResidentMarginKiB)
        << c.what << ": peak " << plain_peak << " KiB on the plain replay, " << big_peak
        << " KiB on it at " << (kBigReplayFileSize >> 20) << " MiB";
  }
}
#endif

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
  const std::string early =
      Put({"Autosaved", "Multiplayer", "Replay_2024_05_12_2039.w3g"}, AlphaBeta());
  const std::string ladder =
      Put({"Autosaved", "Multiplayer", "w3c-20250922152242.w3g"}, CleoDave());
  Put({"Autosaved", "TempReplay.w3g"}, AlphaBeta());
  // As if filed by an earlier run under another name: the same bytes anywhere in
  // the sorted subfolders are already there.
  Put({"Custom", "stray.w3g"}, CleoDave());
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
      {ladder, "- already there: Custom\\stray.w3g", "Custom\\stray.w3g"},
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
      {"first", first, "4 saved, 3 already there, 0 skipped, 0 failed"},
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
  // The sources stand as they were; the four copies are all that was added.
  std::vector<std::string> after = ListFiles(folder_);
  EXPECT_EQ(sources.size() + 4, after.size());
  for (const std::string& source : sources) {
    EXPECT_EQ(1, std::count(after.begin(), after.end(), source)) << source;
  }
  EXPECT_EQ(changed, Read("old\\Replay_2024_05_12_2039.w3g"));
}

// The NetEase platform's files among a player's replays: a container is sorted by
// the replay it holds, a replay followed by the platform's data as the replay it
// is, each copy keeping its bytes and its ".nwg" (only the platform's client plays
// it); a sort run again finds them there. Anything else named ".nwg" gets a line
// saying why it is not sorted, and a container named ".w3g" a ".w3g" copy.
TEST_F(CliSortFolders, NetEaseFilesKeepTheirExtension) {
  const Bytes contained = InNetEaseContainer(AlphaBeta());
  Bytes followed = CleoDave();
  const Bytes tail = PlatformDataTail();
  followed.insert(followed.end(), tail.begin(), tail.end());
  const Bytes renamed = InNetEaseContainer(LastByteChanged(AlphaBeta(), 5));
  Bytes empty = contained;
  empty[0x0C] += 1;  // the replay is not where the container says
  const std::string a = Put({"NetEase", "a.nwg"}, contained);
  const std::string b = Put({"NetEase", "b.NWG"}, followed);
  const std::string c = Put({"NetEase", "c.w3g"}, renamed);
  const std::string d = Put({"NetEase", "d.nwg"}, empty);
  const std::string e = Put({"NetEase", "e.nwg"}, Bytes(6000, 'n'));
  Put({"NetEase", "f.nwgx"}, contained);  // not a replay's name: not walked
  for (const char* name : {"a.nwg", "b.NWG", "c.w3g", "d.nwg", "e.nwg"}) {
    ASSERT_TRUE(SetWriteTime(folder_ + "NetEase\\" + name, kDecember24th2021));
  }
  const std::string ab = "1v1\\[BC1224]Alpha(h) vs Beta(u)";
  const std::string cd = "1v1\\[BC1224]Cleo(o) vs Dave(e)";
  const std::string not_held = "\t- a NetEase container without a replay where it says\n";
  CliRun run = RunWith({"sort", "-modern", folder_, folder_});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(a + "\t" + ab + ".nwg\n" + b + "\t" + cd + ".nwg\n" + c + "\t" + ab + ".w3g\n" + d +
                not_held + e + "\t- not a replay\n",
            run.out);
  EXPECT_EQ("3 saved, 0 already there, 0 skipped, 2 failed\n", run.err);
  EXPECT_EQ(contained, Read(ab + ".nwg"));
  EXPECT_EQ(followed, Read(cd + ".nwg"));
  EXPECT_EQ(renamed, Read(ab + ".w3g"));

  run = RunWith({"sort", "-modern", folder_, folder_});
  EXPECT_EQ(a + "\t- already there: " + ab + ".nwg\n" + b + "\t- already there: " + cd +
                ".nwg\n" + c + "\t- already there: " + ab + ".w3g\n" + d + not_held + e +
                "\t- not a replay\n",
            run.out);

  // Without -modern a file is named as always: a ".w3g" copy, by the fixed distances,
  // which find no replay at offset 76 of a container.
  const std::string plain = MakeTempFolder();
  ASSERT_FALSE(plain.empty());
  run = RunWith({"sort", "-nodate", plain, b, a});
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(b + "\t1v1\\Cleo(o) vs Dave(e).w3g\n" + a + "\t- not a ladder game\n", run.out);
  RemoveTree(plain);
}

// A replay sorted once is there whatever date tag a later run would give it: its
// last-write time changed, another time zone, or the copy renamed by hand. The
// bytes anywhere in DEST's subfolders count; a replay that differs gets its copy.
TEST_F(CliSortFolders, ASortedReplayIsNeverFiledAgainUnderAnotherName) {
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  const std::string game = Put({"src", "game.w3g"}, AlphaBeta());
  const std::string other = Put({"src", "other.w3g"}, LastByteChanged(AlphaBeta(), 9));
  ASSERT_TRUE(SetWriteTime(folder_ + "src\\game.w3g", kJuly30th2022));
  ASSERT_TRUE(SetWriteTime(folder_ + "src\\other.w3g", kJuly30th2022));
  CliRun run = RunWith({"sort", "-modern", dest, game});
  ASSERT_EQ(game + "\t1v1\\[BC0730]Alpha(h) vs Beta(u).w3g\n", run.out);
  ASSERT_EQ(0, rename((folder_ + "dest/1v1/[BC0730]Alpha(h) vs Beta(u).w3g").c_str(),
                      (folder_ + "dest/1v1/kept by hand.w3g").c_str()));

  const struct Change {
    const char* what;
    int64_t written;
  } changes[] = {{"a later last-write time", kDecember24th2021},
                 {"another day yet", kJuly30th2022 + 86400 * 40}};
  for (const Change& c : changes) {
    ASSERT_TRUE(SetWriteTime(folder_ + "src\\game.w3g", c.written));
    for (bool dry : {true, false}) {
      std::vector<std::string> args = {"sort", "-modern", dest, game};
      if (dry) args.insert(args.begin() + 1, "--dry-run");
      run = RunWith(args);
      EXPECT_EQ(0, run.code) << c.what;
      EXPECT_EQ(game + "\t- already there: 1v1\\kept by hand.w3g\n", run.out) << c.what;
    }
  }
  // A replay of the same length that differs is no copy of it.
  run = RunWith({"sort", "-modern", dest, other});
  EXPECT_EQ(other + "\t1v1\\[BC0730]Alpha(h) vs Beta(u).w3g\n", run.out);
  EXPECT_EQ((std::vector<std::string>{"1v1\\[BC0730]Alpha(h) vs Beta(u).w3g",
                                      "1v1\\kept by hand.w3g"}),
            ListFiles(dest + "\\"));
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
  expected += Shown({"src", "deep", "back"}) +
              "\t- a link loop: it leads back to a folder above it\n";
  ++failed;
#endif
  expected += locked + "\t- cannot be read: the folder could not be listed\n" +
              folder_ +
              "\t- holds FOLDER, where the copies go (sort FOLDER FOLDER sorts in place)\n" +
              dest + kSeparator + "1v1\t- lies in FOLDER's sorted copies\n" +
              in_sorted + "\t- lies in FOLDER's sorted copies\n";

  CliRun run = RunWith({"sort", "-modern", "-nodate", dest, missing, folder_ + "src", folder_,
                        dest + kSeparator + "1v1", in_sorted});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(expected, run.out);
  EXPECT_EQ("1 saved, 0 already there, 0 skipped, " + std::to_string(failed) + " failed\n",
            run.err);
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

// Every replay a walk finds gets its line, those whose paths are too long for the
// program's buffers too: a replay, and a folder that cannot be walked for it, each
// with the reason, counted as failed. Nothing is left out in silence.
TEST_F(CliSortFolders, PathsTooLongForTheBuffersGetTheirLine) {
  const std::string dest = folder_ + "dest";
  ASSERT_TRUE(PlatformMakeDirectory(dest.c_str()));
  const std::string good = Put({"src", "a.w3g"}, AlphaBeta());
  const std::string root = folder_.substr(0, folder_.size() - 1) + "/src";
  std::string deep = root;
  const std::string segment(200, 'd');
  while (deep.size() < 800) {
    deep += "/" + segment;
    ASSERT_EQ(0, mkdir(deep.c_str(), 0777)) << deep;
  }
  // A replay whose name takes its path past the buffers, and a folder that does.
  const std::string long_name = deep + "/" + std::string(240, 'r') + ".w3g";
  WriteLinuxFile(long_name, CleoDave());
  const std::string long_folder = deep + "/" + std::string(240, 'f');
  ASSERT_EQ(0, mkdir(long_folder.c_str(), 0777));
  WriteLinuxFile(long_folder + "/inside.w3g", CleoDave());
  ASSERT_GT(long_name.size(), 1023u);

  CliRun run = RunWith({"sort", "-modern", "-nodate", dest, root});
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(good + "\t1v1\\Alpha(h) vs Beta(u).w3g\n" +
                long_folder + "\t- cannot be read: its path is too long\n" +
                long_name + "\t- cannot be read: its path is too long\n",
            run.out);
  EXPECT_EQ("1 saved, 0 already there, 0 skipped, 2 failed\n", run.err);
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


#ifndef _WIN32
std::string ListFilesJoined(const std::string& folder) {
  std::string joined;
  for (const std::string& file : ListFiles(folder)) joined += file + "\n";
  return joined;
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
