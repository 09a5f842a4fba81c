// The one entry the pass and the commands decode through: the reading the
// switches ask for, and the fixed one wherever the length-aware one cannot follow.
#include "replay/decode.h"
#include "replay/modern.h"

void DecodeReplay(const unsigned char* bytes, size_t length, HeaderReading reading,
                  DecodeScratch* scratch, DecodeResult* result) {
  // Anything the length-aware reading cannot follow is read as without -modern,
  // so the switch never names a replay worse than the default does.
  if (reading == kLengthReading && DecodeModern(bytes, length, scratch, result)) return;
  Decode(bytes, length, scratch, result);
}
