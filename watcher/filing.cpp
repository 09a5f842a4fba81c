#include "watcher/filing.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

namespace {

const int kLastCounter = 999;
// First block a plan takes for its names: room for about a hundred long paths.
const size_t kPlannedBlock = 65536;

// A planned entry: the length and hash of the bytes planned under a path, then
// the path itself.
struct PlannedEntry {
  uint64_t length;
  uint64_t hash;
};
const size_t kEntryHead = sizeof(PlannedEntry);

// The entry planned under path, or NULL.
const char* FindPlanned(const PlannedNames* planned, const char* path) {
  if (planned == nullptr) return nullptr;
  for (size_t at = 0; at < planned->used;) {
    const char* entry = planned->text + at;
    if (SamePathSpelling(entry + kEntryHead, path)) return entry;
    at += kEntryHead + strlen(entry + kEntryHead) + 1;
  }
  return nullptr;
}

bool PlannedSame(const char* entry, const ReplayCopy* same) {
  PlannedEntry head;
  memcpy(&head, entry, sizeof head);
  return head.length == same->length && head.hash == same->hash;
}

// Remembers path and what would be written there. Returns false when memory
// runs out.
bool RememberPlanned(PlannedNames* planned, const char* path, const ReplayCopy* same) {
  const size_t length = kEntryHead + strlen(path) + 1;
  if (planned->size - planned->used < length) {
    size_t size = planned->size == 0 ? kPlannedBlock : planned->size * 2;
    if (size - planned->used < length) size = planned->used + length;
    char* grown = static_cast<char*>(realloc(planned->text, size));
    if (grown == nullptr) return false;
    planned->text = grown;
    planned->size = size;
  }
  const PlannedEntry head = {same != nullptr ? same->length : 0, same != nullptr ? same->hash : 0};
  memcpy(planned->text + planned->used, &head, sizeof head);
  memcpy(planned->text + planned->used + kEntryHead, path, length - kEntryHead);
  planned->used += length;
  return true;
}

}  // namespace

NameDate NameDateOf(const PlatformTime& time) {
  return NameDate{time.year, time.month, time.day, time.hour, time.minute, time.second};
}

NameDate LocalNameDate() {
  PlatformTime now;
  PlatformLocalTime(&now);
  return NameDateOf(now);
}

void EnsureSubfolder(const char* folder, const char* subfolder) {
  char path[kPathSize];
  int n = snprintf(path, sizeof path, "%s%s", folder, subfolder);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return;
  int32_t stamp = 0;
  if (!PlatformProbe(path, &stamp)) PlatformMakeDirectory(path);
}

void ForgetPlannedNames(PlannedNames* planned) {
  free(planned->text);
  planned->text = nullptr;
  planned->used = planned->size = 0;
}

// Read in pieces, so that the first difference ends it, and to its end, so that
// a longer file differs.
bool HoldsSameBytes(const char* path, const ReplayCopy* same) {
  PlatformFile* file = PlatformOpenRead(path);
  if (file == nullptr) return false;
  unsigned char piece[65536];
  bool equal = true;
  for (size_t at = 0; equal && at < same->length;) {
    const size_t want = same->length - at < sizeof piece ? same->length - at : sizeof piece;
    equal = PlatformRead(file, piece, want) == want && memcmp(piece, same->bytes + at, want) == 0;
    at += want;
  }
  if (equal) equal = PlatformRead(file, piece, 1) == 0;
  PlatformClose(file);
  return equal;
}

uint64_t ReplayHash(const unsigned char* bytes, size_t length) {
  // FNV-1a over eight bytes at a time, in four lanes that the processor runs side
  // by side (sort hashes every replay it reads): it only has to tell apart replays
  // of one length, and a match is compared byte for byte wherever the copy is there.
  const uint64_t kPrime = 1099511628211ull;
  uint64_t lane[4] = {14695981039346656037ull, 14695981039346656037ull ^ 1,
                      14695981039346656037ull ^ 2, 14695981039346656037ull ^ 3};
  size_t at = 0;
  for (; at + 32 <= length; at += 32) {
    for (int k = 0; k < 4; ++k) {
      uint64_t word;
      memcpy(&word, bytes + at + 8 * k, sizeof word);
      lane[k] = (lane[k] ^ word) * kPrime;
    }
  }
  uint64_t hash = lane[0];
  for (int k = 1; k < 4; ++k) hash = (hash ^ lane[k]) * kPrime;
  for (; at < length; ++at) hash = (hash ^ bytes[at]) * kPrime;
  return (hash ^ length) * kPrime;
}

FileOutcome FindFreeName(const char* folder, const ReplayName* name,
                         const PlannedNames* planned, char* path, size_t path_size,
                         const ReplayCopy* same) {
  for (int i = 0; i <= kLastCounter; ++i) {
    if (!ComposeCandidate(path, path_size, folder, name, i)) return kNoNameFits;
    int32_t stamp = 0;
    int64_t length = -1;
    if (PlatformProbe(path, &stamp, same != nullptr ? &length : nullptr)) {
      // The length from the probe spares reading every candidate of another size.
      if (same != nullptr && length == static_cast<int64_t>(same->length) &&
          HoldsSameBytes(path, same)) {
        return kAlreadyThere;
      }
      continue;
    }
    const char* entry = FindPlanned(planned, path);
    if (entry == nullptr) return kFiled;
    if (same != nullptr && PlannedSame(entry, same)) return kAlreadyThere;
  }
  return kNoFreeName;
}

FileOutcome FileReplayIn(const char* folder, const DecodeResult* decoded,
                         const NameOptions* options, const NameDate* date,
                         const unsigned char* bytes, size_t length, bool unless_there,
                         FileResult* result, const ReplayGame* game) {
  result->path[0] = '\0';
  result->error = kPlatformOk;
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  EnsureSubfolder(folder, name.subfolder);

  const ReplayCopy same = {bytes, length, 0};
  // Names the lookup took for free but the create found taken: a dangling link (the
  // lookup follows it, the create refuses it) or a file that came meanwhile. The
  // search goes on past them.
  PlannedNames taken = {nullptr, 0, 0};
  PlatformFile* file = nullptr;
  for (;;) {
    const FileOutcome found = FindFreeName(folder, &name, &taken, result->path,
                                           sizeof result->path, unless_there ? &same : nullptr);
    if (found != kFiled) {
      ForgetPlannedNames(&taken);
      return found;
    }
    file = PlatformCreateNew(result->path);
    if (file != nullptr) break;
    result->error = PlatformLastError();
    if (result->error != kPlatformExists || !RememberPlanned(&taken, result->path, nullptr)) {
      ForgetPlannedNames(&taken);
      return kCopyFailed;
    }
  }
  ForgetPlannedNames(&taken);
  const bool whole = PlatformWrite(file, bytes, length) == length;
  result->error = PlatformLastError();
  const bool closed = PlatformClose(file) != 0;
  if (!whole || !closed) {
    if (whole) result->error = PlatformLastError();
    // A truncated copy under a real replay name would pass for the replay itself.
    PlatformRemove(result->path);
    return kCopyFailed;
  }
  result->error = kPlatformOk;
  return kFiled;
}

FileOutcome PlanReplay(const char* folder, const DecodeResult* decoded, const NameOptions* options,
                       const NameDate* date, PlannedNames* planned, char* path, size_t path_size,
                       const unsigned char* bytes, size_t length, const ReplayGame* game) {
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  ReplayCopy same = {bytes, length, 0};
  if (bytes != nullptr) same.hash = ReplayHash(bytes, length);
  const ReplayCopy* looked_for = bytes != nullptr ? &same : nullptr;
  const FileOutcome found = FindFreeName(folder, &name, planned, path, path_size, looked_for);
  if (found != kFiled) return found;
  return RememberPlanned(planned, path, looked_for) ? kFiled : kNoMemory;
}
