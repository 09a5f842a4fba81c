// Fuzz target: arbitrary bytes as the last-replay file. The first byte picks the
// switches, the replay folder and the reading (kFuzzLengthReading: -modern, which
// also finds a replay inside a NetEase container), the last the name template
// (fuzz_support.h); the rest is the file, padded with zeros to the length the pass
// insists on, since shorter files never reach decoding.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "tests/fuzz_support.h"
#include "watcher/watcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned switches = data[0];
  WatchSettings settings;
  size -= TakeFuzzTemplate(data + 1, size - 1, &settings.naming);
  if ((switches & kFuzzLengthReading) != 0) settings.reading = kLengthReading;
  const uint8_t* file = data + 1;
  const size_t length = size - 1;
  if (length >= static_cast<size_t>(kReplayMinimumLength)) {
    FuzzReplayFile(switches, &settings, file, length);
    return 0;
  }
  // Exactly as long as the pass would have read, so reading past it is caught.
  std::vector<unsigned char> padded(file, file + length);
  padded.resize(kReplayMinimumLength, 0);
  FuzzReplayFile(switches, &settings, padded.data(), padded.size());
  return 0;
}
