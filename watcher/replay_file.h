// A replay file as the program holds it: its first bytes in memory, and, when the
// file is longer than any replay, the rest left on disk and read in pieces when it
// is copied, compared or hashed. A file of any size, a replay's start followed by
// gigabytes, then costs no more memory than the longest real replay.
#ifndef BRINDLECAP_WATCHER_REPLAY_FILE_H_
#define BRINDLECAP_WATCHER_REPLAY_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "replay/decode.h"

enum {
  kReplayMinimumLength = 5120,  // shorter files are never filed
};

// The most of a file held in memory. A name needs the header; {result} and the
// record need the whole replay, which for the longest real games is a few
// megabytes. Past this a file is copied and compared from disk.
constexpr size_t kReplayHeadLimit = 16 * 1024 * 1024;

// What one read from disk takes when a file is copied or compared in pieces.
constexpr size_t kReplayPiece = 256 * 1024;

enum ReadOutcome {
  kReadDone,          // the file's first bytes are held (all of them up to the head limit)
  kReadTooShort,      // under kReplayMinimumLength bytes (and with the length-aware
                      // reading not whole by its lengths), or its length is unknown
  kReadMissing,       // nothing stands under the path
  kReadIsFolder,      // a folder stands there
  kReadNotAFile,      // a pipe, socket or device stands there
  kReadCannotOpen,    // there, but the system would not open it (held with no sharing, say)
  kReadCameShort,     // fewer bytes came than it holds: it shrank while being read
  kReadNoMemory,      // no buffer for its head could be had
  kReadLengthUnknown, // the system would not tell its length (only ReadFileHead says so)
};

struct ReplayFile {
  unsigned char* head;  // the file's first `held` bytes
  size_t held;
  uint64_t length;      // the whole file's length when it was read
  // Where the bytes past the head are, NULL when all are held; the caller's text,
  // which must outlive the ReplayFile.
  const char* path;
  int64_t stamp;        // with path: its last-write time when read, so a rewrite shows
};

// Whether a file of this name is one a folder walk reads (sort -modern, stats,
// report): "*.w3g", and "*.nwg", the NetEase platform's replays, in any case.
bool IsReplayFileName(const char* name);

// The extension a copy of the file at path gets: ".nwg" for a NetEase file with the
// length-aware reading (only the platform's client plays it), ".w3g" otherwise.
const char* CopySuffix(const char* path, HeaderReading reading);

// A replay wholly in memory; the bytes stay the caller's (no ReleaseReplayFile).
ReplayFile ReplayInMemory(const unsigned char* bytes, size_t length);

// Reads the first bytes of the file under path, at most head_limit, whatever its
// length (the record and info read replays too short to file).
ReadOutcome ReadFileHead(const char* path, ReplayFile* file,
                         size_t head_limit = kReplayHeadLimit);

// A buffer one reader keeps for the heads of many files (a worker of stats, say):
// it grows to the longest head read and is never shrunk, so that a run of many
// files takes its memory from the heap once, not once a file. Zero-initialise;
// free(bytes) once done.
struct HeadBuffer {
  unsigned char* bytes;
  size_t size;
};

// ReadFileHead into buffer: file->head points into it, and stays good until the
// next read into the buffer (no ReleaseReplayFile).
ReadOutcome ReadFileHead(const char* path, ReplayFile* file, HeadBuffer* buffer,
                         size_t head_limit = kReplayHeadLimit);

// Reads a replay file to be filed. A file under kReplayMinimumLength bytes is too
// short, except with the length-aware reading when it is whole by the lengths it
// stores (ReadsWholeByLengths): a real game can be that short.
ReadOutcome ReadReplayFile(const char* path, ReplayFile* file,
                           HeaderReading reading = kFixedReading,
                           size_t head_limit = kReplayHeadLimit);

// Releases the head a read took and empties the file.
void ReleaseReplayFile(ReplayFile* file);

// A replay's bytes from its start, in pieces: the head straight from memory when
// it is all there is, else everything from disk, with what comes checked against
// the head, the length and the stamp: a file rewritten since it was read is
// noticed rather than copied half old, half new.
struct ReplayPieces {
  const ReplayFile* file;
  PlatformFile* disk;
  unsigned char* buffer;  // kReplayPiece bytes, for what comes from disk
  uint64_t at;            // bytes handed out so far
  const unsigned char* piece;  // the current piece's bytes not yet taken
  size_t left;
  bool changed;           // the file is not what was read any more
};

// Starts at the file's first byte. False (and changed set) when its rest cannot be
// opened again, or no buffer can be had.
bool OpenReplayPieces(ReplayPieces* pieces, const ReplayFile* file);

// Up to want bytes, in *bytes; 0 at the end, or once the file has changed.
size_t TakeReplayBytes(ReplayPieces* pieces, size_t want, const unsigned char** bytes);

// Closes what the pieces opened. True when every byte was taken and the file is
// still what it was when read: the same length, nothing after it, the same stamp.
bool CloseReplayPieces(ReplayPieces* pieces);

// The digest that tells apart replays of one length: FNV-1a over eight bytes at a
// time in four lanes (sort hashes every replay it reads). Fed in pieces of any size,
// it gives what ReplayHash gives over the whole.
struct ReplayHasher {
  uint64_t lane[4];
  unsigned char pending[32];
  size_t pending_used;
  uint64_t total;
};
void StartReplayHash(ReplayHasher* hasher);
void AddToReplayHash(ReplayHasher* hasher, const unsigned char* bytes, size_t length);
uint64_t FinishReplayHash(ReplayHasher* hasher);

// A 64-bit digest of the bytes, to recognise a planned copy without keeping it.
uint64_t ReplayHash(const unsigned char* bytes, size_t length);

// The digest of the whole file, its rest read from disk. False when the file
// changed since it was read.
bool HashReplayFile(const ReplayFile* file, uint64_t* hash);

#endif  // BRINDLECAP_WATCHER_REPLAY_FILE_H_
