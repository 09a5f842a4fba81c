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
  return head.length == same->file->length && head.hash == same->hash;
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
  const PlannedEntry head = {same != nullptr ? same->file->length : 0,
                             same != nullptr ? same->hash : 0};
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
bool HoldsSameBytes(const char* path, const ReplayCopy* same, FileDigest* digest) {
  if (digest != nullptr) *digest = FileDigest{false, 0};
  PlatformFile* other = PlatformOpenRead(path);
  if (other == nullptr) return false;
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kReplayPiece));
  ReplayPieces pieces;
  bool equal = OpenReplayPieces(&pieces, same->file) && buffer != nullptr;
  bool readable = buffer != nullptr;
  ReplayHasher hasher;
  StartReplayHash(&hasher);
  const uint64_t length = same->file->length;
  uint64_t at = 0;
  while (readable && at < length && (equal || digest != nullptr)) {
    const size_t want =
        length - at < kReplayPiece ? static_cast<size_t>(length - at) : kReplayPiece;
    readable = PlatformRead(other, buffer, want) == want;
    if (!readable) break;
    if (digest != nullptr) AddToReplayHash(&hasher, buffer, want);
    for (size_t done = 0; equal && done < want;) {
      const unsigned char* bytes = nullptr;
      const size_t n = TakeReplayBytes(&pieces, want - done, &bytes);
      equal = n > 0 && memcmp(bytes, buffer + done, n) == 0;
      done += n;
    }
    at += want;
  }
  unsigned char extra;
  const bool ends = readable && at == length && PlatformRead(other, &extra, 1) == 0;
  PlatformClose(other);
  free(buffer);
  equal = CloseReplayPieces(&pieces) && equal && ends;
  if (digest != nullptr && ends) *digest = FileDigest{true, FinishReplayHash(&hasher)};
  return equal;
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
      if (same != nullptr && length == static_cast<int64_t>(same->file->length) &&
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
                         const ReplayFile* file, bool unless_there, FileResult* result,
                         const ReplayGame* game) {
  result->path[0] = '\0';
  result->error = kPlatformOk;
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  EnsureSubfolder(folder, name.subfolder);

  const ReplayCopy same = {file, 0};
  // Names the lookup took for free but the create found taken: a dangling link (the
  // lookup follows it, the create refuses it) or a file that came meanwhile. The
  // search goes on past them.
  PlannedNames taken = {nullptr, 0, 0};
  PlatformFile* out = nullptr;
  for (;;) {
    const FileOutcome found = FindFreeName(folder, &name, &taken, result->path,
                                           sizeof result->path, unless_there ? &same : nullptr);
    if (found != kFiled) {
      ForgetPlannedNames(&taken);
      return found;
    }
    out = PlatformCreateNew(result->path);
    if (out != nullptr) break;
    result->error = PlatformLastError();
    if (result->error != kPlatformExists || !RememberPlanned(&taken, result->path, nullptr)) {
      ForgetPlannedNames(&taken);
      return kCopyFailed;
    }
  }
  ForgetPlannedNames(&taken);
  // Held whole it is one write; a file longer than any replay comes in pieces.
  ReplayPieces pieces;
  OpenReplayPieces(&pieces, file);
  bool written = true;
  const unsigned char* bytes = nullptr;
  for (size_t n; written && (n = TakeReplayBytes(&pieces, SIZE_MAX, &bytes)) > 0;) {
    written = PlatformWrite(out, bytes, n) == n;
    if (!written) result->error = PlatformLastError();
  }
  const bool closed = PlatformClose(out) != 0;
  if (written && !closed) result->error = PlatformLastError();
  const bool unchanged = CloseReplayPieces(&pieces);
  if (!written || !closed || !unchanged) {
    // A truncated copy under a real replay name would pass for the replay itself,
    // and one half old, half new for a replay that never was.
    PlatformRemove(result->path);
    if (written && closed) {
      result->error = kPlatformOk;
      return kSourceChanged;
    }
    return kCopyFailed;
  }
  result->error = kPlatformOk;
  return kFiled;
}

FileOutcome PlanReplay(const char* folder, const DecodeResult* decoded, const NameOptions* options,
                       const NameDate* date, PlannedNames* planned, char* path, size_t path_size,
                       const ReplayCopy* same, const ReplayGame* game) {
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  const FileOutcome found = FindFreeName(folder, &name, planned, path, path_size, same);
  if (found != kFiled) return found;
  return RememberPlanned(planned, path, same) ? kFiled : kNoMemory;
}
