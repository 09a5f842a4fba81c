// The reading's two inflaters against each other: libdeflate, which takes every
// block it can at once, and zlib's streaming inflate, which the reading used alone
// before and still uses for what libdeflate refuses. On real replays, on the fuzz
// target's seeds, and on DEFLATE data written bit by bit here where the two
// libraries part: the reading must come out the same bytes either way.
#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "replay/game.h"
#include "replay/game_fuzz_input.h"
#include "replay/whole_inflate.h"
#include "tests/real_replays.h"
#include "tests/replay_builder.h"

namespace {

struct Readings {
  ReplayGame whole;     // ReadReplayGame
  ReplayGame streamed;  // every block through zlib
  uint32_t inflated_whole;
  uint32_t streamed_inflated_whole;
};

Readings ReadBoth(const Bytes& file) {
  std::unique_ptr<GameReadScratch> scratch(new GameReadScratch);
  Readings r;
  ReadReplayGame(file.data(), file.size(), scratch.get(), &r.whole);
  r.inflated_whole = scratch->blocks_inflated_whole;
  ReadReplayGameWithZlib(file.data(), file.size(), scratch.get(), &r.streamed);
  r.streamed_inflated_whole = scratch->blocks_inflated_whole;
  return r;
}

bool SameBytes(const ReplayGame& a, const ReplayGame& b) { return memcmp(&a, &b, sizeof a) == 0; }

std::vector<std::string> RealReplayNames() {
  std::vector<std::string> names;
  for (const ExpectedRow& row : ReadExpectedRows()) {
    if (row.file.size() > 4 && row.file.compare(row.file.size() - 4, 4, ".w3g") == 0) {
      names.push_back(row.file);
    }
  }
  return names;
}

// Blocks of a real replay's file that hold anything, by their headers.
uint32_t BlocksHolding(const Bytes& file) {
  const uint32_t version = file[0x34] | file[0x35] << 8 | file[0x36] << 16 |
                           static_cast<uint32_t>(file[0x37]) << 24;
  const bool wide = version >= 10032;
  uint32_t count = 0;
  for (size_t at = kGameFileHeader; at + (wide ? 12 : 8) <= file.size();) {
    const size_t packed = wide ? (file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                  static_cast<size_t>(file[at + 3]) << 24)
                               : (file[at] | file[at + 1] << 8);
    const size_t holds = wide ? (file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 |
                                 static_cast<size_t>(file[at + 7]) << 24)
                              : (file[at + 2] | file[at + 3] << 8);
    at += (wide ? 12 : 8) + packed;
    if (at > file.size()) break;
    if (holds > 0) ++count;
  }
  return count;
}

TEST(ReplayInflaters, EveryRealReplayReadsTheSameThroughBoth) {
  const std::vector<std::string> names = RealReplayNames();
  ASSERT_GE(names.size(), 20u) << "tests/replays or its expected.tsv is missing";
  for (const std::string& name : names) {
    Bytes file;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + name, &file)) << name;
    const Readings r = ReadBoth(file);
    EXPECT_TRUE(SameBytes(r.whole, r.streamed)) << name;
    EXPECT_EQ(kGameWhole, r.whole.problem) << name;
    // The game's blocks are what libdeflate is for: it takes every one of them,
    // and the reading through zlib none.
    EXPECT_EQ(BlocksHolding(file), r.inflated_whole) << name;
    EXPECT_GT(r.inflated_whole, 0u) << name;
    EXPECT_EQ(0u, r.streamed_inflated_whole) << name;
  }
}

TEST(ReplayInflaters, EveryFuzzSeedReadsTheSameThroughBoth) {
  const std::vector<std::string> names = RealReplayNames();
  ASSERT_GE(names.size(), 20u);
  size_t seeds = 0;
  size_t taken = 0;
  for (const std::string& name : names) {
    Bytes replay;
    ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + name, &replay)) << name;
    const std::vector<Bytes> made = GameFuzzSeeds(replay);
    EXPECT_GE(made.size(), 2u) << name;
    for (size_t i = 0; i < made.size(); ++i) {
      Bytes file;
      GameFuzzFile(made[i].data(), made[i].size(), &file);
      const Readings r = ReadBoth(file);
      EXPECT_TRUE(SameBytes(r.whole, r.streamed)) << name << " seed " << i;
      ++seeds;
      if (r.inflated_whole > 0) ++taken;
    }
  }
  // Seeds of the file as it is, cut at the fuzz target's longest input, and of its
  // data in stored blocks: libdeflate takes blocks of both.
  EXPECT_GE(seeds, 2 * names.size());
  EXPECT_GE(taken, 2 * names.size());
}

// ---------------------------------------------------------------------------
// DEFLATE data written bit by bit

class BitWriter {
 public:
  // value's count low bits, the lowest first.
  void Put(uint32_t value, int count) {
    for (int k = 0; k < count; ++k) Bit((value >> k) & 1);
  }
  // A Huffman code, its highest bit first.
  void Code(uint32_t code, int length) {
    for (int k = length - 1; k >= 0; --k) Bit((code >> k) & 1);
  }
  void Align() {
    while (used_ != 0) Bit(0);
  }
  Bytes Take() {
    Align();
    return bytes_;
  }

 private:
  void Bit(unsigned bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<unsigned char>(bit << used_);
    used_ = (used_ + 1) & 7;
  }
  Bytes bytes_;
  int used_ = 0;
};

// The canonical codes of a code's lengths, as DEFLATE assigns them.
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  int counts[16] = {};
  for (int length : lengths) ++counts[length];
  counts[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int bits = 1; bits < 16; ++bits) {
    code = (code + counts[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) codes[symbol] = next[lengths[symbol]]++;
  }
  return codes;
}

// One item of a dynamic header's code lengths: a precode symbol and its extra bits.
struct LengthItem {
  int symbol;
  uint32_t extra;
};

// One symbol of the data: a literal/length symbol, and for a length its distance
// symbol (extra bits are never needed here: lengths 3-10 and distances 1-4).
struct DataSymbol {
  int litlen;
  int distance;  // -1 for none
};

struct DynamicBlock {
  int litlen_count;           // 257 + HLIT
  int distance_count;         // 1 + HDIST
  std::vector<int> precode;   // lengths by precode symbol, 19 of them
  std::vector<LengthItem> items;
  std::vector<int> litlen;    // the lengths the items stand for, litlen_count of them...
  std::vector<int> distance;  // ...and distance_count
  std::vector<DataSymbol> data;
};

const int kPrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Writes a non-final dynamic block.
void WriteDynamic(const DynamicBlock& block, BitWriter* out) {
  out->Put(0, 1);  // not final
  out->Put(2, 2);  // dynamic
  out->Put(static_cast<uint32_t>(block.litlen_count - 257), 5);
  out->Put(static_cast<uint32_t>(block.distance_count - 1), 5);
  int precode_count = 19;
  while (precode_count > 4 && block.precode[kPrecodeOrder[precode_count - 1]] == 0) {
    --precode_count;
  }
  out->Put(static_cast<uint32_t>(precode_count - 4), 4);
  for (int i = 0; i < precode_count; ++i) {
    out->Put(static_cast<uint32_t>(block.precode[kPrecodeOrder[i]]), 3);
  }
  const std::vector<uint32_t> precode = CanonicalCodes(block.precode);
  for (const LengthItem& item : block.items) {
    out->Code(precode[item.symbol], block.precode[item.symbol]);
    if (item.symbol == 16) out->Put(item.extra, 2);
    if (item.symbol == 17) out->Put(item.extra, 3);
    if (item.symbol == 18) out->Put(item.extra, 7);
  }
  const std::vector<uint32_t> litlen = CanonicalCodes(block.litlen);
  const std::vector<uint32_t> distance = CanonicalCodes(block.distance);
  for (const DataSymbol& s : block.data) {
    // A code of one codeword is written as '1', the half zlib leaves unused.
    const bool lone = block.distance_count == 1;
    out->Code(litlen[s.litlen], block.litlen[s.litlen]);
    if (s.distance >= 0) out->Code(lone ? 1 : distance[s.distance], block.distance[s.distance]);
  }
  out->Code(litlen[256], block.litlen[256]);
}

// The empty stored block a sync flush writes.
void WriteSyncMark(BitWriter* out) {
  out->Put(0, 3);
  out->Align();
  out->Put(0x0000, 16);
  out->Put(0xFFFF, 16);
}

// 'a', a copy of three bytes at distance 1 (length symbol 257), 'b', end of
// block: "aaaab". The litlen code: 'a' and 'b' of length 2, 256 and 257 of 2.
DynamicBlock SmallBlock() {
  DynamicBlock b;
  b.litlen_count = 258;
  b.distance_count = 2;
  b.precode.assign(19, 0);
  b.precode[2] = 1;   // length 2
  b.precode[18] = 2;  // 11-138 zeros
  b.precode[1] = 2;   // length 1 (the distances)
  b.litlen.assign(258, 0);
  b.litlen['a'] = b.litlen['b'] = b.litlen[256] = b.litlen[257] = 2;
  b.distance = {1, 1};
  // 97 zeros, 'a' 'b' (2 2), 157 zeros, 256 257 (2 2), the distances (1 1).
  b.items = {{18, 97 - 11}, {2, 0}, {2, 0}, {18, 138 - 11}, {18, 19 - 11},
             {2, 0}, {2, 0}, {1, 0}, {1, 0}};
  b.data = {{'a', -1}, {257, 0}, {'b', -1}};
  return b;
}

Bytes Zlib(const Bytes& deflate) {
  Bytes stream = {0x78, 0x9C};
  stream.insert(stream.end(), deflate.begin(), deflate.end());
  return stream;
}

// What zlib's raw inflate makes of data when asked for out bytes: the bytes, or
// "refused" when it stops or fails before.
std::string ZlibGives(const Bytes& data, size_t out) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return "no zlib";
  Bytes bytes(out + 1);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = bytes.data();
  z.avail_out = static_cast<uInt>(out);
  int status = Z_OK;
  while (z.avail_out > 0 && status == Z_OK) status = inflate(&z, Z_NO_FLUSH);
  const bool whole = z.avail_out == 0;
  inflateEnd(&z);
  return whole ? std::string(bytes.begin(), bytes.begin() + static_cast<long>(out)) : "refused";
}

std::string WholeGives(const Bytes& data, size_t out) {
  alignas(16) static unsigned char memory[kWholeInflaterBytes];
  WholeInflater* inflater = PlaceWholeInflater(memory, sizeof memory);
  if (inflater == nullptr) return "no room";
  Bytes bytes(out + 1);
  return InflateWhole(inflater, data.data(), data.size(), bytes.data(), out, out + 1)
             ? std::string(bytes.begin(), bytes.begin() + static_cast<long>(out))
             : "refused";
}

// A real replay of 12-byte block headers with one block more at its end, and the
// file header's block count saying so.
Bytes WithBlockAfter(const Bytes& file, const Bytes& stream, size_t holds) {
  Bytes out = file;
  for (int k = 0; k < 4; ++k) {
    out.push_back(static_cast<unsigned char>(stream.size() >> (8 * k)));
  }
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(holds >> (8 * k)));
  out.insert(out.end(), 4, 0);
  out.insert(out.end(), stream.begin(), stream.end());
  out[0x2C] = static_cast<unsigned char>(out[0x2C] + 1);
  return out;
}

TEST(ReplayInflaters, WhereLibdeflateAndZlibPartTheReadingFollowsZlib) {
  BitWriter good_writer;
  WriteDynamic(SmallBlock(), &good_writer);
  WriteSyncMark(&good_writer);
  const Bytes good = good_writer.Take();

  struct Case {
    const char* what;
    Bytes data;
    size_t holds;
    std::string zlib;   // what zlib gives, or "refused"
    bool whole;         // libdeflate takes it
  };
  std::vector<Case> cases;
  cases.push_back({"a dynamic block and the flush's mark", good, 5, "aaaab", true});
  {
    BitWriter w;
    WriteDynamic(SmallBlock(), &w);
    cases.push_back({"a dynamic block ending inside its last byte", w.Take(), 5, "aaaab", true});
  }
  cases.push_back({"more in the data than the block holds", good, 4, "aaaa", false});
  cases.push_back({"less in the data than the block holds", good, 6, "refused", false});
  cases.push_back({"the data cut before its end", Bytes(good.begin(), good.end() - 6), 5,
                   "refused", false});
  {
    // The second distance length as the first one repeated three times: two more
    // lengths than the header counts, which zlib refuses.
    DynamicBlock b = SmallBlock();
    b.precode[2] = b.precode[18] = b.precode[1] = b.precode[16] = 2;
    b.items.back() = {16, 0};
    BitWriter w;
    WriteDynamic(b, &w);
    WriteSyncMark(&w);
    cases.push_back({"a repeat run past the last length", w.Take(), 5, "refused", false});
  }
  {
    // 287 litlen lengths: zlib takes at most 286.
    DynamicBlock b = SmallBlock();
    b.litlen_count = 287;
    b.litlen.resize(287, 0);
    b.items.insert(b.items.begin() + 7, LengthItem{18, 29 - 11});
    BitWriter w;
    WriteDynamic(b, &w);
    WriteSyncMark(&w);
    cases.push_back({"a header with 287 litlen lengths", w.Take(), 5, "refused", false});
  }
  {
    // A distance code of a single codeword, written as the '1' zlib leaves unused.
    DynamicBlock b = SmallBlock();
    b.distance_count = 1;
    b.distance = {1};
    b.items.pop_back();
    BitWriter w;
    WriteDynamic(b, &w);
    WriteSyncMark(&w);
    cases.push_back({"the unused half of a one-codeword distance code", w.Take(), 5, "refused",
                     false});
  }
  {
    // Static codes, as zlib writes short data: zlib takes them, libdeflate leaves
    // them to it.
    z_stream z;
    memset(&z, 0, sizeof z);
    ASSERT_EQ(Z_OK, deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_FIXED));
    const std::string text = "aaaab";
    Bytes packed(64);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    ASSERT_EQ(Z_OK, deflate(&z, Z_SYNC_FLUSH));
    packed.resize(packed.size() - z.avail_out);
    deflateEnd(&z);
    cases.push_back({"a block of static codes", packed, 5, "aaaab", false});
  }
  {
    // A stored block that says it is the last, finished before the data ends.
    BitWriter w;
    w.Put(1, 1);
    w.Put(0, 2);
    w.Align();
    w.Put(5, 16);
    w.Put(~5u & 0xFFFF, 16);
    Bytes data = w.Take();
    for (char c : std::string("aaaab")) data.push_back(static_cast<unsigned char>(c));
    data.push_back(0x55);  // after the last block: never read
    cases.push_back({"a final stored block before the data's end", data, 5, "aaaab", true});
  }

  // Each case as one more block after a real replay's: its records end at a
  // record's end, so the walk goes on into the block, where "aaaab" is no record.
  Bytes replay;
  ASSERT_TRUE(ReadWholeFile(RealReplayFolder() + "132-reforged_release.w3g", &replay));
  const Readings before = ReadBoth(replay);
  ASSERT_EQ(kGameWhole, before.whole.problem);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.zlib, ZlibGives(c.data, c.holds));
    EXPECT_EQ(c.whole ? c.zlib : "refused", WholeGives(c.data, c.holds));
    const Readings r = ReadBoth(WithBlockAfter(replay, Zlib(c.data), c.holds));
    EXPECT_TRUE(SameBytes(r.whole, r.streamed));
    const bool refused = c.zlib == "refused";
    if (refused) {
      EXPECT_NE(kGameWhole, r.whole.problem) << GameProblemText(r.whole.problem);
    } else {
      EXPECT_EQ(kGameRecordUnknown, r.whole.problem) << GameProblemText(r.whole.problem);
    }
    EXPECT_EQ(before.whole.blocks_read + (refused ? 0u : 1u), r.whole.blocks_read);
    EXPECT_EQ(before.inflated_whole + (c.whole ? 1u : 0u), r.inflated_whole);
  }
}

TEST(ReplayInflaters, PlacedOnlyInRoomEnough) {
  alignas(16) static unsigned char memory[kWholeInflaterBytes + 16];
  EXPECT_NE(nullptr, PlaceWholeInflater(memory, kWholeInflaterBytes));
  EXPECT_EQ(nullptr, PlaceWholeInflater(memory, 1024));
  EXPECT_EQ(nullptr, PlaceWholeInflater(memory + 1, kWholeInflaterBytes));
  EXPECT_EQ(nullptr, PlaceWholeInflater(nullptr, kWholeInflaterBytes));
}

}  // namespace
