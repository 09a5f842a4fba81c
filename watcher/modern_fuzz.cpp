// Fuzz target: the length-aware reading (-modern). The last byte picks the name
// template (see fuzz_support.h). The first byte picks the
// switches and the replay folder (see fuzz_support.h), the game version (so both
// block layouts and both observer teams) and one of two modes:
//
// - raw: the rest is the replay file from the first block header on, behind a
//   file header of the chosen version, so mutations reach block headers, lying
//   sizes and zlib's error paths;
// - header: a second byte picks the block size (8192, 2048, 256 or 64 inflated
//   bytes), whether the last block is padded with zeros as the game pads it, and
//   how the replay lies in its file (the oldest file header, a NetEase container,
//   bytes after the declared blocks); the rest is the inflated header, cut into
//   blocks and deflated as the game writes them, so mutations reach the record
//   walk in one block or across many.
//
// Besides the checks every target makes (fuzz_support.h), nothing may be read
// outside the inflated data: the walk runs once more over an exactly sized heap
// copy of what the blocks inflated to, where AddressSanitizer sees any byte read
// past its end, and must come to the same verdict and the same offsets, every one
// of them inside the copy with its string ended there.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <vector>

#include "tests/fuzz_support.h"
#include "replay/decode.h"
#include "replay/file_header.h"
#include "replay/modern.h"
#include "watcher/watcher.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "broken promise: %s\n", what);
  abort();
}

void PutU16(std::vector<unsigned char>* out, size_t value) {
  out->push_back(static_cast<unsigned char>(value & 0xFF));
  out->push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void PutU32(std::vector<unsigned char>* out, size_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
  }
}

std::vector<unsigned char> FileHeader(uint32_t version, bool oldest) {
  // The oldest header: 0x40 bytes, header version 0, u16 version 2 at 0x32.
  std::vector<unsigned char> file(oldest ? 0x40 : kModernFileHeader, 0);
  memcpy(file.data(), "Warcraft III recorded game\x1A", 27);
  file[0x1C] = static_cast<unsigned char>(file.size());
  if (oldest) {
    file[0x32] = 2;
    return file;
  }
  file[0x24] = 1;
  for (int k = 0; k < 4; ++k) {
    file[kModernVersionOffset + k] = static_cast<unsigned char>(version >> (8 * k));
  }
  return file;
}

void SetU32(std::vector<unsigned char>* file, size_t at, size_t value) {
  for (int k = 0; k < 4; ++k) (*file)[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

// The replay as a NetEase container holds it: its header, the platform's data (a
// zlib stream, padded), then the replay.
void PutInContainer(std::vector<unsigned char>* file) {
  std::vector<unsigned char> container(0x80, 0);
  memcpy(container.data(), "GRBN", 4);
  container[4] = 2;
  const unsigned char data[] = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0};
  container[0x0C] = sizeof data;
  container.insert(container.end(), data, data + sizeof data);
  file->insert(file->begin(), container.begin(), container.end());
}

// Appends one block: its header in the version's layout and a zlib stream flushed
// but not finished, as the game writes them.
void AppendBlock(std::vector<unsigned char>* file, bool wide, const unsigned char* data,
                 size_t length) {
  static z_stream deflater;
  static bool ready = false;
  if (!ready) {
    deflateInit(&deflater, Z_BEST_SPEED);
    ready = true;
  }
  deflateReset(&deflater);
  std::vector<unsigned char> packed(deflateBound(&deflater, static_cast<uLong>(length)) + 16);
  deflater.next_in = const_cast<Bytef*>(data);
  deflater.avail_in = static_cast<uInt>(length);
  deflater.next_out = packed.data();
  deflater.avail_out = static_cast<uInt>(packed.size());
  deflate(&deflater, Z_SYNC_FLUSH);
  packed.resize(packed.size() - deflater.avail_out);
  if (wide) {
    PutU32(file, packed.size());
    PutU32(file, length);
  } else {
    PutU16(file, packed.size());
    PutU16(file, length);
  }
  PutU32(file, 0);
  file->insert(file->end(), packed.begin(), packed.end());
}

void CheckSameWalk(const ModernHeader& a, const ModernHeader& b) {
  if (a.game_name != b.game_name || a.settings != b.settings || a.players != b.players || a.sides != b.sides) {
    Fail("the walk over the copy found other records");
  }
  for (int i = 0; i < a.players; ++i) {
    if (a.seat[i].name != b.seat[i].name || a.seat[i].race != b.seat[i].race ||
        a.seat[i].side != b.seat[i].side) {
      Fail("the walk over the copy found another seat");
    }
  }
}

// A string the walk points at must start inside the data and end there too.
void CheckStringInside(const unsigned char* data, size_t length, size_t offset) {
  if (offset >= length || memchr(data + offset, 0, length - offset) == nullptr) {
    Fail("a string of the walk is not ended inside the inflated data");
  }
}

void CheckReadStaysInside(const unsigned char* file, size_t length) {
  // A container's replay, as the reading takes it.
  const ReplaySpan span = LocateReplay(file, length);
  if (span.holder == kHolderNetEase) {
    file += span.offset;
    length = span.length;
  }
  ModernHeader read;
  DecodeScratch* scratch = FuzzScratch();
  const ModernVerdict verdict = ReadModernHeader(file, length, scratch, &read);
  if (read.inflated > kHeaderBufferSize) Fail("more inflated than the scratch holds");

  // What the blocks inflated to, in a heap block of exactly that size.
  std::unique_ptr<unsigned char[]> copy(new unsigned char[read.inflated]);
  memcpy(copy.get(), scratch->data, read.inflated);
  ModernHeader again;
  if (WalkModernHeader(copy.get(), read.inflated, read.observer_team, &again) != verdict) {
    Fail("the walk over the copy came to another verdict");
  }
  if (verdict != kModernComplete) return;
  CheckSameWalk(read, again);
  if (again.players < 0 || again.players > kPlayerTableSize) Fail("players out of range");
  CheckStringInside(copy.get(), read.inflated, again.game_name);
  CheckStringInside(copy.get(), read.inflated, again.settings);
  for (int i = 0; i < again.players; ++i) {
    const ModernSeat& seat = again.seat[i];
    CheckStringInside(copy.get(), read.inflated, seat.name);
    if (seat.race < 0 || seat.race > 15) Fail("race out of 0..15");
    const int before = i == 0 ? 0 : again.seat[i - 1].side;
    if (seat.side != before && seat.side != before + 1) Fail("sides out of order");
  }
  const int sides = again.players == 0 ? 0 : again.seat[again.players - 1].side + 1;
  if (again.sides != sides) Fail("side count does not match the seats");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned switches = data[0];
  WatchSettings settings;
  size -= TakeFuzzTemplate(data + 1, size - 1, &settings.naming);
  uint32_t version = kFuzzModernVersions[(switches >> kFuzzModernVersionShift) & 3];
  const unsigned wrapping = (switches & kFuzzModernRaw) == 0 && size >= 2 ? data[1] : 0;
  const bool oldest = (wrapping & kFuzzModernOldest) != 0;
  if (oldest) version = 2;
  std::vector<unsigned char> content = FileHeader(version, oldest);
  if ((switches & kFuzzModernRaw) != 0) {
    content.insert(content.end(), data + 1, data + size);
  } else {
    if (size < 2) return 0;
    const size_t block_size = kFuzzModernBlockSizes[data[1] & 3];
    const bool pad = (data[1] & kFuzzModernPadLastBlock) != 0;
    const unsigned char* header = data + 2;
    const size_t header_length = size - 2;
    size_t blocks = 0;
    for (size_t start = 0; start < header_length; start += block_size, ++blocks) {
      const size_t part = header_length - start < block_size ? header_length - start : block_size;
      std::vector<unsigned char> block(header + start, header + start + part);
      if (pad) block.resize(block_size, 0);
      AppendBlock(&content, version >= kModernWideBlocks, block.data(), block.size());
    }
    if ((wrapping & kFuzzModernTrailing) != 0) {
      // A replay that says where it ends, and a platform's signature after it.
      SetU32(&content, 0x20, content.size());
      SetU32(&content, 0x2C, blocks);
      static const unsigned char kSignature[] = {'N', 'G', 'I', 'S', 0x85, 0x7C, 0x31, 0x30};
      content.insert(content.end(), kSignature, kSignature + sizeof kSignature);
    }
    if ((wrapping & kFuzzModernContainer) != 0) PutInContainer(&content);
  }
  // Exactly as long as the pass would have read it, so reading past it is caught.
  const size_t length = content.size() < static_cast<size_t>(kReplayMinimumLength)
                            ? static_cast<size_t>(kReplayMinimumLength)
                            : content.size();
  std::vector<unsigned char> file(content);
  file.resize(length, 0);

  CheckReadStaysInside(file.data(), file.size());
  settings.reading = kLengthReading;
  FuzzReplayFile(switches, &settings, file.data(), file.size());
  return 0;
}
