/* One data block inflated at once: libdeflate's whole-buffer decompressor
 * (third_party/libdeflate), held in memory the caller owns, made as strict as
 * zlib's inflate, and told that the input's end is the stream's end. A C
 * interface, since it is compiled with libdeflate's own C source. */
#ifndef BRINDLECAP_REPLAY_WHOLE_INFLATE_H_
#define BRINDLECAP_REPLAY_WHOLE_INFLATE_H_

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of the caller's memory the decompressor takes (its decode tables). */
enum { kWholeInflaterBytes = 12288 };

struct WholeInflater;

/* Sets a decompressor up in memory[0, size), which must be aligned to 16 bytes:
 * NULL when it is smaller than kWholeInflaterBytes. Nothing is allocated, and
 * nothing outside memory is written, then or later. */
struct WholeInflater* PlaceWholeInflater(void* memory, size_t size);

/* Inflates the raw DEFLATE data in[0, in_size) into out[0, out_size). True only
 * when the data is whole blocks that end at in_size (or at a final block) and
 * give exactly out_size bytes, each block valid as zlib's inflate checks it, so
 * that zlib would give the same bytes. False for anything else, with out's
 * contents undefined: the caller inflates such data with zlib instead, which
 * refuses nothing this takes. room (at least out_size) is how much of out may
 * be written: room beyond out_size lets the decoder's fast loop, which writes
 * ahead, run closer to the end. Reads nothing outside in, writes nothing outside
 * out[0, room) and the inflater's memory. */
bool InflateWhole(struct WholeInflater* inflater, const unsigned char* in, size_t in_size,
                  unsigned char* out, size_t out_size, size_t room);

#ifdef __cplusplus
}
#endif

#endif /* BRINDLECAP_REPLAY_WHOLE_INFLATE_H_ */
