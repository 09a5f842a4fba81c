// The body shared by the fuzz targets: one replay file through decoding and naming,
// as a pass would take it, with every promise about the result checked.
#ifndef BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
#define BRINDLECAP_TESTS_FUZZ_SUPPORT_H_

#include <stddef.h>

// Bits of the leading input byte that choose the settings of the run.
enum {
  kFuzzCustom = 1,      // SaveCustomGames on
  kFuzzNoDate = 2,      // DateTagEnabled off
  kFuzzFolderShift = 2, // three bits: which replay folder, from short to too long
  kFuzzFolderCount = 8,
};

// Decodes file[0, length) and, when the pass would file it, names it under the
// replay folder the switches pick: the body, candidates 0, 1 and 999. Aborts with
// a message on stderr when a decoded string leaves HeaderBuffer, a count or race
// leaves its range, a name is refused although one fits, or a destination breaks
// DestinationProblem's rules.
void FuzzReplayFile(unsigned switches, const unsigned char* file, size_t length);

#endif  // BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
