// The watcher pass: notices a new LastReplay.w3g, reads it, decodes its header and
// files a named copy. Everything runs on the caller's thread, one pass at a time.
#ifndef BRINDLECAP_WATCHER_WATCHER_H_
#define BRINDLECAP_WATCHER_WATCHER_H_

#include <stdint.h>

enum {
  kPathSize = 1024,             // every path and name buffer: 1023 characters and a NUL
  kReplayMinimumLength = 5120,  // shorter files are never filed
};

// Settings, set once at start-up and only read by the pass.
extern bool SaveCustomGames;     // "-custom": file games that are not ladder games too
extern bool DateTagEnabled;      // on unless "-nodate"
extern char ReplayFolder[kPathSize];  // ends in a backslash

// Last-write time found by the latest FileExists, and that of the last-replay
// file when it was last accepted. Compared only for equality.
extern int32_t ObservedStamp;
extern int32_t LastSeenStamp;

// 1 when the path names an existing entry; then ObservedStamp holds its stamp.
int FileExists(const char* path);

enum PassOutcome {
  kPassNothingNew,   // no last-replay file, or its stamp is the one already handled
  kPassPrimed,       // priming pass: the present file is recorded, not copied
  kPassTooShort,     // under kReplayMinimumLength bytes: recorded, never copied
  kPassNotLadder,    // a custom game while SaveCustomGames is off: recorded
  kPassFiled,        // copied; FiledPath names the copy
  kPassNoName,       // no free or fitting name: recorded, nothing overwritten
  kPassRetryLater,   // could not be read or copied now; tried again on the next pass
};

// One pass. With prime set, the file present now is recorded without a copy.
PassOutcome SaveLastReplay(bool prime);

#endif  // BRINDLECAP_WATCHER_WATCHER_H_
