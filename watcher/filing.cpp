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

// Digests of names, FNV-1a over their bytes, ASCII case aside where the system's
// names ignore it.
const uint64_t kDigestBasis = 14695981039346656037ull;
const uint64_t kDigestPrime = 1099511628211ull;

uint64_t AddToDigest(uint64_t digest, const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    unsigned char c = *p;
#ifdef _WIN32
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
#endif
    digest = (digest ^ c) * kDigestPrime;
  }
  return digest;
}

// 0 marks an empty place in the tables.
uint64_t Nonzero(uint64_t digest) { return digest == 0 ? 1 : digest; }

int SubfolderIndex(const char* subfolder) {
  for (int k = 0; k < kSubfolderCount; ++k) {
    if (strcmp(subfolder, kSubfolders[k]) == 0) return k;
  }
  return -1;
}

bool HoldsDigest(const TakenNames* taken, uint64_t digest) {
  if (taken->size == 0) return false;
  const size_t mask = taken->size - 1;
  for (size_t at = digest & mask;; at = (at + 1) & mask) {
    if (taken->digests[at] == digest) return true;
    if (taken->digests[at] == 0) return false;
  }
}

// Puts digest in its place of a table of size places (a power of two).
void PlaceDigest(uint64_t* digests, size_t size, uint64_t digest) {
  const size_t mask = size - 1;
  size_t at = digest & mask;
  while (digests[at] != 0 && digests[at] != digest) at = (at + 1) & mask;
  digests[at] = digest;
}

void NoteDigest(TakenNames* taken, uint64_t digest) {
  if (taken->out_of_memory || HoldsDigest(taken, digest)) return;
  if ((taken->used + 1) * 2 > taken->size) {
    const size_t size = taken->size == 0 ? 1024 : taken->size * 2;
    uint64_t* grown = static_cast<uint64_t*>(calloc(size, sizeof(uint64_t)));
    if (grown == nullptr) {
      taken->out_of_memory = true;
      return;
    }
    for (size_t i = 0; i < taken->size; ++i) {
      if (taken->digests[i] != 0) PlaceDigest(grown, size, taken->digests[i]);
    }
    free(taken->digests);
    taken->digests = grown;
    taken->size = size;
  }
  PlaceDigest(taken->digests, taken->size, digest);
  ++taken->used;
}

// The place of stem among the next counters, or where it would go.
TakenNames::NextCounter* CounterPlace(TakenNames::NextCounter* next, size_t size, uint64_t stem) {
  const size_t mask = size - 1;
  size_t at = stem & mask;
  while (next[at].stem != 0 && next[at].stem != stem) at = (at + 1) & mask;
  return &next[at];
}

int NextCounterOf(const TakenNames* taken, uint64_t stem) {
  if (taken->next_size == 0) return 0;
  const TakenNames::NextCounter* place = CounterPlace(taken->next, taken->next_size, stem);
  return place->stem == stem ? place->next : 0;
}

void SetNextCounter(TakenNames* taken, uint64_t stem, int counter) {
  if (taken->out_of_memory) return;
  if ((taken->next_used + 1) * 2 > taken->next_size) {
    const size_t size = taken->next_size == 0 ? 256 : taken->next_size * 2;
    TakenNames::NextCounter* grown =
        static_cast<TakenNames::NextCounter*>(calloc(size, sizeof(TakenNames::NextCounter)));
    if (grown == nullptr) {
      taken->out_of_memory = true;
      return;
    }
    for (size_t i = 0; i < taken->next_size; ++i) {
      const TakenNames::NextCounter& counter = taken->next[i];
      if (counter.stem != 0) *CounterPlace(grown, size, counter.stem) = counter;
    }
    free(taken->next);
    taken->next = grown;
    taken->next_size = size;
  }
  TakenNames::NextCounter* place = CounterPlace(taken->next, taken->next_size, stem);
  if (place->stem == 0) ++taken->next_used;
  *place = TakenNames::NextCounter{stem, counter};
}

// Notes the candidate path below folder as taken.
void NoteTakenPath(TakenNames* taken, const char* folder, const char* path) {
  if (taken == nullptr) return;
  NoteDigest(taken, Nonzero(AddToDigest(kDigestBasis, path + strlen(folder))));
}

struct SubfolderListing {
  TakenNames* taken;
  const char* subfolder;
};

int NoteListed(void* context, const char* name, PlatformKind, bool) {
  SubfolderListing* listing = static_cast<SubfolderListing*>(context);
  // A name the program cannot spell is no name it builds either.
  char spelt[kPathSize];
  if (PlatformPathFromSystem(name, spelt, sizeof spelt)) {
    NoteTakenName(listing->taken, listing->subfolder, spelt);
  }
  return listing->taken->out_of_memory ? 0 : 1;
}

// Lists the subfolder once, the first time a search comes to it. A subfolder that
// is not there holds no name yet.
void ListSubfolder(const char* folder, int index, TakenNames* taken) {
  char path[kPathSize];
  const int n = snprintf(path, sizeof path, "%s%s", folder, kSubfolders[index]);
  bool whole = false;
  if (n >= 0 && static_cast<size_t>(n) < sizeof path) {
    SubfolderListing listing = {taken, kSubfolders[index]};
    whole = PlatformListFolder(path, NoteListed, &listing) != 0 ||
            PlatformLastError() == kPlatformMissing;
  }
  NoteSubfolderListed(taken, kSubfolders[index], whole && !taken->out_of_memory);
}

}  // namespace

void ForgetTakenNames(TakenNames* taken) {
  free(taken->digests);
  free(taken->next);
  *taken = TakenNames();
}

void NoteTakenName(TakenNames* taken, const char* subfolder, const char* name) {
  NoteDigest(taken, Nonzero(AddToDigest(AddToDigest(kDigestBasis, subfolder), name)));
}

void NoteSubfolderListed(TakenNames* taken, const char* subfolder, bool whole) {
  const int index = SubfolderIndex(subfolder);
  if (index >= 0) taken->listed[index] = whole ? 1 : 2;
}

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
                         const ReplayCopy* same, TakenNames* taken) {
  const int index = SubfolderIndex(name->subfolder);
  if (taken != nullptr && same == nullptr && index >= 0) {
    if (taken->listed[index] == 0) ListSubfolder(folder, index, taken);
    if (taken->listed[index] == 1 && !taken->out_of_memory) {
      // Every name below the counter noted for this stem is known to be taken: the
      // search starts there, and each candidate costs a lookup, not a probe.
      const uint64_t stem = Nonzero(AddToDigest(
          AddToDigest(AddToDigest(kDigestBasis, name->subfolder), name->date_tag), name->body));
      const size_t below = strlen(folder);
      for (int i = NextCounterOf(taken, stem); i <= kLastCounter; ++i) {
        if (!ComposeCandidate(path, path_size, folder, name, i)) return kNoNameFits;
        if (HoldsDigest(taken, Nonzero(AddToDigest(kDigestBasis, path + below)))) continue;
        if (FindPlanned(planned, path) != nullptr) continue;
        SetNextCounter(taken, stem, i);
        return kFiled;
      }
      SetNextCounter(taken, stem, kLastCounter + 1);
      return kNoFreeName;
    }
  }
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
                         const ReplayGame* game, TakenNames* taken) {
  result->path[0] = '\0';
  result->error = kPlatformOk;
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  EnsureSubfolder(folder, name.subfolder);

  const ReplayCopy same = {file, 0};
  // Names the lookup took for free but the create found taken: a dangling link (the
  // lookup follows it, the create refuses it), a file that came meanwhile, or one
  // another program wrote since the subfolder was listed. The search goes on past
  // them.
  PlannedNames refused = {nullptr, 0, 0};
  PlatformFile* out = nullptr;
  for (;;) {
    const FileOutcome found =
        FindFreeName(folder, &name, &refused, result->path, sizeof result->path,
                     unless_there ? &same : nullptr, taken);
    if (found != kFiled) {
      ForgetPlannedNames(&refused);
      return found;
    }
    out = PlatformCreateNew(result->path);
    if (out != nullptr) break;
    result->error = PlatformLastError();
    if (result->error != kPlatformExists || !RememberPlanned(&refused, result->path, nullptr)) {
      ForgetPlannedNames(&refused);
      return kCopyFailed;
    }
    NoteTakenPath(taken, folder, result->path);
  }
  ForgetPlannedNames(&refused);
  // Taken now, whatever becomes of the copy: a name is never handed out twice.
  NoteTakenPath(taken, folder, result->path);
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
                       const ReplayCopy* same, const ReplayGame* game, TakenNames* taken) {
  ReplayName name;
  if (!PrepareName(decoded, options, date, folder, kPlatformPathLimit, &name, game)) {
    return kNoNameFits;
  }
  const FileOutcome found = FindFreeName(folder, &name, planned, path, path_size, same, taken);
  if (found != kFiled) return found;
  if (!RememberPlanned(planned, path, same)) return kNoMemory;
  NoteTakenPath(taken, folder, path);
  return kFiled;
}
