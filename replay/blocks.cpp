#include "replay/blocks.h"

#include <limits.h>
#include <string.h>

#include "replay/text.h"

namespace {


// From this version on a block header is 12 bytes (u32 packed size, u32 inflated
// size, u32 checksum); before it 8 (u16, u16, u32).
const uint32_t kWideBlocks = 10032;

// zlib asks for its state and its window once per reading; both come from the
// scratch's arena, so a reading never touches the heap and its memory is the
// scratch's size whatever the game's length.
voidpf ArenaAlloc(voidpf opaque, uInt items, uInt size) {
  GameReadScratch* scratch = static_cast<GameReadScratch*>(opaque);
  const size_t bytes = static_cast<size_t>(items) * size;
  const size_t start = (scratch->arena_used + 15) & ~size_t{15};
  if (start > sizeof scratch->arena || bytes > sizeof scratch->arena - start) return Z_NULL;
  scratch->arena_used = start + bytes;
  return scratch->arena + start;
}

void ArenaFree(voidpf, voidpf) {}

// Moves on to the next block that holds anything: inflated whole (in_block stays
// false) or ready to stream. False when there is none, or when it cannot be
// inflated (failed is then set).
bool StartBlock(BlockStream* b) {
  for (;;) {
    if (b->failed || b->next_block > b->length ||
        b->block_header > b->length - b->next_block) {
      return false;
    }
    const unsigned char* header = b->bytes + b->next_block;
    const bool wide = b->block_header == 12;
    const uint32_t packed = wide ? LoadU32(header) : LoadU16(header);
    const uint32_t holds = wide ? LoadU32(header + 4) : LoadU16(header + 2);
    const size_t at = b->next_block + b->block_header;
    const size_t available = b->length - at;
    // A block that claims more than the file holds is inflated as far as it goes;
    // it then comes short, and nothing after it is read.
    const size_t input = packed < available ? packed : available;
    if (packed > available) b->cut = true;
    b->next_block = packed < available ? at + packed : b->length;
    if (holds == 0) {
      ++b->whole;
      continue;
    }
    // Raw inflating, with the two-byte zlib header checked here: the game flushes
    // its blocks but never finishes them, so their checksum can never be compared.
    if (input < 2 || !IsZlibHeader(b->bytes[at], b->bytes[at + 1])) {
      b->failed = true;
      return false;
    }
    const unsigned char* data = b->bytes + at + 2;
    const uInt rest = input - 2 < UINT_MAX ? static_cast<uInt>(input - 2) : UINT_MAX;
    // The whole block at once straight from the file when the window has room
    // for it. libdeflate takes only data zlib would inflate to the same bytes;
    // what it refuses (a damaged block, one that gives more or less than it
    // says) is streamed through zlib from its start instead, which writes over
    // whatever libdeflate left and goes exactly as far into the block as ever.
    const size_t room = kGameWindowSize - b->hi;
    if (b->whole_inflater != nullptr && holds <= room &&
        InflateWhole(b->whole_inflater, data, rest, b->window + b->hi, holds, room)) {
      b->hi += holds;
      ++b->whole;
      ++*b->inflated_whole;
      return true;
    }
    inflateReset(b->stream);
    b->stream->next_in = const_cast<Bytef*>(data);
    b->stream->avail_in = rest;
    b->block_left = holds;
    b->in_block = true;
    return true;
  }
}

}  // namespace

bool OpenBlocks(const unsigned char* bytes, size_t length, uint32_t version, uint32_t declared,
                GameReadScratch* scratch, BlockStream* blocks, bool whole) {
  memset(blocks, 0, sizeof *blocks);
  blocks->bytes = bytes;
  blocks->length = length;
  blocks->next_block = kGameFileHeader;
  blocks->block_header = version >= kWideBlocks ? 12 : 8;
  blocks->declared = declared;
  blocks->stream = &scratch->stream;
  blocks->window = scratch->window;
  blocks->whole_inflater =
      whole ? PlaceWholeInflater(scratch->whole_inflater, sizeof scratch->whole_inflater)
            : nullptr;
  scratch->blocks_inflated_whole = 0;
  blocks->inflated_whole = &scratch->blocks_inflated_whole;
  scratch->arena_used = 0;
  memset(&scratch->stream, 0, sizeof scratch->stream);
  scratch->stream.zalloc = ArenaAlloc;
  scratch->stream.zfree = ArenaFree;
  scratch->stream.opaque = scratch;
  return inflateInit2(&scratch->stream, -MAX_WBITS) == Z_OK;
}

void CloseBlocks(BlockStream* blocks) { inflateEnd(blocks->stream); }

size_t Need(BlockStream* b, size_t count) {
  size_t have = b->hi - b->lo;
  if (have >= count) return have;
  // The unconsumed tail goes to the front, so that the window's whole room is
  // there for the record being completed.
  if (b->lo > 0) {
    memmove(b->window, b->window + b->lo, have);
    b->lo = 0;
    b->hi = have;
  }
  while (b->hi < count) {
    if (!b->in_block && !StartBlock(b)) break;
    if (!b->in_block) continue;  // inflated whole
    const size_t room = kGameWindowSize - b->hi;
    const uInt out = static_cast<uInt>(room < b->block_left ? room : b->block_left);
    b->stream->next_out = b->window + b->hi;
    b->stream->avail_out = out;
    const int status = inflate(b->stream, Z_NO_FLUSH);
    const size_t produced = out - b->stream->avail_out;
    b->hi += produced;
    b->block_left -= static_cast<uint32_t>(produced);
    if (b->block_left == 0) {
      b->in_block = false;
      ++b->whole;
      continue;
    }
    // Z_OK means progress was made and more may come; anything else before the
    // block gave what it holds (its input ran out, its stream ended or broke) means
    // its data does not join up with the next block's.
    if (status != Z_OK) {
      b->in_block = false;
      b->failed = true;
      break;
    }
  }
  return b->hi - b->lo;
}

bool SkipBytes(BlockStream* b, uint64_t count) {
  while (count > 0) {
    const size_t have = Need(b, 1);
    if (have == 0) return false;
    const size_t step = have < count ? have : static_cast<size_t>(count);
    b->lo += step;
    count -= step;
  }
  return true;
}

bool NoMoreBlocks(const BlockStream* b) {
  return b->failed || b->next_block > b->length || b->block_header > b->length - b->next_block;
}

bool IsZlibHeader(unsigned method, unsigned flags) {
  return (method & 0x0F) == Z_DEFLATED && (method >> 4) <= 7 &&
         ((method << 8) | flags) % 31 == 0 && (flags & 0x20) == 0;
}
