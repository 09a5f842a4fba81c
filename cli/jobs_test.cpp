// Reading on worker threads: the order the results are taken in, the bound on what
// is read ahead, stopping; and stats, report and info printing the very same bytes
// for one, two and seven workers over the real replays and over a set of copies,
// files that are no replay and files that cannot be read.
#include <stdio.h>
#include <string.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "cli/jobs.h"
#include "tests/real_replays.h"
#include "tests/test_support.h"

namespace {

// What a run of RunOrdered did, as its read and take saw it.
struct Trace {
  int slots = 0;
  int stop_after = -1;  // take returns false at this item
  std::vector<int> slot_item;  // by slot: the item read into it, -1 once taken
  std::vector<int> read_count;  // by item
  std::vector<int> taken;       // items in the order taken
  std::vector<int> workers_seen;
  std::atomic<int> in_flight{0};
  std::atomic<int> most_in_flight{0};
  std::atomic<int> overwritten{0};  // a slot read into before its item was taken
  std::mutex lock;
  int mismatches = 0;  // take found another item's result in its slot
};

void TraceRead(void* context, int worker, int item, int slot) {
  Trace* t = static_cast<Trace*>(context);
  const int now = ++t->in_flight;
  int seen = t->most_in_flight;
  while (now > seen && !t->most_in_flight.compare_exchange_weak(seen, now)) {
  }
  // Items finish out of order: every third one takes longer.
  if (item % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
  {
    std::lock_guard<std::mutex> hold(t->lock);
    if (t->slot_item[slot] != -1) ++t->overwritten;
    t->slot_item[slot] = item;
    ++t->read_count[item];
    t->workers_seen.push_back(worker);
  }
  --t->in_flight;
}

bool TraceTake(void* context, int item, int slot) {
  Trace* t = static_cast<Trace*>(context);
  std::lock_guard<std::mutex> hold(t->lock);
  if (t->slot_item[slot] != item) ++t->mismatches;
  t->slot_item[slot] = -1;
  t->taken.push_back(item);
  return item != t->stop_after;
}

TEST(Jobs, ResultsAreTakenInOrderEachReadOnceWithinTheSlots) {
  const struct Case {
    int count;
    int jobs;
    int stop_after;  // -1: none
  } cases[] = {
      {0, 1, -1}, {1, 1, -1}, {1, 7, -1}, {5, 1, -1}, {5, 2, -1},    {40, 2, -1},
      {40, 7, -1}, {3, 64, -1}, {40, 2, 9}, {40, 7, 0}, {40, 1, 4}, {40, 7, 39},
      {200, 2, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " items, " << c.jobs << " jobs, stop after "
                                    << c.stop_after);
    Trace trace;
    trace.slots = SlotsFor(c.jobs, c.count);
    trace.stop_after = c.stop_after;
    trace.slot_item.assign(static_cast<size_t>(trace.slots), -1);
    trace.read_count.assign(static_cast<size_t>(c.count), 0);
    const OrderedWork work = {c.count, c.jobs, &trace, TraceRead, TraceTake};
    const int taken = RunOrdered(work);
    const int expected = c.stop_after >= 0 ? c.stop_after + 1 : c.count;
    EXPECT_EQ(expected, taken);
    std::vector<int> in_order(static_cast<size_t>(expected));
    for (int i = 0; i < expected; ++i) in_order[static_cast<size_t>(i)] = i;
    EXPECT_EQ(in_order, trace.taken);
    EXPECT_EQ(0, trace.mismatches);
    EXPECT_EQ(0, trace.overwritten.load());
    const int workers = c.jobs < c.count ? c.jobs : (c.count > 0 ? c.count : 1);
    EXPECT_LE(trace.most_in_flight.load(), workers);
    for (int worker : trace.workers_seen) {
      EXPECT_GE(worker, 0);
      EXPECT_LT(worker, workers);
    }
    for (int i = 0; i < c.count; ++i) {
      // Every item taken was read once; past a stop, at most the slots ahead were.
      if (i < expected) {
        EXPECT_EQ(1, trace.read_count[static_cast<size_t>(i)]) << "item " << i;
      } else {
        EXPECT_LE(trace.read_count[static_cast<size_t>(i)], 1) << "item " << i;
        if (i >= expected + trace.slots) {
          EXPECT_EQ(0, trace.read_count[static_cast<size_t>(i)]) << "item " << i;
        }
      }
    }
  }
}

// With more than one job the reads really overlap: the first read waits until a
// second one is under way (for ten seconds at most, so that a reading on one
// thread fails rather than hangs).
void ReadWaitingForAnother(void* context, int worker, int item, int slot) {
  Trace* t = static_cast<Trace*>(context);
  if (item == 0) {
    ++t->in_flight;
    for (int waited = 0; t->in_flight.load() < 2 && waited < 10000; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int seen = t->most_in_flight;
    while (seen < t->in_flight.load() &&
           !t->most_in_flight.compare_exchange_weak(seen, t->in_flight.load())) {
    }
    --t->in_flight;
    std::lock_guard<std::mutex> hold(t->lock);
    t->slot_item[slot] = item;
    ++t->read_count[item];
    t->workers_seen.push_back(worker);
    return;
  }
  TraceRead(context, worker, item, slot);
}

TEST(Jobs, TwoWorkersReadSideBySide) {
  Trace trace;
  const int count = 12;
  trace.slots = SlotsFor(2, count);
  trace.slot_item.assign(static_cast<size_t>(trace.slots), -1);
  trace.read_count.assign(static_cast<size_t>(count), 0);
  const OrderedWork work = {count, 2, &trace, ReadWaitingForAnother, TraceTake};
  EXPECT_EQ(count, RunOrdered(work));
  EXPECT_EQ(2, trace.most_in_flight.load());
  EXPECT_EQ(0, trace.mismatches);
  ASSERT_EQ(static_cast<size_t>(count), trace.workers_seen.size());
  bool both = false;
  for (int worker : trace.workers_seen) both = both || worker != trace.workers_seen[0];
  EXPECT_TRUE(both) << "every item was read by one worker";
}

TEST(Jobs, TheNumberAfterJobs) {
  const struct {
    const char* text;
    int jobs;
  } cases[] = {
      {"1", 1},  {"2", 2},   {"7", 7},  {"64", 64}, {"007", 7}, {"65", 0},  {"0", 0},
      {"-1", 0}, {"two", 0}, {"", 0},   {"2x", 0},  {" 2", 0},  {"+2", 0},  {"99999999999", 0},
      {nullptr, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.jobs, ParseJobs(c.text)) << (c.text != nullptr ? c.text : "(none)");
  }
  EXPECT_GE(DefaultJobs(), 1);
  EXPECT_LE(DefaultJobs(), static_cast<int>(kMaxJobs));
  // One slot for one worker; a few for each of several; never more workers than items.
  EXPECT_EQ(1, SlotsFor(1, 100));
  EXPECT_EQ(1, SlotsFor(7, 1));
  EXPECT_EQ(2 * kSlotsPerJob, SlotsFor(2, 100));
  EXPECT_EQ(3 * kSlotsPerJob, SlotsFor(7, 3));
}

// The separator the walk joins a folder and a name with, as this system spells it.
#ifdef _WIN32
const char kSeparator[] = "\\";
#else
const char kSeparator[] = "/";
#endif

std::string Slashed(std::string path) {
#ifndef _WIN32
  for (char& c : path) c = c == '\\' ? '/' : c;
#endif
  return path;
}

// A set of replays as players' folders hold them: the real ones, copies of some
// (in a subfolder and renamed: duplicates), the two saves of one game, files that
// are no replay or are cut, an empty one, a folder named like a replay.
class SameForAnyJobs : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(RealReplayFolder().empty());
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    folder_ = Slashed(folder_);
    set_ = folder_ + "set/";
    ASSERT_TRUE(MakeFolders(folder_, "set\\copies\\deeper\\"));
    ASSERT_TRUE(MakeFolders(folder_, "set\\folder.w3g\\"));
    ASSERT_TRUE(MakeFolders(folder_, "pages\\"));
    const char* const kept[] = {"126-999.w3g",
                                "130-standard_1304.w3g",
                                "131-action0x7a.w3g",
                                "132-buildingwin_anxietyperspective.w3g",
                                "132-buildingwin_helpstoneperspective.w3g",
                                "132-reforged1.w3g",
                                "132-reforged_release.w3g",
                                "200-2.0.2-Melee.w3g"};
    for (const char* name : kept) {
      Bytes bytes;
      ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + name, &bytes)) << name;
      ASSERT_TRUE(WriteFileBytes(set_ + name, bytes)) << name;
      files_.push_back(set_ + name);
    }
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(set_ + "132-reforged_release.w3g", &bytes));
    ASSERT_TRUE(WriteFileBytes(set_ + "copies/LastReplay.w3g", bytes));
    ASSERT_TRUE(WriteFileBytes(set_ + "copies/deeper/Replay_2024_05_12_2039.w3g", bytes));
    ASSERT_TRUE(WriteFileBytes(set_ + "folder.w3g/again.w3g", bytes));
    const Bytes cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
    ASSERT_TRUE(WriteFileBytes(set_ + "copies/cut.w3g", cut));
    ASSERT_TRUE(ReadWholeFile(set_ + "130-standard_1304.w3g", &bytes));
    ASSERT_TRUE(WriteFileBytes(set_ + "copies/renamed.w3g", bytes));
    const std::string notes = "not a replay at all, only notes";
    ASSERT_TRUE(WriteFileBytes(set_ + "notes.w3g", Bytes(notes.begin(), notes.end())));
    ASSERT_TRUE(WriteFileBytes(set_ + "empty.w3g", Bytes()));
    for (const char* name : {"copies/cut.w3g", "copies/renamed.w3g", "notes.w3g", "empty.w3g",
                             "folder.w3g", "missing.w3g"}) {
      files_.push_back(set_ + name);
    }
#ifndef _WIN32
    // Named like a replay, never opened: reading it would wait for a writer.
    ASSERT_EQ(0, mkfifo((set_ + "pipe.w3g").c_str(), 0666));
    files_.push_back(set_ + "pipe.w3g");
#endif
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }

  // Runs args with --jobs 1, 2 and 7 and expects the same code, output, error and
  // page (when one is written) each time. Returns the run with one job.
  CliRun Same(const std::vector<std::string>& args, const std::string& page = "") {
    CliRun one;
    std::string one_page;
    for (const char* jobs : {"1", "2", "7"}) {
      std::vector<std::string> with = args;
      with.insert(with.begin() + 1, {"--jobs", jobs});
      const CliRun run = RunWith(with);
      Bytes written;
      if (!page.empty()) {
        EXPECT_TRUE(ReadFileBytes(page, &written)) << jobs << " jobs";
      }
      const std::string page_text(written.begin(), written.end());
      if (jobs[0] == '1') {
        one = run;
        one_page = page_text;
        continue;
      }
      EXPECT_EQ(one.code, run.code) << jobs << " jobs";
      EXPECT_EQ(one.out, run.out) << jobs << " jobs";
      EXPECT_EQ(one.err, run.err) << jobs << " jobs";
      EXPECT_TRUE(one_page == page_text) << jobs << " jobs: the page differs";
      if (!page.empty()) RemoveFile(page);
    }
    return one;
  }

  std::string folder_;
  std::string set_;
  std::vector<std::string> files_;
};

TEST_F(SameForAnyJobs, StatsTextJsonAndVerboseOverTheRealReplays) {
  const std::string replays = Slashed(RealReplayFolder());
  CliRun run = Same({"stats", "--verbose", replays});
  EXPECT_EQ(0, run.code);
  EXPECT_TRUE(Contains(run.out, "Record of anXieTy")) << run.out;
  EXPECT_TRUE(Contains(run.err, "\t- a copy of a game already counted\n")) << run.err;
  run = Same({"stats", "--json", "-modern", "--verbose", replays});
  Json record;
  ASSERT_TRUE(ParseJson(run.out, &record)) << run.out;
  EXPECT_GT(record["games"].items.size(), 1u);
}

TEST_F(SameForAnyJobs, StatsOverCopiesAndFilesThatGiveNoGame) {
  CliRun run = Same({"stats", "--verbose", set_, set_ + "missing.w3g", set_ + "notes.w3g"});
  EXPECT_EQ(0, run.code);
  // What the set holds, so that the runs compared had it all to get in order.
  EXPECT_TRUE(Contains(run.out, "duplicates set aside")) << run.out;
  EXPECT_TRUE(Contains(run.err, set_ + "notes.w3g\t- not a replay\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, set_ + "missing.w3g\t- no such file\n")) << run.err;
  const std::string copy = set_ + "copies" + kSeparator + "LastReplay.w3g";
  EXPECT_TRUE(Contains(run.err, copy + "\t- a copy of a game")) << run.err;
  run = Same({"stats", "--json", "--verbose", "--player", "anXieTy", set_});
  Json record;
  ASSERT_TRUE(ParseJson(run.out, &record)) << run.out;
  // The first found in name order stands for the game: never a copy read sooner.
  for (const Json& game : record["games"].items) {
    EXPECT_FALSE(Contains(game["path"].text, "copies")) << game["path"].text;
    EXPECT_FALSE(Contains(game["path"].text, "folder.w3g")) << game["path"].text;
  }
  // The other save of one game, three copies of reforged_release, one renamed copy.
  EXPECT_EQ(5, static_cast<int>(record["duplicates"].number));
}

TEST_F(SameForAnyJobs, ReportPage) {
  const std::string page = folder_ + "pages/page.html";
  for (const std::string& operand : {Slashed(RealReplayFolder()), set_}) {
    const CliRun run = Same({"report", "-modern", "--verbose", "-o", page, operand}, page);
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(page + "\n", run.out);
  }
}

TEST_F(SameForAnyJobs, InfoTextAndJson) {
  std::vector<std::string> args = {"info", "-modern"};
  args.insert(args.end(), files_.begin(), files_.end());
  CliRun run = Same(args);
  EXPECT_EQ(1, run.code);
  EXPECT_TRUE(Contains(run.out, set_ + "missing.w3g\t- no such file\n")) << run.out;
  args.insert(args.begin() + 1, "--json");
  run = Same(args);
  EXPECT_EQ(1, run.code);
  size_t lines = 0;
  for (char c : run.out) lines += c == '\n' ? 1 : 0;
  EXPECT_EQ(files_.size(), lines);
}

#ifndef _WIN32
// On a terminal the progress line counts the files as they are taken, and is wiped
// before each --verbose line: the terminal is shown the same for any number of jobs.
TEST_F(SameForAnyJobs, ProgressOnATerminal) {
  CliRun one;
  for (const char* jobs : {"1", "2", "7"}) {
    const CliRun run = RunOnTerminal({"stats", "--verbose", "--jobs", jobs, set_});
    EXPECT_EQ(0, run.code) << jobs;
    if (jobs[0] == '1') {
      one = run;
      EXPECT_TRUE(Contains(run.err, "\rreading 1 of ")) << run.err;
      EXPECT_TRUE(Contains(run.err, "\r" + set_ + "notes.w3g\t- not a replay")) << run.err;
      continue;
    }
    EXPECT_EQ(one.err, run.err) << jobs << " jobs";
    EXPECT_EQ(one.out, run.out) << jobs << " jobs";
  }
}
#endif

TEST(JobsUsage, MistakesExitWithTwo) {
  for (const char* command : {"stats", "report", "info"}) {
    for (const std::vector<std::string>& jobs :
         std::vector<std::vector<std::string>>{{"--jobs", "0"},
                                               {"--jobs", "-2"},
                                               {"--jobs", "two"},
                                               {"--jobs", ""},
                                               {"--jobs", "65"},
                                               {"--jobs"}}) {
      std::vector<std::string> args = {command, "x.w3g"};
      args.insert(args.end(), jobs.begin(), jobs.end());
      const CliRun run = RunWith(args);
      const std::string shown = std::string(command) + " " + jobs.back();
      EXPECT_EQ(2, run.code) << shown;
      EXPECT_TRUE(Contains(run.err, "--jobs needs a whole number from 1 to 64")) << shown;
      EXPECT_TRUE(Contains(run.err, std::string("usage: brindlecap-cli ") + command)) << shown;
      EXPECT_EQ("", run.out) << shown;
    }
  }
}

// What the statistics window learns: each folder as the walk enters it, then each
// file as it is counted, in the walk's order whatever the number of workers.
struct Told {
  std::vector<std::string> folders;
  std::vector<int> found_while_walking;
  std::vector<std::string> files;
  std::vector<int> read;
  std::vector<int> found;
  int stop_at = -1;  // asks to stop once this many files are read
  std::atomic<bool> stop{false};
};

void ToldWalking(void* context, int found, const char* folder) {
  Told* told = static_cast<Told*>(context);
  told->folders.push_back(folder);
  told->found_while_walking.push_back(found);
}

void ToldReading(void* context, int read, int found, const char* file) {
  Told* told = static_cast<Told*>(context);
  told->files.push_back(file != nullptr ? file : "");
  told->read.push_back(read);
  told->found.push_back(found);
  if (read == told->stop_at) told->stop = true;
}

TEST_F(SameForAnyJobs, ProgressComesInTheWalksOrder) {
  std::vector<std::string> one_files;
  for (const char* jobs : {"1", "2", "7"}) {
    Told told;
    const CliProgress progress = {&told, ToldWalking, ToldReading, &told.stop};
    const CliRun run = RunWith({"stats", "--jobs", jobs, set_}, &progress);
    EXPECT_EQ(0, run.code) << run.err;
    ASSERT_GE(told.folders.size(), 4u) << jobs;
    EXPECT_EQ(set_, told.folders[0]);
    for (size_t i = 1; i < told.found_while_walking.size(); ++i) {
      EXPECT_GE(told.found_while_walking[i], told.found_while_walking[i - 1]);
    }
    ASSERT_FALSE(told.read.empty());
    const int found = told.found[0];
    EXPECT_GT(found, 10);
    ASSERT_EQ(static_cast<size_t>(found) + 1, told.read.size()) << jobs;
    for (int i = 0; i <= found; ++i) {
      EXPECT_EQ(i, told.read[static_cast<size_t>(i)]);
      EXPECT_EQ(found, told.found[static_cast<size_t>(i)]);
    }
    EXPECT_EQ("", told.files[0]);
    if (jobs[0] == '1') {
      one_files = told.files;
    } else {
      EXPECT_EQ(one_files, told.files) << jobs << " jobs";
    }
  }
}

// Stopped half way, stats prints nothing and report writes no page; stopped
// before the walk, nothing is walked or read at all.
TEST_F(SameForAnyJobs, StoppedRunsLeaveNothing) {
  const std::string page = folder_ + "pages/stopped.html";
  for (const char* jobs : {"1", "2", "7"}) {
    for (int stop_at : {0, 3}) {
      for (const std::vector<std::string>& args :
           std::vector<std::vector<std::string>>{{"report", "-o", page, set_},
                                                 {"stats", "--json", set_}}) {
        const std::string shown =
            args[0] + ", " + jobs + " jobs, stopped at " + std::to_string(stop_at);
        Told told;
        told.stop_at = stop_at;
        const CliProgress progress = {&told, ToldWalking, ToldReading, &told.stop};
        std::vector<std::string> with = args;
        with.insert(with.begin() + 1, {"--jobs", jobs});
        const CliRun run = RunWith(with, &progress);
        EXPECT_EQ(kCliStopped, run.code) << shown;
        EXPECT_EQ("", run.out) << shown;
        Bytes bytes;
        EXPECT_FALSE(ReadFileBytes(page, &bytes)) << shown << ": a page was written";
        // Nothing is counted once the stop is seen.
        EXPECT_EQ(static_cast<size_t>(stop_at) + 1, told.read.size()) << shown;
      }
    }
    Told before;
    before.stop = true;
    const CliProgress progress = {&before, ToldWalking, ToldReading, &before.stop};
    const CliRun run = RunWith({"report", "--jobs", jobs, "-o", page, set_}, &progress);
    EXPECT_EQ(kCliStopped, run.code);
    EXPECT_TRUE(before.folders.empty());
    EXPECT_TRUE(before.read.empty());
  }
}

}  // namespace
