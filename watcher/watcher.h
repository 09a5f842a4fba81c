// The watcher pass: notices a new LastReplay.w3g, reads it, decodes its header and
// files a named copy. Everything runs on the caller's thread, one pass at a time.
#ifndef BRINDLECAP_WATCHER_WATCHER_H_
#define BRINDLECAP_WATCHER_WATCHER_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

enum {
  kPathSize = 1024,             // every path and name buffer: 1023 characters and a NUL
  kReplayMinimumLength = 5120,  // shorter files are never filed
};

// Settings, set once at start-up and only read by the pass.
extern bool SaveCustomGames;     // "-custom": file games that are not ladder games too
extern bool DateTagEnabled;      // on unless "-nodate"
extern bool ModernReading;       // "-modern": read headers by their lengths (modern.h)
extern char ReplayFolder[kPathSize];  // ends in a backslash

// Last-write time found by the latest FileExists, and that of the last-replay
// file when it was last accepted. Compared only for equality.
extern int32_t ObservedStamp;
extern int32_t LastSeenStamp;

// The part of a path the watcher wrote that lies below ReplayFolder (the path
// itself when it does not start there), as players are shown it.
const char* BelowReplayFolder(const char* path);

// 1 when the path names an existing entry; then ObservedStamp holds its stamp.
int FileExists(const char* path);

enum PassOutcome {
  kPassNothingNew,   // no last-replay file, or its stamp is the one already handled
  kPassPrimed,       // priming pass: the present file is recorded, not copied
  kPassTooShort,     // under kReplayMinimumLength bytes: recorded, never copied
  kPassNotLadder,    // a custom game while SaveCustomGames is off: recorded
  kPassFiled,        // copied; FiledPath names the copy
  kPassNoFreeName,   // every name up to [999] is taken: recorded, nothing overwritten
  kPassNoNameFits,   // the replay folder leaves no room for a name: recorded
  kPassRetryLater,   // could not be read or copied now; tried again on the next pass
};

enum ReadOutcome {
  kReadWhole,       // *bytes holds the whole file; release it with free()
  kReadTooShort,    // under kReplayMinimumLength bytes, or its length is unknown
  kReadMissing,     // nothing stands under the path
  kReadIsFolder,    // a folder stands there
  kReadNotAFile,    // a pipe, socket or device stands there
  kReadCannotOpen,  // there, but the system would not open it (held with no sharing, say)
  kReadCameShort,   // fewer bytes came than it holds: it shrank while being read
  kReadNoMemory,    // no buffer of its length could be had
};

// Reads a replay file whole into one heap block.
ReadOutcome ReadReplayFile(const char* path, unsigned char** bytes, size_t* length);

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
extern WatcherStatus WatchStatus;

// One pass over ReplayFolder, with LastSeenStamp and WatchStatus. With prime set,
// the file present now is recorded without a copy.
PassOutcome SaveLastReplay(bool prime);

// The same pass over folder's LastReplay.w3g (folder ends in a separator), with
// that folder's own stamp and status; its copies are filed below folder.
PassOutcome SaveReplayIn(const char* folder, int32_t* last_seen, WatcherStatus* status,
                         bool prime);

#endif  // BRINDLECAP_WATCHER_WATCHER_H_
