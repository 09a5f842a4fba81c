// The body shared by the fuzz targets: one replay file through decoding and naming,
// as a pass would take it, with every promise about the result checked.
#ifndef BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
#define BRINDLECAP_TESTS_FUZZ_SUPPORT_H_

#include <stddef.h>
#include <stdint.h>

// Bits of the leading input byte that choose the settings of the run.
enum {
  kFuzzCustom = 1,      // SaveCustomGames on
  kFuzzNoDate = 2,      // DateTagEnabled off
  kFuzzFolderShift = 2, // three bits: which replay folder, from short to too long
  kFuzzFolderCount = 8,
};

// The modern target's use of the leading byte's top three bits, and of the second
// byte in its header mode (see modern_fuzz.cpp).
enum {
  kFuzzModernVersionShift = kFuzzFolderShift + 3,  // two bits: kFuzzModernVersions
  kFuzzModernRaw = 0x80,        // the input is the file from the first block on
  kFuzzModernPadLastBlock = 4,  // second byte, with two bits of kFuzzModernBlockSizes
};
// Both block layouts, and both observer teams in the 8-byte one.
const uint32_t kFuzzModernVersions[4] = {26, 10031, 10032, 10100};
const size_t kFuzzModernBlockSizes[4] = {8192, 2048, 256, 64};

// The input's last byte picks the name template of a run: below
// kFuzzTemplateTexts one of a fixed set (0: no template), else the (byte -
// kFuzzTemplateTexts) % kFuzzTemplateLongest bytes before it are the template's
// text, used when NameTemplateProblem accepts it (and the default otherwise).
// Sets NameTemplate; returns how many bytes at the end of data[0, size) it took.
enum {
  kFuzzTemplateTexts = 16,
  kFuzzTemplateLongest = 48,
};
size_t TakeFuzzTemplate(const unsigned char* data, size_t size);

// Decodes file[0, length) as the pass does (DecodeReplay, so with the reading
// ModernReading asks for) and, when the pass would file it, names it under the
// replay folder the switches pick: the body, candidates 0, 1 and 999. Aborts with
// a message on stderr when a decoded string leaves HeaderBuffer, a count or race
// leaves its range, the map path read differs from the one read over an exactly
// sized copy of the inflated data, a name is refused although one fits, or a
// destination breaks DestinationProblem's rules. Names are built at a fixed time,
// with the template NameTemplate holds.
void FuzzReplayFile(unsigned switches, const unsigned char* file, size_t length);

#endif  // BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
