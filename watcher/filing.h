// Output naming and filing: subfolder, name body, date tag, free name, the copy.
#ifndef BRINDLECAP_WATCHER_FILING_H_
#define BRINDLECAP_WATCHER_FILING_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "watcher/decode.h"
#include "watcher/watcher.h"

// The date tag that leads the latest name: "[BCmmdd]", or "" when DateTagEnabled
// is off. Also "" once a -name template has been filled, which puts the tag
// where its {date} stands.
extern char DateTag[16];

// The date and time the latest name was built from (BuildDateTag sets it): the
// moment of filing, read from the clock, or while NameTimeFixed is set, the time
// put in NameTime by the caller (sort: the time the game wrote the replay).
extern PlatformTime NameTime;
extern bool NameTimeFixed;

// "-name TEMPLATE": the template names are built from; "" for the default.
extern char NameTemplate[kPathSize];

// Path of the latest copy FileReplay wrote, or after kCopyFailed the copy it
// could not make.
extern char FiledPath[kPathSize];

// Why the latest FileReplay returned kCopyFailed.
extern PlatformError CopyError;

// Most characters of one player name that go into a ladder name body.
int NameCap(int players);

// 'h', 'o', 'e', 'u' for race bits 1, 2, 4, 8; 'r' for every other value.
char RaceLetter(int race);

// Appends at most cap characters of source to destination, never writing past
// destination_size bytes, and keeps destination terminated.
void AppendCapped(char* destination, size_t destination_size, const char* source, size_t cap);

// Where a cut of text to at most length bytes must fall so that it does not end
// inside a UTF-8 character: length itself, or the first byte of the character that
// the cut would split. Bytes below 0x80 never move it.
size_t Utf8CutPoint(const char* text, size_t length);

// Appends a player's name, at most cap bytes of it and never half a UTF-8
// character, and the race tag "(x)"; nothing at all for a name that IsRealPlayer
// leaves out.
void AppendPlayer(char* body, size_t body_size, const char* name, int race, size_t cap);

// Replaces, in place, the characters a file name cannot or should not carry:
// " \ / . : * ! @ # % $ ; , ? and, because Windows refuses them, < > | and the
// control bytes 1 to 31. Everything else stays.
void SanitisePlayerName(char* text);

// Replaces, in place, every byte that is not an ASCII letter or digit.
void SanitiseGameName(char* text);

// Creates folder+subfolder when the probe does not find it; failure is ignored.
void EnsureSubfolder(const char* folder, const char* subfolder);

// "Custom\", "FFA\", "1v1\", "2v2\", "3v3\" or "4v4\".
const char* ChooseSubfolder(const DecodeResult* result);

// The name body: players and race tags for a ladder game, the sanitised game name
// otherwise.
void BuildNameBody(const DecodeResult* result, char* body, size_t body_size);

// Reads the clock into NameTime unless NameTimeFixed is set, then rebuilds DateTag
// from NameTime's month and day (or empties it when DateTagEnabled is off).
void BuildDateTag();

// Shortens body so that every candidate folder+subfolder+DateTag+body[+"[999]"]+".w3g"
// fits kPlatformPathLimit and its file name fits 255 characters, and keeps it clear of
// names Windows reserves for devices. A body that leaves the name empty (no DateTag
// either) becomes "Replay", as much of it as fits (with no room for a letter it
// stays empty). Returns 0 when not even an empty body fits.
int FitNameBody(char* body, const char* folder, const char* subfolder);

// Candidate i of the free-name search: folder, subfolder, DateTag, body, "[i]" from
// i = 1 on, ".w3g". Returns 0 when it does not fit out_size.
int ComposeCandidate(char* out, size_t out_size, const char* folder, const char* subfolder,
                     const char* body, int i);

// The length of body's leading device name (CON, PRN, AUX, NUL, COM1 to LPT9, COM¹
// to LPT³ with superscript digits, any case) as Windows finds one, before the
// first dot with trailing blanks dropped; 0 when there is none.
size_t DeviceStemLength(const char* body);

// Rebuilds DateTag and builds the name body: as always without a template (or
// with the default one), else the filled NameTemplate, which holds the date tag
// itself (DateTag is then emptied). Not fitted.
void BuildName(const DecodeResult* result, const char* subfolder, char* body,
               size_t body_size);

// Everything but the counter: BuildName, then fits the body for folder. Returns
// the subfolder, or NULL when no name fits.
const char* PrepareName(const DecodeResult* result, const char* folder, char* body,
                        size_t body_size);

enum FileOutcome {
  kFiled,        // copy written whole; FiledPath names it (a plan: where it would go)
  kNoFreeName,   // every candidate up to [999] is taken: nothing written
  kNoNameFits,   // not even an empty body fits the path limits: nothing written
  kCopyFailed,   // could not be created or written, CopyError says why; nothing
                 // is left behind
  kNoMemory,     // a plan could not be remembered
  kAlreadyThere, // the same bytes already stand under one of the candidate names
                 // (or were planned there): nothing written; FiledPath (a plan:
                 // path) names that copy
};

// A replay looked for among the names the free-name search walks: a candidate
// that holds exactly these bytes means the replay is already filed. hash is
// ReplayHash(bytes, length), needed only where plans are consulted.
struct ReplayCopy {
  const unsigned char* bytes;
  size_t length;
  uint64_t hash;
};

// A 64-bit digest of the bytes, to recognise a planned copy without keeping it.
uint64_t ReplayHash(const unsigned char* bytes, size_t length);

// True when the file under path holds exactly same's bytes; it is read in pieces
// up to the first difference.
bool HoldsSameBytes(const char* path, const ReplayCopy* same);

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

// The free-name search: the first of folder+subfolder+DateTag+body+".w3g", then
// "[1]" to "[999]", that nothing stands under and, when planned is given, that
// was not planned before (Windows names ignore ASCII case, so plans do too).
// Writes it to path. Returns kFiled, kNoFreeName, or kNoNameFits when a candidate
// does not fit path_size. With same given, a candidate taken by a copy of exactly
// those bytes ends the search with kAlreadyThere and path naming it; only a
// candidate of the same length is read.
FileOutcome FindFreeName(const char* folder, const char* subfolder, const char* body,
                         const PlannedNames* planned, char* path, size_t path_size,
                         const ReplayCopy* same = nullptr);

// Files a byte-for-byte copy of bytes[0, length) under ReplayFolder. With
// unless_there set, a copy of the same bytes under one of the candidate names
// makes it kAlreadyThere instead of another copy.
FileOutcome FileReplay(const DecodeResult* result, const unsigned char* bytes, size_t length,
                       bool unless_there = false);

// FileReplay below folder (ending in a separator) instead of ReplayFolder: each
// watched folder files its copies below itself.
FileOutcome FileReplayIn(const char* folder, const DecodeResult* result,
                         const unsigned char* bytes, size_t length, bool unless_there = false);

// FileReplay without the copy: where it would go under ReplayFolder, now that the
// names in planned are taken too; that name is added to planned. Writes nothing,
// makes no folder. With bytes given, answers kAlreadyThere as FileReplay with
// unless_there would, counting what planned holds as written.
FileOutcome PlanReplay(const DecodeResult* result, PlannedNames* planned, char* path,
                       size_t path_size, const unsigned char* bytes = nullptr,
                       size_t length = 0);

#endif  // BRINDLECAP_WATCHER_FILING_H_
