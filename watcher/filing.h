// Filing: the free-name search below a folder, the copy written whole or not at
// all, and the plans of a run that writes nothing. Names come from naming/; this
// is where they meet the disk.
#ifndef BRINDLECAP_WATCHER_FILING_H_
#define BRINDLECAP_WATCHER_FILING_H_

#include <stddef.h>
#include <stdint.h>

#include "naming/name.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "watcher/replay_file.h"

// The local date and time now, as names carry it.
NameDate LocalNameDate();

// A date the seam gave, as names carry it.
NameDate NameDateOf(const PlatformTime& time);

// Creates folder+subfolder when the probe does not find it; failure is ignored.
void EnsureSubfolder(const char* folder, const char* subfolder);

// Where a filing went: the copy's path (or, after kCopyFailed, the copy it could
// not make) and why a copy failed.
struct FileResult {
  char path[kPathSize];
  PlatformError error;
};

enum FileOutcome {
  kFiled,        // copy written whole; the result's path names it (a plan: where it would go)
  kNoFreeName,   // every candidate up to [999] is taken: nothing written
  kNoNameFits,   // not even an empty body fits the path limits: nothing written
  kCopyFailed,   // could not be created or written, the result's error says why;
                 // nothing is left behind
  kNoMemory,     // a plan could not be remembered
  kAlreadyThere, // the same bytes already stand under one of the candidate names
                 // (or were planned there): nothing written; the result's path
                 // (a plan: path) names that copy
  kSourceChanged, // the replay's rest on disk is not what was read any more (the game
                  // writing on, or another file put in its place): nothing is left
};

// A replay looked for among the names the free-name search walks: a candidate
// that holds exactly its bytes means the replay is already filed. hash is the
// file's ReplayHash, needed only where plans are consulted.
struct ReplayCopy {
  const ReplayFile* file;
  uint64_t hash;
};

// What a comparison learnt of the other file on its way: its ReplayHash, when it
// was read whole and was as long as the replay.
struct FileDigest {
  bool whole;
  uint64_t hash;
};

// True when the file under path holds exactly same's bytes (and the replay's rest
// on disk is still what was read). Both are read in pieces, up to the first
// difference; with digest given, the file is read to its end whatever it holds,
// for its hash.
bool HoldsSameBytes(const char* path, const ReplayCopy* same, FileDigest* digest = nullptr);

// Names handed out by a run that writes nothing (sort --dry-run). A real run finds
// its own earlier copies on disk; a plan must remember them to predict the same
// [1], [2] for repeats, and the length and hash of what it planned there to
// predict "already there". One growing block of entries (length, hash, NUL-ended
// path); zero-initialise it.
struct PlannedNames {
  char* text;
  size_t used;
  size_t size;
};

// Releases what the planned names hold and empties them.
void ForgetPlannedNames(PlannedNames* planned);

// The names a run of many filings into one folder knows to be taken in its
// subfolders: what one listing of each subfolder found, and every name the run
// has taken since. With it the free-name search goes straight to the next free
// name, with no probe for each taken one; the copy is still created only where
// nothing stands, so a name that another program takes meanwhile is passed
// over (and noted), never overwritten. The tray program's pass, one replay at a
// time, goes without. Names are kept as 64-bit digests of the subfolder and the
// name (ASCII case aside on Windows, whose names ignore it): two names of one
// digest would only make the later one count as taken too. Zero-initialise.
struct TakenNames {
  uint64_t* digests;  // open addressing; 0 marks an empty place
  size_t used;
  size_t size;
  // By name stem (subfolder, tag and body): the lowest counter that may be free.
  struct NextCounter {
    uint64_t stem;  // 0 marks an empty place
    int next;
  }* next;
  size_t next_used;
  size_t next_size;
  // By subfolder (kSubfolders' order): 0 not listed yet, 1 listed whole, 2 could
  // not be listed (its names are then probed, as without TakenNames).
  unsigned char listed[kSubfolderCount];
  bool out_of_memory;  // a name could not be noted: its subfolder is probed from then on
};

// Releases what the names hold and empties them.
void ForgetTakenNames(TakenNames* taken);

// Notes name (a file name alone, in the program's spelling) as taken in subfolder
// ("1v1\" ... "Custom\").
void NoteTakenName(TakenNames* taken, const char* subfolder, const char* name);

// Says that every name of subfolder is noted: a listing of it went through whole
// (whole), or it could not be listed and its names are to be probed (!whole).
void NoteSubfolderListed(TakenNames* taken, const char* subfolder, bool whole);

// The free-name search: the first of folder+subfolder+tag+body+".w3g", then
// "[1]" to "[999]", that nothing stands under and, when planned is given, that
// was not planned before (Windows names ignore ASCII case, so plans do too).
// Writes it to path. Returns kFiled, kNoFreeName, or kNoNameFits when a candidate
// does not fit path_size. With same given, a candidate taken by a copy of exactly
// those bytes ends the search with kAlreadyThere and path naming it; only a
// candidate of the same length is read. With taken given (and no same), what
// nothing stands under is what taken does not hold, the subfolder listed once
// the first time the search comes to it, rather than a probe of each candidate.
FileOutcome FindFreeName(const char* folder, const ReplayName* name,
                         const PlannedNames* planned, char* path, size_t path_size,
                         const ReplayCopy* same = nullptr, TakenNames* taken = nullptr);

// Files a byte-for-byte copy of the replay file below folder (ending in a
// separator), named by options and date; what it holds past its head is copied
// from disk in pieces. With unless_there set, a copy of the same bytes under one
// of the candidate names makes it kAlreadyThere instead of another copy. result
// says where it went, or why it failed.
FileOutcome FileReplayIn(const char* folder, const DecodeResult* decoded,
                         const NameOptions* options, const NameDate* date,
                         const ReplayFile* file, bool unless_there, FileResult* result,
                         const ReplayGame* game = nullptr, TakenNames* taken = nullptr);

// (game: the whole replay read, for the names that ask for it; see watcher.h.
// taken: the names a run of many filings into folder knows, which the copy's
// name joins.)

// FileReplayIn without the copy: where it would go below folder, now that the
// names in planned are taken too; that name is added to planned. Writes nothing,
// makes no folder. With same given (the replay and its hash), answers
// kAlreadyThere as FileReplayIn with unless_there would, counting what planned
// holds as written.
FileOutcome PlanReplay(const char* folder, const DecodeResult* decoded, const NameOptions* options,
                       const NameDate* date, PlannedNames* planned, char* path, size_t path_size,
                       const ReplayCopy* same = nullptr, const ReplayGame* game = nullptr,
                       TakenNames* taken = nullptr);

#endif  // BRINDLECAP_WATCHER_FILING_H_
