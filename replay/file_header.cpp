#include "replay/file_header.h"

#include <string.h>

#include "replay/text.h"

namespace {

const char kLeadingText[] = "Warcraft III recorded game\x1A";
const size_t kLeadingLength = sizeof kLeadingText - 1;
const char kNetEaseMark[] = "GRBN";

// File header fields both versions share.
const size_t kHeaderSizeAt = 0x1C;
const size_t kDeclaredSizeAt = 0x20;
const size_t kHeaderVersionAt = 0x24;
const size_t kBlockCountAt = 0x2C;
// Header version 1: a u32 game id, u32 version, u16 build, u16 flags, u32 length.
const size_t kGameIdAt = 0x30;
const size_t kVersionAt = 0x34;
const size_t kBuildAt = 0x38;
const size_t kFlagsAt = 0x3A;
const size_t kLengthAt = 0x3C;
// Header version 0: no game id; u16 version, u16 build, u16 flags, u32 length.
const size_t kOldVersionAt = 0x32;
const size_t kOldBuildAt = 0x34;
const size_t kOldFlagsAt = 0x36;
const size_t kOldLengthAt = 0x38;

// From this version on a block header is 12 bytes (u32 packed size, u32 inflated
// size, u32 checksum); before it 8 (u16, u16, u32).
const uint32_t kWideBlocks = 10032;

bool OpensAsReplay(const unsigned char* bytes, size_t length) {
  return length >= kLeadingLength && memcmp(bytes, kLeadingText, kLeadingLength) == 0;
}

}  // namespace

ReplaySpan LocateReplay(const unsigned char* bytes, size_t length) {
  if (OpensAsReplay(bytes, length)) return ReplaySpan{kHolderReplay, 0, length};
  if (length < 4 || memcmp(bytes, kNetEaseMark, 4) != 0) return ReplaySpan{kHolderNothing, 0, 0};
  // The platform's data is one zlib stream, padded with zeros to the size the
  // header gives; the game's own replay starts right after it.
  if (length < kNetEaseHeader) return ReplaySpan{kHolderNetEaseEmpty, 0, 0};
  const size_t data = LoadU32(bytes + kNetEaseDataSizeAt);
  if (data > length - kNetEaseHeader) return ReplaySpan{kHolderNetEaseEmpty, 0, 0};
  const size_t at = kNetEaseHeader + data;
  if (!OpensAsReplay(bytes + at, length - at)) return ReplaySpan{kHolderNetEaseEmpty, 0, 0};
  return ReplaySpan{kHolderNetEase, at, length - at};
}

const char* ReplayHolderText(ReplayHolder holder) {
  switch (holder) {
    case kHolderNothing: return "not a replay";
    case kHolderNetEaseEmpty: return "a NetEase container without a replay where it says";
    case kHolderReplay:
    case kHolderNetEase: return "a replay";
  }
  return "not a replay";
}

bool ReadReplayFileHeader(const unsigned char* bytes, size_t length, ReplayFileHeader* header) {
  memset(header, 0, sizeof *header);
  if (!OpensAsReplay(bytes, length) || length < kOldestFileHeader) return false;
  header->header_version = LoadU32(bytes + kHeaderVersionAt);
  header->declared_size = LoadU32(bytes + kDeclaredSizeAt);
  header->blocks = LoadU32(bytes + kBlockCountAt);
  // The oldest replays say both: header version 0, and a header of 0x40 bytes.
  header->oldest = header->header_version == 0 && LoadU32(bytes + kHeaderSizeAt) == kOldestFileHeader;
  if (header->oldest) {
    header->version = LoadU16(bytes + kOldVersionAt);
    header->build = LoadU16(bytes + kOldBuildAt);
    header->flags = LoadU16(bytes + kOldFlagsAt);
    header->length_ms = LoadU32(bytes + kOldLengthAt);
    header->first_block = kOldestFileHeader;
    header->block_header = 8;
    return true;
  }
  if (length < kReplayFileHeader) return false;
  header->game_id = LoadU32(bytes + kGameIdAt);
  header->version = LoadU32(bytes + kVersionAt);
  header->build = LoadU16(bytes + kBuildAt);
  header->flags = LoadU16(bytes + kFlagsAt);
  header->length_ms = LoadU32(bytes + kLengthAt);
  header->first_block = kReplayFileHeader;
  header->block_header = header->version >= kWideBlocks ? 12 : 8;
  return true;
}
