// sort's next free name: from the names its listing of FOLDER's subfolders found
// and those it has handed out, with no probe for each name taken, and still never
// over a file another program wrote there meanwhile.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_test_support.h"
#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char kStem[] = "1v1\\Alpha(h) vs Beta(u)";

// Name i of the Alpha-Beta 1v1 below its subfolder: "...u).w3g", "...u)[1].w3g", ...
std::string Candidate(int i) {
  return std::string(kStem) + (i == 0 ? "" : "[" + std::to_string(i) + "]") + ".w3g";
}

// What another program leaves under a name: its own bytes, which no copy may replace.
const Bytes& Theirs() {
  static const Bytes bytes = {'t', 'h', 'e', 'i', 'r', 's'};
  return bytes;
}

// The sort modes, each with its dry run, over the same replays.
const std::vector<std::vector<std::string>> kModes = {
    {"-nodate"}, {"-nodate", "--dry-run"}, {"-modern", "-nodate"},
    {"-modern", "-nodate", "--dry-run"}};

std::string Shown(const std::vector<std::string>& mode) {
  std::string text;
  for (const std::string& word : mode) text += word + " ";
  return text;
}

class SortNames : public ReplayFolderTest {
 protected:
  void SetUp() override {
    ReplayFolderTest::SetUp();
    // Three replays of one name, each of other bytes so that none is "already there".
    for (int i = 0; i < 3; ++i) {
      const std::string path = folder_ + "in" + std::to_string(i) + ".w3g";
      const Bytes bytes = LastByteChanged(AlphaBeta(), static_cast<unsigned char>(i));
      ASSERT_TRUE(WriteFileBytes(path, bytes));
      sources_.push_back(path);
    }
  }
  // A fresh FOLDER for one run, with its 1v1 subfolder.
  std::string NewDestination() {
    const std::string dest = folder_ + "dest" + std::to_string(++destinations_) + "/";
    EXPECT_TRUE(PlatformMakeDirectory(dest.c_str()));
    EXPECT_TRUE(PlatformMakeDirectory((dest + "1v1").c_str()));
    return dest;
  }
  // sort mode... dest sources..., expecting each source under the name given.
  void ExpectSorted(const std::vector<std::string>& mode, const std::string& dest,
                    const std::vector<int>& counters, const std::string& what) {
    std::vector<std::string> args = {"sort"};
    args.insert(args.end(), mode.begin(), mode.end());
    args.push_back(dest);
    args.insert(args.end(), sources_.begin(), sources_.end());
    const CliRun run = RunWith(args);
    EXPECT_EQ(0, run.code) << what << run.err;
    std::string expected;
    for (size_t i = 0; i < sources_.size(); ++i) {
      expected += sources_[i] + "\t" + Candidate(counters[i]) + "\n";
    }
    EXPECT_EQ(expected, run.out) << what;
    const bool dry = Contains(Shown(mode), "--dry-run");
    for (size_t i = 0; i < sources_.size() && !dry; ++i) {
      Bytes copy;
      EXPECT_TRUE(ReadFileBytes(dest + Candidate(counters[i]), &copy)) << what;
      EXPECT_EQ(LastByteChanged(AlphaBeta(), static_cast<unsigned char>(i)), copy) << what;
    }
  }

  std::vector<std::string> sources_;
  int destinations_ = 0;
};

// Names taken before the run: files, a folder named like a copy, and (on Linux) a
// link to nothing, which a lookup does not find but a create refuses; the copies
// take the free names in order, and what was there is left as it was.
TEST_F(SortNames, NamesTakenBeforeTheSort) {
  enum Kind { kFile, kFolder, kDanglingLink };
  struct Taken {
    int counter;
    Kind kind;
  };
  struct Case {
    const char* what;
    std::vector<Taken> taken;
    std::vector<int> counters;  // of the three copies
  };
  std::vector<Case> cases = {
      {"nothing taken", {}, {0, 1, 2}},
      {"the plain name and [1] and [3]", {{0, kFile}, {1, kFile}, {3, kFile}}, {2, 4, 5}},
      {"[1] and [2], the plain name free", {{1, kFile}, {2, kFile}}, {0, 3, 4}},
      {"a folder under the plain name, a file under [2]", {{0, kFolder}, {2, kFile}}, {1, 3, 4}},
  };
#ifndef _WIN32
  cases.push_back({"a link to nothing under the plain name and [1]",
                   {{0, kDanglingLink}, {1, kDanglingLink}, {3, kFile}},
                   {2, 4, 5}});
#endif
  for (const std::vector<std::string>& mode : kModes) {
    for (const Case& c : cases) {
      const std::string what = Shown(mode) + c.what;
      const std::string dest = NewDestination();
      for (const Taken& t : c.taken) {
        const std::string path = dest + Candidate(t.counter);
        if (t.kind == kFile) {
          ASSERT_TRUE(WriteFileBytes(path, Theirs())) << what;
        } else if (t.kind == kFolder) {
          ASSERT_TRUE(PlatformMakeDirectory(path.c_str())) << what;
        }
#ifndef _WIN32
        if (t.kind == kDanglingLink) {
          std::string native = path;
          for (char& ch : native) ch = ch == '\\' ? '/' : ch;
          ASSERT_EQ(0, symlink((dest + "gone.w3g").c_str(), native.c_str())) << what;
        }
#endif
      }
      ExpectSorted(mode, dest, c.counters, what);
      for (const Taken& t : c.taken) {
        Bytes bytes;
        if (t.kind == kFile) {
          EXPECT_TRUE(ReadFileBytes(dest + Candidate(t.counter), &bytes)) << what;
          EXPECT_EQ(Theirs(), bytes) << what << ": " << Candidate(t.counter) << " replaced";
        } else if (t.kind == kFolder) {
          EXPECT_EQ(kPlatformFolder, PlatformKindOf((dest + Candidate(t.counter)).c_str())) << what;
        }
      }
    }
  }
}

// Windows names ignore ASCII case: a copy named otherwise only in case is the
// same file there, and taken; on Linux it is another name.
TEST_F(SortNames, NamesThatDifferOnlyInCase) {
  for (const std::vector<std::string>& mode : kModes) {
    const std::string dest = NewDestination();
    ASSERT_TRUE(WriteFileBytes(dest + "1v1\\ALPHA(H) VS BETA(U).W3G", Theirs()));
#ifdef _WIN32
    ExpectSorted(mode, dest, {1, 2, 3}, Shown(mode));
#else
    ExpectSorted(mode, dest, {0, 1, 2}, Shown(mode));
#endif
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(dest + "1v1\\ALPHA(H) VS BETA(U).W3G", &bytes));
    EXPECT_EQ(Theirs(), bytes) << Shown(mode);
  }
}

// Another program writes under a name after sort listed the subfolder and before
// sort creates its copy there: the copy takes the next free name, theirs stays.
TEST_F(SortNames, NamesTakenDuringTheSort) {
  struct Case {
    const char* what;
    int created_before;   // the name whose create the other program comes just before
    int theirs;           // the name it writes
    std::vector<int> counters;
  };
  const Case cases[] = {
      {"the very name sort is about to create", 1, 1, {0, 2, 3}},
      {"the plain name, at the first copy", 0, 0, {1, 2, 3}},
      {"a name further on, while the first copy is made", 0, 2, {0, 1, 3}},
      {"the last copy's name", 2, 2, {0, 1, 3}},
  };
  for (const std::vector<std::string>& mode : {kModes[0], kModes[2]}) {
    for (const Case& c : cases) {
      const std::string what = Shown(mode) + c.what;
      const std::string dest = NewDestination();
      const std::string theirs = dest + Candidate(c.theirs);
      DuringCall(kPlatformCallCreateNew, dest + Candidate(c.created_before),
                 [theirs] { WriteFileBytes(theirs, Theirs()); });
      ExpectSorted(mode, dest, c.counters, what);
      Bytes bytes;
      EXPECT_TRUE(ReadFileBytes(theirs, &bytes)) << what;
      EXPECT_EQ(Theirs(), bytes) << what << ": their file was replaced";
      ClearFaults();
    }
  }
}

// A subfolder that cannot be listed leaves its names to be looked up one by one,
// as the tray program does: the same names come out.
TEST_F(SortNames, ASubfolderThatCannotBeListedIsProbed) {
  for (const std::vector<std::string>& mode : {kModes[0], kModes[1]}) {
    const std::string dest = NewDestination();
    ASSERT_TRUE(WriteFileBytes(dest + Candidate(0), Theirs()));
    ASSERT_TRUE(WriteFileBytes(dest + Candidate(2), Theirs()));
    InjectFault(kPlatformCallList, 1, dest + "1v1\\");
    InjectFault(kPlatformCallList, 1, dest + "1v1");
    ExpectSorted(mode, dest, {1, 3, 4}, Shown(mode));
    ClearFaults();
  }
}

// The cost of a name does not grow with the names taken before it: many replays
// of one name make no more seam calls than as many of as many names, where one
// probe per taken name would add half the square of their number.
TEST_F(SortNames, OneNameForManyReplaysCostsNoMoreThanManyNames) {
  const int count = 60;
  std::vector<std::string> same, distinct;
  for (int i = 0; i < count; ++i) {
    const std::string one = folder_ + "same" + std::to_string(i) + ".w3g";
    ASSERT_TRUE(WriteFileBytes(one, LastByteChanged(AlphaBeta(), static_cast<unsigned char>(i))));
    same.push_back(one);
    const std::string other = folder_ + "distinct" + std::to_string(i) + ".w3g";
    ASSERT_TRUE(WriteFileBytes(
        other, BuildReplay(LadderReplay({{"Alpha" + std::to_string(i), 1}, {"Beta", 8}}))));
    distinct.push_back(other);
  }
  for (const std::vector<std::string>& mode : kModes) {
    uint64_t calls[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      std::vector<std::string> args = {"sort"};
      args.insert(args.end(), mode.begin(), mode.end());
      args.push_back(NewDestination());
      const std::vector<std::string>& files = k == 0 ? same : distinct;
      args.insert(args.end(), files.begin(), files.end());
      const uint64_t before = PlatformCallCount;
      const CliRun run = RunWith(args);
      calls[k] = PlatformCallCount - before;
      EXPECT_EQ(0, run.code) << Shown(mode) << run.err;
      // Every replay got a line with a name: none failed or was skipped.
      size_t named = 0;
      for (size_t at = 0; (at = run.out.find("\t1v1", at)) != std::string::npos; ++at) ++named;
      EXPECT_EQ(static_cast<size_t>(count), named) << Shown(mode) << run.out;
    }
    EXPECT_LE(calls[0], calls[1] + 10) << Shown(mode) << ": " << calls[0] << " seam calls for "
                                       << count << " replays of one name, " << calls[1]
                                       << " for as many names";
  }
}

}  // namespace
