#include "watcher/watcher.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "replay/decode.h"
#include "replay/modern.h"
#include "naming/name_template.h"
#include "watcher/filing.h"

namespace {

RetryReason ReasonOf(ReadOutcome outcome) {
  switch (outcome) {
    case kReadCameShort: return kRetryStillWriting;
    case kReadNoMemory: return kRetryNoMemory;
    default: return kRetryCannotOpen;
  }
}

// A pass that ends with the replay still waiting says why.
PassOutcome Retry(WatcherStatus* status, RetryReason reason, const FileResult* filed = nullptr) {
  status->retry = reason;
  status->retry_path[0] = '\0';
  if (reason == kRetryCopyFailed) {
    snprintf(status->retry_path, sizeof status->retry_path, "%s", filed->path);
    status->copy_error = filed->error;
  }
  return kPassRetryLater;
}

}  // namespace

bool DecodeForFiling(const unsigned char* bytes, size_t length, const WatchSettings* settings,
                     DecodeScratch* scratch, DecodeResult* result) {
  DecodeReplay(bytes, length, settings->reading, scratch, result);
  return result->ladder || settings->save_custom;
}

ReplayGame* ReadGameForNames(const NameOptions* options, const unsigned char* bytes,
                             size_t length) {
  if (!TemplateReadsWholeReplay(options->name_template)) return nullptr;
  ReplayGame* game = static_cast<ReplayGame*>(malloc(sizeof(ReplayGame)));
  GameReadScratch* scratch = static_cast<GameReadScratch*>(malloc(sizeof(GameReadScratch)));
  if (game != nullptr && scratch != nullptr) ReadReplayGame(bytes, length, scratch, game);
  free(scratch);
  if (scratch == nullptr) {
    free(game);
    return nullptr;
  }
  return game;
}

PassOutcome SaveReplayIn(const char* folder, int32_t* last_seen, WatcherStatus* status,
                         bool prime, const WatchSettings* settings, DecodeScratch* scratch,
                         WatchedElsewhere elsewhere, void* context) {
  char path[kPathSize];
  int n = snprintf(path, sizeof path, "%s%s", folder, "LastReplay.w3g");
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return kPassNothingNew;
  int32_t stamp = 0;
  if (!PlatformProbe(path, &stamp)) return kPassNothingNew;
  if (stamp == *last_seen) return kPassNothingNew;
  if (prime) {
    *last_seen = stamp;
    return kPassPrimed;
  }
  // Asked only now, so that a pass that finds nothing new costs one probe.
  if (elsewhere != nullptr && elsewhere(context, folder)) {
    *last_seen = stamp;
    status->retry = kRetryNothing;
    return kPassSameFolder;
  }

  // Until the copy is safely written the stamp stays unrecorded, so a file the game
  // still holds, a short read or a failed copy is tried again on the next pass.
  ReplayFile file;
  const ReadOutcome read = ReadReplayFile(path, &file, settings->reading);
  if (read == kReadTooShort) {
    *last_seen = stamp;
    status->retry = kRetryNothing;
    return kPassTooShort;
  }
  if (read != kReadDone) return Retry(status, ReasonOf(read));
  // The game may have written on while we read: a new stamp or length means what
  // we hold may be half a replay. Take it whole on a later pass.
  int32_t stamp_after = 0;
  int64_t length_after = -1;
  if (!PlatformProbe(path, &stamp_after, &length_after) || stamp_after != stamp ||
      length_after != static_cast<int64_t>(file.length)) {
    ReleaseReplayFile(&file);
    return Retry(status, kRetryStillWriting);
  }

  DecodeResult result;
  PassOutcome outcome;
  FileResult filed;
  if (!DecodeForFiling(file.head, file.held, settings, scratch, &result)) {
    outcome = kPassNotLadder;
  } else {
    const NameDate now = LocalNameDate();
    ReplayGame* game = ReadGameForNames(&settings->naming, file.head, file.held);
    const FileOutcome filing =
        FileReplayIn(folder, &result, &settings->naming, &now, &file, false, &filed, game);
    free(game);
    switch (filing) {
      case kFiled: outcome = kPassFiled; break;
      case kNoFreeName: outcome = kPassNoFreeName; break;
      case kNoNameFits: outcome = kPassNoNameFits; break;
      case kSourceChanged:
        ReleaseReplayFile(&file);
        return Retry(status, kRetryStillWriting);
      default: outcome = kPassRetryLater; break;
    }
  }
  ReleaseReplayFile(&file);
  if (outcome == kPassRetryLater) return Retry(status, kRetryCopyFailed, &filed);
  *last_seen = stamp;
  status->retry = kRetryNothing;
  if (outcome == kPassFiled) {
    ++status->saved;
    snprintf(status->last_copy, sizeof status->last_copy, "%s", filed.path);
  }
  return outcome;
}
