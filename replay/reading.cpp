// The one entry the pass and the commands decode through: the reading the
// switches ask for, and the fixed one wherever the length-aware one cannot follow.
#include "replay/decode.h"
#include "replay/file_header.h"
#include "replay/modern.h"

void DecodeReplay(const unsigned char* bytes, size_t length, HeaderReading reading,
                  DecodeScratch* scratch, DecodeResult* result) {
  if (reading == kFixedReading) {
    Decode(bytes, length, scratch, result);
    return;
  }
  // Anything the length-aware reading cannot follow is read as without -modern,
  // so the switch never names a replay worse than the default does; a NetEase
  // container's replay as if it were the file.
  if (!DecodeModern(bytes, length, scratch, result)) {
    const ReplaySpan span = LocateReplay(bytes, length);
    const size_t offset = span.holder == kHolderNetEase ? span.offset : 0;
    Decode(bytes + offset, length - offset, scratch, result);
  }
  result->any_alphabet = true;
}
