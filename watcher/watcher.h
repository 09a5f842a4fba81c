// The watcher pass: notices a new LastReplay.w3g, reads it, decodes its header and
// files a named copy. Everything runs on the caller's thread, one pass at a time.
#ifndef BRINDLECAP_WATCHER_WATCHER_H_
#define BRINDLECAP_WATCHER_WATCHER_H_

#include <stddef.h>
#include <stdint.h>

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

enum ReadOutcome {
  kReadWhole,     // *bytes holds the whole file; release it with free()
  kReadTooShort,  // under kReplayMinimumLength bytes, or its length is unknown
  kReadFailed,    // could not be opened, no memory, or fewer bytes came than it holds
};

// Reads a replay file whole into one heap block.
ReadOutcome ReadReplayFile(const char* path, unsigned char** bytes, size_t* length);

// One pass. With prime set, the file present now is recorded without a copy.
PassOutcome SaveLastReplay(bool prime);

#endif  // BRINDLECAP_WATCHER_WATCHER_H_
