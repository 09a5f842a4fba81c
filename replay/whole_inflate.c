/* libdeflate's decompressor, compiled here rather than as a library of its own,
 * so that its structure's size is known and the decompressor can live in the
 * caller's memory: libdeflate 1.14 allocates it only through malloc, or through
 * an allocator set for the whole process. The implementation (plain, or with
 * BMI2 where the processor has it) is called directly, so libdeflate's own
 * choice, cached in a variable of the process, is never made.
 *
 * BRINDLECAP_ZLIB_STRICT turns on the few checks added to the vendored source
 * (see third_party/libdeflate/ORIGIN.md): zlib's limits on the dynamic header,
 * no static or incomplete codes, and the input's end as the stream's end. */
#define BRINDLECAP_ZLIB_STRICT 1
#include "lib/deflate_decompress.c"

#include "replay/whole_inflate.h"

struct WholeInflater {
  struct libdeflate_decompressor decompressor;
};

_Static_assert(sizeof(struct WholeInflater) <= kWholeInflaterBytes,
               "kWholeInflaterBytes holds the decompressor");

struct WholeInflater* PlaceWholeInflater(void* memory, size_t size) {
  if (memory == NULL || size < sizeof(struct WholeInflater) ||
      ((uintptr_t)memory & 15) != 0) {
    return NULL;
  }
  /* As libdeflate_alloc_decompressor does after its malloc: 'static_codes_loaded'
   * false, and the decode tables defined before they are first built. */
  memset(memory, 0, sizeof(struct WholeInflater));
  return (struct WholeInflater*)memory;
}

bool InflateWhole(struct WholeInflater* inflater, const unsigned char* in, size_t in_size,
                  unsigned char* out, size_t out_size, size_t room) {
  size_t produced = 0;
  enum libdeflate_result result;
  if (room < out_size) return false;
#if defined(deflate_decompress_bmi2) && !HAVE_BMI2_NATIVE
  if (__builtin_cpu_supports("bmi2")) {
    result = deflate_decompress_bmi2(&inflater->decompressor, in, in_size, out, room, NULL,
                                     &produced);
  } else
#endif
  {
    result = DEFAULT_IMPL(&inflater->decompressor, in, in_size, out, room, NULL, &produced);
  }
  return result == LIBDEFLATE_SUCCESS && produced == out_size;
}
