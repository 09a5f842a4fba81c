#include "watcher/replay_file.h"

#include <stdlib.h>
#include <string.h>

#include "replay/modern.h"
#include "replay/text.h"

namespace {

const uint64_t kHashPrime = 1099511628211ull;
const uint64_t kHashBasis = 14695981039346656037ull;

// A file whose length only its read can tell: it is read to that length or to the
// head limit, never whole just because it is there.
ReadOutcome ReadHead(const char* path, ReplayFile* file, size_t head_limit, bool to_file,
                     HeaderReading reading, HeadBuffer* buffer = nullptr) {
  *file = ReplayFile{nullptr, 0, 0, nullptr, -1};
  PlatformFile* handle = PlatformOpenRead(path);
  if (handle == nullptr) {
    switch (PlatformLastError()) {
      case kPlatformMissing: return kReadMissing;
      case kPlatformIsFolder: return kReadIsFolder;
      case kPlatformNotAFile: return kReadNotAFile;
      default: return kReadCannotOpen;
    }
  }
  const int64_t size = PlatformFileLength(handle);
  // A short file is only read to see whether its lengths make it whole.
  const bool short_file = size < kReplayMinimumLength;
  if (to_file && short_file && (reading != kLengthReading || size <= 0)) {
    PlatformClose(handle);
    return kReadTooShort;
  }
  if (size < 0) {
    PlatformClose(handle);
    return kReadLengthUnknown;
  }
  const uint64_t length = static_cast<uint64_t>(size);
  const size_t held = length > head_limit ? head_limit : static_cast<size_t>(length);
  int64_t stamp = -1;
  // What stays on disk is read again later; its stamp now tells whether that later
  // read still reads this file.
  if (held < length && !PlatformProbe(path, &stamp)) {
    PlatformClose(handle);
    return kReadCannotOpen;
  }
  const size_t room = held > 0 ? held : 1;
  if (buffer != nullptr && buffer->size < room) {
    // What the buffer held is no longer wanted: a new block, not a copy.
    free(buffer->bytes);
    buffer->bytes = static_cast<unsigned char*>(malloc(room));
    buffer->size = buffer->bytes != nullptr ? room : 0;
  }
  unsigned char* head =
      buffer != nullptr ? buffer->bytes : static_cast<unsigned char*>(malloc(room));
  if (head == nullptr) {
    PlatformClose(handle);
    return kReadNoMemory;
  }
  // Bytes that were never read must not be copied as if they were the replay.
  const size_t got = PlatformRead(handle, head, held);
  PlatformClose(handle);
  if (got != held) {
    if (buffer == nullptr) free(head);
    return kReadCameShort;
  }
  if (to_file && short_file && !ReadsWholeByLengths(head, got)) {
    if (buffer == nullptr) free(head);
    return kReadTooShort;
  }
  *file = ReplayFile{head, held, length, held < length ? path : nullptr, stamp};
  return kReadDone;
}

inline void MixBlock(uint64_t lane[4], const unsigned char* bytes) {
  for (int k = 0; k < 4; ++k) {
    uint64_t word;
    memcpy(&word, bytes + 8 * k, sizeof word);
    lane[k] = (lane[k] ^ word) * kHashPrime;
  }
}

}  // namespace

namespace {

bool EndsWithSuffix(const char* name, const char* suffix) {
  const size_t length = strlen(name);
  return length >= 4 && EqualsIgnoringAsciiCase(name + length - 4, suffix);
}

}  // namespace

bool IsReplayFileName(const char* name) {
  return EndsWithSuffix(name, ".w3g") || EndsWithSuffix(name, ".nwg");
}

const char* CopySuffix(const char* path, HeaderReading reading) {
  return reading == kLengthReading && EndsWithSuffix(path, ".nwg") ? ".nwg" : ".w3g";
}

ReplayFile ReplayInMemory(const unsigned char* bytes, size_t length) {
  return ReplayFile{const_cast<unsigned char*>(bytes), length, length, nullptr, -1};
}

ReadOutcome ReadFileHead(const char* path, ReplayFile* file, size_t head_limit) {
  return ReadHead(path, file, head_limit, false, kFixedReading);
}

ReadOutcome ReadFileHead(const char* path, ReplayFile* file, HeadBuffer* buffer,
                         size_t head_limit) {
  return ReadHead(path, file, head_limit, false, kFixedReading, buffer);
}

ReadOutcome ReadReplayFile(const char* path, ReplayFile* file, HeaderReading reading,
                           size_t head_limit) {
  return ReadHead(path, file, head_limit, true, reading);
}

void ReleaseReplayFile(ReplayFile* file) {
  free(file->head);
  *file = ReplayFile{nullptr, 0, 0, nullptr, -1};
}

bool OpenReplayPieces(ReplayPieces* pieces, const ReplayFile* file) {
  *pieces = ReplayPieces{file, nullptr, nullptr, 0, nullptr, 0, false};
  if (file->path == nullptr) {
    pieces->piece = file->head;
    pieces->left = file->held;
    return true;
  }
  pieces->buffer = static_cast<unsigned char*>(malloc(kReplayPiece));
  pieces->disk = pieces->buffer != nullptr ? PlatformOpenRead(file->path) : nullptr;
  pieces->changed = pieces->disk == nullptr;
  return !pieces->changed;
}

size_t TakeReplayBytes(ReplayPieces* pieces, size_t want, const unsigned char** bytes) {
  if (pieces->changed) return 0;
  const ReplayFile* file = pieces->file;
  if (pieces->left == 0) {
    if (pieces->disk == nullptr || pieces->at >= file->length) return 0;
    const uint64_t rest = file->length - pieces->at;
    const size_t size = rest < kReplayPiece ? static_cast<size_t>(rest) : kReplayPiece;
    const bool read = PlatformRead(pieces->disk, pieces->buffer, size) == size;
    // Where the head was, the disk must still hold the head: the name was made from it.
    size_t over_head = 0;
    if (pieces->at < file->held) {
      over_head = file->held - pieces->at < size ? file->held - static_cast<size_t>(pieces->at)
                                                 : size;
    }
    if (!read ||
        (over_head > 0 && memcmp(pieces->buffer, file->head + pieces->at, over_head) != 0)) {
      pieces->changed = true;
      return 0;
    }
    pieces->piece = pieces->buffer;
    pieces->left = size;
  }
  const size_t taken = want < pieces->left ? want : pieces->left;
  *bytes = pieces->piece;
  pieces->piece += taken;
  pieces->left -= taken;
  pieces->at += taken;
  return taken;
}

bool CloseReplayPieces(ReplayPieces* pieces) {
  const ReplayFile* file = pieces->file;
  bool same = !pieces->changed && pieces->left == 0 && pieces->at == file->length;
  if (pieces->disk != nullptr) {
    unsigned char extra;
    if (same) same = PlatformRead(pieces->disk, &extra, 1) == 0;
    PlatformClose(pieces->disk);
    int64_t stamp = -1;
    int64_t length = -1;
    if (same) {
      same = PlatformProbe(file->path, &stamp, &length) && stamp == file->stamp &&
             length == static_cast<int64_t>(file->length);
    }
  }
  free(pieces->buffer);
  pieces->disk = nullptr;
  pieces->buffer = nullptr;
  return same;
}

void StartReplayHash(ReplayHasher* hasher) {
  for (int k = 0; k < 4; ++k) hasher->lane[k] = kHashBasis ^ static_cast<uint64_t>(k);
  hasher->pending_used = 0;
  hasher->total = 0;
}

void AddToReplayHash(ReplayHasher* hasher, const unsigned char* bytes, size_t length) {
  hasher->total += length;
  if (length == 0) return;
  if (hasher->pending_used > 0) {
    const size_t room = sizeof hasher->pending - hasher->pending_used;
    const size_t taken = length < room ? length : room;
    memcpy(hasher->pending + hasher->pending_used, bytes, taken);
    hasher->pending_used += taken;
    bytes += taken;
    length -= taken;
    if (hasher->pending_used < sizeof hasher->pending) return;
    MixBlock(hasher->lane, hasher->pending);
    hasher->pending_used = 0;
  }
  // Four lanes the processor runs side by side, kept in locals: the bytes may alias
  // anything, so lanes in memory would be stored and loaded again for every block.
  uint64_t lane[4] = {hasher->lane[0], hasher->lane[1], hasher->lane[2], hasher->lane[3]};
  for (; length >= 32; bytes += 32, length -= 32) MixBlock(lane, bytes);
  for (int k = 0; k < 4; ++k) hasher->lane[k] = lane[k];
  if (length > 0) memcpy(hasher->pending, bytes, length);
  hasher->pending_used = length;
}

uint64_t FinishReplayHash(ReplayHasher* hasher) {
  uint64_t hash = hasher->lane[0];
  for (int k = 1; k < 4; ++k) hash = (hash ^ hasher->lane[k]) * kHashPrime;
  for (size_t i = 0; i < hasher->pending_used; ++i) {
    hash = (hash ^ hasher->pending[i]) * kHashPrime;
  }
  return (hash ^ hasher->total) * kHashPrime;
}

uint64_t ReplayHash(const unsigned char* bytes, size_t length) {
  // It only has to tell apart replays of one length: a match is compared byte for
  // byte wherever the copy is there.
  ReplayHasher hasher;
  StartReplayHash(&hasher);
  AddToReplayHash(&hasher, bytes, length);
  return FinishReplayHash(&hasher);
}

bool HashReplayFile(const ReplayFile* file, uint64_t* hash) {
  ReplayHasher hasher;
  StartReplayHash(&hasher);
  ReplayPieces pieces;
  OpenReplayPieces(&pieces, file);
  const unsigned char* bytes = nullptr;
  for (size_t n; (n = TakeReplayBytes(&pieces, SIZE_MAX, &bytes)) > 0;) {
    AddToReplayHash(&hasher, bytes, n);
  }
  *hash = FinishReplayHash(&hasher);
  return CloseReplayPieces(&pieces);
}
