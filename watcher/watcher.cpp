#include "watcher/watcher.h"

#include <stdio.h>
#include <stdlib.h>

#include "platform/platform.h"
#include "watcher/decode.h"
#include "watcher/filing.h"

bool SaveCustomGames = false;
bool DateTagEnabled = true;
char ReplayFolder[kPathSize];
int32_t ObservedStamp = 0;
int32_t LastSeenStamp = 0;

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
  if (file == nullptr) return kReadFailed;
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
    return kReadFailed;
  }
  // Bytes that were never read must not be copied as if they were the replay.
  const size_t got = PlatformRead(file, buffer, static_cast<size_t>(size));
  PlatformClose(file);
  if (got != static_cast<size_t>(size)) {
    free(buffer);
    return kReadFailed;
  }
  *bytes = buffer;
  *length = got;
  return kReadWhole;
}

PassOutcome SaveLastReplay(bool prime) {
  char path[kPathSize];
  int n = snprintf(path, sizeof path, "%s%s", ReplayFolder, "LastReplay.w3g");
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return kPassNothingNew;
  if (!FileExists(path)) return kPassNothingNew;
  if (ObservedStamp == LastSeenStamp) return kPassNothingNew;
  // Later probes in this pass overwrite ObservedStamp; keep this file's own stamp.
  const int32_t stamp = ObservedStamp;
  if (prime) {
    LastSeenStamp = stamp;
    return kPassPrimed;
  }

  // Until the copy is safely written the stamp stays unrecorded, so a file the game
  // still holds, a short read or a failed copy is tried again on the next pass.
  unsigned char* bytes = nullptr;
  size_t size = 0;
  switch (ReadReplayFile(path, &bytes, &size)) {
    case kReadTooShort:
      LastSeenStamp = stamp;
      return kPassTooShort;
    case kReadFailed:
      return kPassRetryLater;
    case kReadWhole:
      break;
  }

  DecodeResult result;
  DecodeReplay(bytes, size, &result);
  PassOutcome outcome;
  if (!result.ladder && !SaveCustomGames) {
    outcome = kPassNotLadder;
  } else {
    switch (FileReplay(&result, bytes, size)) {
      case kFiled: outcome = kPassFiled; break;
      case kNoFreeName: outcome = kPassNoName; break;
      default: outcome = kPassRetryLater; break;
    }
  }
  free(bytes);
  if (outcome != kPassRetryLater) LastSeenStamp = stamp;
  return outcome;
}
