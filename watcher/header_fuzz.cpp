// Fuzz target: arbitrary bytes as the inflated start of the first data block. The
// target deflates them and wraps them as a replay file, so the mutations reach the
// walk over host, game name and player records instead of dying in the inflater.
//
// The last byte picks the name template (see fuzz_support.h). The first byte
// picks the switches and the replay folder (see fuzz_support.h),
// the compression level (stored blocks put the header bytes into the file as they
// are), and whether the header is stretched to fill the decode's scratch: then the
// host name is padded out so that the rest of the input lands at the very end of
// the scratch, where the walk runs off it and strings find no NUL.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "tests/fuzz_support.h"
#include "replay/decode.h"
#include "watcher/watcher.h"

namespace {

const unsigned kLevelShift = kFuzzFolderShift + 3;  // two bits
const unsigned kStretch = 0x80;
// Bytes of the header before the host name: a leading field, record kind, player id.
const size_t kHostNameOffset = 6;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned switches = data[0];
  WatchSettings settings;
  size -= TakeFuzzTemplate(data + 1, size - 1, &settings.naming);
  static const int kLevels[] = {Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION,
                                Z_NO_COMPRESSION};
  int level = kLevels[(switches >> kLevelShift) & 3];

  std::vector<unsigned char> header(data + 1, data + size);
  if ((switches & kStretch) != 0 && header.size() < kHeaderBufferSize - kHostNameOffset) {
    // Stored blocks of a whole scratch would not fit the 1024 bytes inflated.
    if (level == Z_NO_COMPRESSION) level = Z_BEST_SPEED;
    const size_t lead = header.size() < kHostNameOffset ? header.size() : kHostNameOffset;
    header.insert(header.begin() + lead, kHeaderBufferSize - header.size(), 'x');
  }

  uLongf packed_length = compressBound(static_cast<uLong>(header.size()));
  std::vector<unsigned char> packed(packed_length);
  if (compress2(packed.data(), &packed_length, header.data(), static_cast<uLong>(header.size()),
                level) != Z_OK) {
    return 0;
  }

  // Exactly as long as the file would be, so reading past it is caught; the bytes
  // before the stream are never read and stay zero.
  const size_t length = kStreamOffset + packed_length;
  std::vector<unsigned char> file(
      length < static_cast<size_t>(kReplayMinimumLength) ? kReplayMinimumLength : length, 0);
  memcpy(file.data() + kStreamOffset, packed.data(), packed_length);
  FuzzReplayFile(switches, &settings, file.data(), file.size());
  return 0;
}
