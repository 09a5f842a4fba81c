// The body shared by the fuzz targets: one replay file through decoding and naming,
// as a pass would take it, with every promise about the result checked.
#ifndef BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
#define BRINDLECAP_TESTS_FUZZ_SUPPORT_H_

#include <stddef.h>
#include <stdint.h>

#include "watcher/watcher.h"

// Bits of the leading input byte that choose the settings of the run.
enum {
  kFuzzCustom = 1,      // save_custom on ("-custom")
  kFuzzNoDate = 2,      // the date tag off ("-nodate")
  kFuzzFolderShift = 2, // three bits: which replay folder, from short to too long
  kFuzzFolderCount = 8,
  kFuzzLengthReading = 0x20,  // replay_fuzz only: the length-aware reading ("-modern")
};

// The modern target's use of the leading byte's top three bits, and of the second
// byte in its header mode (see modern_fuzz.cpp).
enum {
  kFuzzModernVersionShift = kFuzzFolderShift + 3,  // two bits: kFuzzModernVersions
  kFuzzModernRaw = 0x80,        // the input is the file from the first block on
  kFuzzModernPadLastBlock = 4,  // second byte, with two bits of kFuzzModernBlockSizes
  // Second byte, how the replay lies in its file: the oldest file header (0x40
  // bytes, version 2, whatever the version bits say), inside a NetEase container,
  // and bytes after the blocks the file header declares.
  kFuzzModernOldest = 8,
  kFuzzModernContainer = 16,
  kFuzzModernTrailing = 32,
};
// Both block layouts, and both observer teams in the 8-byte one.
const uint32_t kFuzzModernVersions[4] = {26, 10031, 10032, 10100};
const size_t kFuzzModernBlockSizes[4] = {8192, 2048, 256, 64};

// The input's last byte picks the name template of a run: below
// kFuzzTemplateTexts one of a fixed set (0: no template), else the (byte -
// kFuzzTemplateTexts) % kFuzzTemplateLongest bytes before it are the template's
// text, used when NameTemplateProblem accepts it (and the default otherwise).
// Sets naming's name_template; returns how many bytes at the end of data[0, size)
// it took.
enum {
  kFuzzTemplateTexts = 16,
  kFuzzTemplateLongest = 48,
};
size_t TakeFuzzTemplate(const unsigned char* data, size_t size, NameOptions* naming);

// Decodes file[0, length) as the pass does (DecodeReplay, with settings' reading)
// and, when the pass would file it, names it under the replay folder the switches
// pick: the body, candidates 0, 1 and 999. The switches set settings' save_custom
// and date tag; the template is the one settings hold. Aborts with a message on
// stderr when a decoded string is not ended inside its array, a count or race
// leaves its range, the map path read differs from the one read over an exactly
// sized copy of the inflated data, a name is refused although one fits, or a
// destination breaks DestinationProblem's rules. Names are built at a fixed time.
void FuzzReplayFile(unsigned switches, WatchSettings* settings, const unsigned char* file,
                    size_t length);

// The scratch every decode of a fuzz run works in, as the pass's own is kept
// (on the heap: 128 KB).
DecodeScratch* FuzzScratch();

#endif  // BRINDLECAP_TESTS_FUZZ_SUPPORT_H_
