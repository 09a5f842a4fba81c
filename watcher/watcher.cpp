#include "watcher/watcher.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "watcher/decode.h"
#include "watcher/filing.h"

bool SaveCustomGames = false;
bool DateTagEnabled = true;
char ReplayFolder[kPathSize];
int32_t ObservedStamp = 0;
int32_t LastSeenStamp = 0;
WatcherStatus WatchStatus;

namespace {

RetryReason ReasonOf(ReadOutcome outcome) {
  switch (outcome) {
    case kReadCameShort: return kRetryStillWriting;
    case kReadNoMemory: return kRetryNoMemory;
    default: return kRetryCannotOpen;
  }
}

// A pass that ends with the replay still waiting says why.
PassOutcome Retry(WatcherStatus* status, RetryReason reason) {
  status->retry = reason;
  status->retry_path[0] = '\0';
  if (reason == kRetryCopyFailed) {
    snprintf(status->retry_path, sizeof status->retry_path, "%s", FiledPath);
    status->copy_error = CopyError;
  }
  return kPassRetryLater;
}

}  // namespace

const char* BelowReplayFolder(const char* path) {
  const size_t length = strlen(ReplayFolder);
  return strncmp(path, ReplayFolder, length) == 0 ? path + length : path;
}

int FileExists(const char* path) {
  int32_t stamp = 0;
  if (!PlatformProbe(path, &stamp)) return 0;
  ObservedStamp = stamp;
  return 1;
}

ReadOutcome ReadReplayFile(const char* path, unsigned char** bytes, size_t* length) {
  *bytes = nullptr;
  *length = 0;
  PlatformFile* file = PlatformOpenRead(path);
  if (file == nullptr) {
    switch (PlatformLastError()) {
      case kPlatformMissing: return kReadMissing;
      case kPlatformIsFolder: return kReadIsFolder;
      case kPlatformNotAFile: return kReadNotAFile;
      default: return kReadCannotOpen;
    }
  }
  const int64_t size = PlatformFileLength(file);
  if (size < kReplayMinimumLength) {
    PlatformClose(file);
    return kReadTooShort;
  }
  unsigned char* buffer = nullptr;
  if (static_cast<uint64_t>(size) <= SIZE_MAX) {
    buffer = static_cast<unsigned char*>(malloc(static_cast<size_t>(size)));
  }
  if (buffer == nullptr) {
    PlatformClose(file);
    return kReadNoMemory;
  }
  // Bytes that were never read must not be copied as if they were the replay.
  const size_t got = PlatformRead(file, buffer, static_cast<size_t>(size));
  PlatformClose(file);
  if (got != static_cast<size_t>(size)) {
    free(buffer);
    return kReadCameShort;
  }
  *bytes = buffer;
  *length = got;
  return kReadWhole;
}

PassOutcome SaveLastReplay(bool prime) {
  return SaveReplayIn(ReplayFolder, &LastSeenStamp, &WatchStatus, prime);
}

PassOutcome SaveReplayIn(const char* folder, int32_t* last_seen, WatcherStatus* status,
                         bool prime) {
  char path[kPathSize];
  int n = snprintf(path, sizeof path, "%s%s", folder, "LastReplay.w3g");
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return kPassNothingNew;
  if (!FileExists(path)) return kPassNothingNew;
  if (ObservedStamp == *last_seen) return kPassNothingNew;
  // Later probes in this pass overwrite ObservedStamp; keep this file's own stamp.
  const int32_t stamp = ObservedStamp;
  if (prime) {
    *last_seen = stamp;
    return kPassPrimed;
  }

  // Until the copy is safely written the stamp stays unrecorded, so a file the game
  // still holds, a short read or a failed copy is tried again on the next pass.
  unsigned char* bytes = nullptr;
  size_t size = 0;
  const ReadOutcome read = ReadReplayFile(path, &bytes, &size);
  if (read == kReadTooShort) {
    *last_seen = stamp;
    status->retry = kRetryNothing;
    return kPassTooShort;
  }
  if (read != kReadWhole) return Retry(status, ReasonOf(read));
  // The game may have written on while we read: a new stamp or length means what
  // we hold may be half a replay. Take it whole on a later pass.
  int32_t stamp_after = 0;
  int64_t length_after = -1;
  if (!PlatformProbe(path, &stamp_after, &length_after) || stamp_after != stamp ||
      length_after != static_cast<int64_t>(size)) {
    free(bytes);
    return Retry(status, kRetryStillWriting);
  }

  DecodeResult result;
  DecodeReplay(bytes, size, &result);
  PassOutcome outcome;
  if (!result.ladder && !SaveCustomGames) {
    outcome = kPassNotLadder;
  } else {
    switch (FileReplayIn(folder, &result, bytes, size)) {
      case kFiled: outcome = kPassFiled; break;
      case kNoFreeName: outcome = kPassNoFreeName; break;
      case kNoNameFits: outcome = kPassNoNameFits; break;
      default: outcome = kPassRetryLater; break;
    }
  }
  free(bytes);
  if (outcome == kPassRetryLater) return Retry(status, kRetryCopyFailed);
  *last_seen = stamp;
  status->retry = kRetryNothing;
  if (outcome == kPassFiled) {
    ++status->saved;
    snprintf(status->last_copy, sizeof status->last_copy, "%s", FiledPath);
  }
  return outcome;
}
