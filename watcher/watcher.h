// The watcher pass: notices a new LastReplay.w3g, reads it, decodes its header and
// files a named copy. Everything runs on the caller's thread, one pass at a time.
#ifndef BRINDLECAP_WATCHER_WATCHER_H_
#define BRINDLECAP_WATCHER_WATCHER_H_

#include <stddef.h>
#include <stdint.h>

#include "naming/name.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "watcher/replay_file.h"

// What the switches ask of every pass, set once at start-up by whoever parses
// them and handed in.
struct WatchSettings {
  bool save_custom = false;                // "-custom": file games that are not ladder games too
  HeaderReading reading = kFixedReading;   // "-modern": read headers by their lengths
  NameOptions naming;                      // "-nodate", "-name TEMPLATE"
};

enum PassOutcome {
  kPassNothingNew,   // no last-replay file, or its stamp is the one already handled
  kPassPrimed,       // priming pass: the present file is recorded, not copied
  kPassTooShort,     // under kReplayMinimumLength bytes: recorded, never copied
  kPassNotLadder,    // a custom game while SaveCustomGames is off: recorded
  kPassFiled,        // copied; the folder's status names the copy (last_copy)
  kPassNoFreeName,   // every name up to [999] is taken: recorded, nothing overwritten
  kPassNoNameFits,   // the replay folder leaves no room for a name: recorded
  kPassRetryLater,   // could not be read or copied now; tried again on the next pass
  kPassSameFolder,   // another watched folder is this one under another spelling and
                     // files its replays: recorded, not copied
};

// Asked when a pass has found a new replay in folder, before it reads it: true
// when another watched folder is the same folder (links, another spelling) and
// files what it holds.
typedef bool (*WatchedElsewhere)(void* context, const char* folder);

// Decodes bytes[0, length) as settings ask (with scratch to work in) into result.
// Returns whether settings file it: a ladder game always, another game only with
// -custom. The pass, sort and name all decide so.
bool DecodeForFiling(const unsigned char* bytes, size_t length, const WatchSettings* settings,
                     DecodeScratch* scratch, DecodeResult* result);

// The whole replay read, when the names ask for what only it tells ({result},
// {winner}); NULL when they do not, so that no other name pays for it, or when no
// memory could be had (those fields are then empty). bytes: the file's head, which
// holds the whole of any real game. Release it with free().
ReplayGame* ReadGameForNames(const NameOptions* options, const unsigned char* bytes,
                             size_t length);

// Why the replay now in LastReplay.w3g has not been saved yet.
enum RetryReason {
  kRetryNothing,       // no replay is waiting
  kRetryCannotOpen,    // the game or another program holds the file, or it went away
  kRetryStillWriting,  // it changed or came short while being read
  kRetryNoMemory,      // no buffer for it
  kRetryCopyFailed,    // the copy under retry_path could not be made; copy_error says why
};

// What the passes have done since start, kept by the pass for the about box to
// show; the pass is its only writer.
struct WatcherStatus {
  int saved;                    // copies made
  char last_copy[kPathSize];    // the latest copy's path, "" before the first
  RetryReason retry;            // what keeps the waiting replay, if any, from a copy
  char retry_path[kPathSize];   // with kRetryCopyFailed, the copy that could not be made
  PlatformError copy_error;     // with kRetryCopyFailed, why
};

// One pass over folder's LastReplay.w3g (folder ends in a separator), with that
// folder's own stamp (its last-write time when last accepted, compared only for
// equality) and status; its copies are filed below folder. With prime set, the
// file present now is recorded without a copy. scratch is what the decode works in.
PassOutcome SaveReplayIn(const char* folder, int32_t* last_seen, WatcherStatus* status,
                         bool prime, const WatchSettings* settings, DecodeScratch* scratch,
                         WatchedElsewhere elsewhere = nullptr, void* context = nullptr);

#endif  // BRINDLECAP_WATCHER_WATCHER_H_
