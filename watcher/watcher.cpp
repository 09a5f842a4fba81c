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
  PlatformFile* file = PlatformOpenRead(path);
  if (file == nullptr) return kPassRetryLater;
  const int64_t length = PlatformFileLength(file);
  if (length < kReplayMinimumLength) {
    PlatformClose(file);
    LastSeenStamp = stamp;
    return kPassTooShort;
  }
  unsigned char* bytes = nullptr;
  if (static_cast<uint64_t>(length) <= SIZE_MAX) {
    bytes = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
  }
  if (bytes == nullptr) {
    PlatformClose(file);
    return kPassRetryLater;
  }
  const size_t size = static_cast<size_t>(length);
  const size_t got = PlatformRead(file, bytes, size);
  PlatformClose(file);
  if (got != size) {
    free(bytes);
    return kPassRetryLater;
  }

  DecodeResult result;
  Decode(bytes, size, &result);
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
