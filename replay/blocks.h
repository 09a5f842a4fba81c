// The replay's data blocks as one stream of bytes, seen through the scratch's
// window: each block's zlib stream is inflated in turn as the records need more,
// and what the records have not consumed yet is carried over to the window's start.
// A block is inflated at once by libdeflate when the window has room for all it
// holds and libdeflate takes its data; otherwise, and always when asked to, it
// is streamed through zlib, which also says how far a damaged block goes.
#ifndef BRINDLECAP_REPLAY_BLOCKS_H_
#define BRINDLECAP_REPLAY_BLOCKS_H_

#include <stddef.h>
#include <stdint.h>

#include "replay/game.h"

struct BlockStream {
  const unsigned char* bytes;  // the whole file
  size_t length;
  size_t next_block;           // offset of the next block header in the file
  size_t block_header;         // 12 bytes from version 10032 on, 8 before
  uint32_t declared;           // blocks the file header announces
  uint32_t whole;              // blocks that gave all they hold
  uint32_t block_left;         // bytes the block being inflated still owes
  bool in_block;
  bool failed;                 // a block came short or did not inflate: nothing after it
  bool cut;                    // a block runs past the end of the file
  z_stream* stream;
  WholeInflater* whole_inflater;  // NULL: every block through zlib
  uint32_t* inflated_whole;       // counts the blocks libdeflate inflated
  unsigned char* window;
  size_t lo;                   // window[lo, hi) is inflated and not yet consumed
  size_t hi;
};

// Sets the stream up over bytes[0, length), whose file header has been checked,
// with the inflaters' memory carved from the scratch; with whole false, every
// block goes through zlib. False when zlib cannot be set up in it.
bool OpenBlocks(const unsigned char* bytes, size_t length, uint32_t version, uint32_t declared,
                GameReadScratch* scratch, BlockStream* blocks, bool whole = true);

// Releases the inflater (nothing goes back to the heap: it never came from there).
void CloseBlocks(BlockStream* blocks);

// Makes at least count bytes available at window + lo, inflating further blocks as
// needed (count at most kGameWindowSize). Returns how many are available: fewer
// than count only when the blocks have nothing more to give.
size_t Need(BlockStream* blocks, size_t count);

// Consumes count bytes, inflating through as many blocks as that takes. False when
// the data ends first (everything that was there is consumed).
bool SkipBytes(BlockStream* blocks, uint64_t count);

// True when no block follows the one being inflated: the data has been read to its
// end, or a block failed.
bool NoMoreBlocks(const BlockStream* blocks);

// The header a zlib stream opens with, as zlib itself checks it: deflate, a window
// of at most 32 KB, the check bits, and no preset dictionary. The game's blocks are
// inflated raw after it, since they are flushed but never finished.
bool IsZlibHeader(unsigned method, unsigned flags);

#endif  // BRINDLECAP_REPLAY_BLOCKS_H_
