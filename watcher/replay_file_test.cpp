#include "watcher/replay_file.h"

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fault_injection.h"
#include "tests/replay_builder.h"
#include "tests/test_support.h"

namespace {

// Bytes that differ from place to place, so that a piece taken from the wrong
// offset shows.
Bytes Varied(size_t length, uint32_t seed) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<unsigned char>(seed >> 16);
  }
  return bytes;
}

uint64_t HashInPieces(const Bytes& bytes, size_t piece) {
  ReplayHasher hasher;
  StartReplayHash(&hasher);
  for (size_t at = 0; at < bytes.size(); at += piece) {
    const size_t n = bytes.size() - at < piece ? bytes.size() - at : piece;
    AddToReplayHash(&hasher, bytes.data() + at, n);
  }
  return FinishReplayHash(&hasher);
}

// A digest fed in pieces is the digest of the whole, whatever the pieces; it is
// what lets a file on disk be recognised by a digest taken of one in memory.
TEST(ReplayHash, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  const size_t lengths[] = {0, 1, 31, 32, 33, 95, 1000, 70001};
  const size_t pieces[] = {1, 5, 31, 32, 33, 4096, 1 << 20};
  for (size_t length : lengths) {
    const Bytes bytes = Varied(length, static_cast<uint32_t>(length));
    const uint64_t whole = ReplayHash(bytes.data(), bytes.size());
    for (size_t piece : pieces) {
      EXPECT_EQ(whole, HashInPieces(bytes, piece)) << length << " bytes in pieces of " << piece;
    }
  }
}

// The digest tells apart what a sort must not take for one replay: a byte changed
// anywhere, or one more byte.
TEST(ReplayHash, TellsApartBytesThatDiffer) {
  const Bytes replay = Varied(70001, 7);
  const uint64_t digest = ReplayHash(replay.data(), replay.size());
  const size_t places[] = {0, 31, 32, 35000, 69968, 70000};
  for (size_t at : places) {
    Bytes other = replay;
    other[at] ^= 1;
    EXPECT_NE(digest, ReplayHash(other.data(), other.size())) << "byte " << at;
  }
  Bytes longer = replay;
  longer.push_back(0);
  EXPECT_NE(digest, ReplayHash(longer.data(), longer.size()));
}

// A reader of many files keeps one buffer: each head read into it whole, the buffer
// grown to the longest head and kept through the shorter ones and the failures,
// and a head cut at the limit however long the file.
TEST(HeadBufferTest, GrowsToTheLongestHeadAndKeepsIt) {
  const std::string folder = MakeTempFolder();
  ASSERT_FALSE(folder.empty());
  struct Step {
    const char* what;
    bool there;         // the file is there at all
    size_t length;      // of the file
    size_t limit;
    int short_reads;    // reads the seam cuts short
    ReadOutcome outcome;
    size_t held;        // of a head read
    size_t buffer;      // the buffer's size afterwards
  };
  const Step steps[] = {
      {"a first file", true, 5000, kReplayHeadLimit, 0, kReadDone, 5000, 5000},
      {"a longer one", true, 70001, kReplayHeadLimit, 0, kReadDone, 70001, 70001},
      {"a shorter one: the buffer stays", true, 1200, kReplayHeadLimit, 0, kReadDone, 1200, 70001},
      {"an empty one", true, 0, kReplayHeadLimit, 0, kReadDone, 0, 70001},
      {"a missing one", false, 0, kReplayHeadLimit, 0, kReadMissing, 0, 70001},
      {"one that comes short", true, 90000, kReplayHeadLimit, 1, kReadCameShort, 0, 90000},
      {"one past the limit: its head", true, 120000, 100000, 0, kReadDone, 100000, 100000},
  };
  HeadBuffer buffer = {nullptr, 0};
  int n = 0;
  for (const Step& step : steps) {
    const std::string path = folder + "file" + std::to_string(++n) + ".w3g";
    const Bytes bytes = Varied(step.length, static_cast<uint32_t>(n));
    if (step.there) {
      ASSERT_TRUE(WriteFileBytes(path, bytes)) << step.what;
    }
    InjectFault(kPlatformCallRead, step.short_reads, path);
    ReplayFile file;
    EXPECT_EQ(step.outcome, ReadFileHead(path.c_str(), &file, &buffer, step.limit)) << step.what;
    ClearFaults();
    EXPECT_EQ(step.buffer, buffer.size) << step.what;
    if (step.outcome != kReadDone) continue;
    EXPECT_EQ(buffer.bytes, file.head) << step.what;
    EXPECT_EQ(step.held, file.held) << step.what;
    EXPECT_EQ(bytes.size(), file.length) << step.what;
    EXPECT_TRUE(Bytes(file.head, file.head + file.held) ==
                Bytes(bytes.begin(), bytes.begin() + static_cast<long>(step.held)))
        << step.what;
  }
  free(buffer.bytes);
  RemoveTree(folder);
}

class ReplayPiecesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    ASSERT_FALSE(folder_.empty());
    path_ = folder_ + "big.w3g";
    ASSERT_TRUE(WriteFileBytes(path_, bytes_));
    ASSERT_TRUE(SetWriteTime(path_, kWritten));
  }
  void TearDown() override {
    ClearFaults();
    RemoveTree(folder_);
  }

  // Everything the pieces give, taking at most want bytes at a time, and whether
  // they close as the file that was read.
  bool TakeAll(const ReplayFile* file, size_t want, Bytes* taken) {
    ReplayPieces pieces;
    OpenReplayPieces(&pieces, file);
    const unsigned char* bytes = nullptr;
    for (size_t n; (n = TakeReplayBytes(&pieces, want, &bytes)) > 0;) {
      EXPECT_LE(n, want);
      taken->insert(taken->end(), bytes, bytes + n);
    }
    return CloseReplayPieces(&pieces);
  }

  static const int64_t kWritten = 1780000000;
  const Bytes bytes_ = Varied(3 * kReplayPiece + 1234, 42);
  std::string folder_;
  std::string path_;
};

// From memory when the head is all there is, else from disk; either way the
// file's bytes in order, in pieces no larger than asked for.
TEST_F(ReplayPiecesTest, GiveTheWholeFileWhateverIsHeld) {
  const size_t heads[] = {0, 1000, kReplayPiece, kReplayPiece + 1, bytes_.size() - 1,
                          bytes_.size(), kReplayHeadLimit};
  const size_t wants[] = {7, 4096, kReplayPiece, SIZE_MAX};
  for (size_t head : heads) {
    ReplayFile file;
    ASSERT_EQ(kReadDone, ReadFileHead(path_.c_str(), &file, head)) << head;
    const bool on_disk = head < bytes_.size();
    for (size_t want : wants) {
      bool opened = false;
      DuringCall(kPlatformCallOpenRead, path_, [&opened] { opened = true; });
      Bytes taken;
      EXPECT_TRUE(TakeAll(&file, want, &taken)) << head << " held, taking " << want;
      EXPECT_TRUE(taken == bytes_) << head << " held, taking " << want;
      EXPECT_EQ(on_disk, opened) << head << " held, taking " << want;
      ClearFaults();
    }
    uint64_t digest = 0;
    EXPECT_TRUE(HashReplayFile(&file, &digest)) << head;
    EXPECT_EQ(ReplayHash(bytes_.data(), bytes_.size()), digest) << head;
    ReleaseReplayFile(&file);
  }
}

// A file rewritten after its head was read is never passed off as the file that
// was read: whatever changed, the pieces close as changed. Changes come before the
// rest is opened, or while it is read.
TEST_F(ReplayPiecesTest, NoticeAFileChangedSinceItWasRead) {
  const std::string& path = path_;
  auto rewrite = [&path](std::function<void(Bytes*)> change, int64_t written) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(path, &bytes));
    change(&bytes);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    ASSERT_TRUE(SetWriteTime(path, written));
  };
  struct Case {
    const char* what;
    bool during_read;
    std::function<void()> change;
  } cases[] = {
      {"a byte of the head, same length and time", false,
       [&] { rewrite([](Bytes* b) { (*b)[10] ^= 1; }, kWritten); }},
      {"a byte of the head, while read", true,
       [&] { rewrite([](Bytes* b) { (*b)[999] ^= 1; }, kWritten); }},
      {"grown by a byte", true, [&] { rewrite([](Bytes* b) { b->push_back(0); }, kWritten); }},
      {"shrunk by a byte", true, [&] { rewrite([](Bytes* b) { b->pop_back(); }, kWritten); }},
      {"cut to its head", false,
       [&] { rewrite([](Bytes* b) { b->resize(1000); }, kWritten); }},
      {"its rest rewritten later", true,
       [&] { rewrite([](Bytes* b) { b->back() ^= 1; }, kWritten + 60); }},
      {"written again later, the same bytes", false, [&] { ASSERT_TRUE(SetWriteTime(path, kWritten + 1)); }},
      {"another file in its place", false,
       [&] { ASSERT_TRUE(WriteFileBytes(path, Varied(bytes_.size(), 43))); }},
      {"removed", false, [&] { ASSERT_TRUE(RemoveFile(path)); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(path_, bytes_));
    ASSERT_TRUE(SetWriteTime(path_, kWritten));
    ReplayFile file;
    ASSERT_EQ(kReadDone, ReadFileHead(path_.c_str(), &file, 1000)) << c.what;
    if (c.during_read) {
      DuringCall(kPlatformCallRead, path_, c.change);
    } else {
      c.change();
    }
    Bytes taken;
    EXPECT_FALSE(TakeAll(&file, SIZE_MAX, &taken)) << c.what;
    uint64_t digest = 0;
    EXPECT_FALSE(HashReplayFile(&file, &digest)) << c.what;
    ClearFaults();
    ReleaseReplayFile(&file);
  }
}

}  // namespace
