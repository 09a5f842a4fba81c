// The file seam: everything the watcher asks of the file system and the clock.
//
// Paths are 8-bit strings with backslashes as separators, as the Windows program
// builds them. The win32 side hands them to the "A" functions unchanged; the posix
// side turns each backslash into a slash, so the watcher code is the same on both.
// A Linux name may hold a backslash of its own, though: a path that comes from
// outside (an operand, an environment variable, a folder listing's entry) enters
// through PlatformPathFromSystem, which spells such a backslash so that the posix
// side gives it back as the letter it is.
#ifndef BRINDLECAP_PLATFORM_PLATFORM_H_
#define BRINDLECAP_PLATFORM_PLATFORM_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>

// Longest path, NUL included, that the file functions accept. The Windows "A"
// functions refuse anything past MAX_PATH, so a longer name could never be created.
#ifdef _WIN32
enum { kPlatformPathLimit = 260 };
#else
enum { kPlatformPathLimit = 1024 };
#endif

// An open file. Opaque: it carries the system handle itself, nothing is allocated.
struct PlatformFile;

// Looks the path up (find-first on Windows, a plain stat elsewhere). Returns 1 when
// an entry exists and stores its last-write time, whole seconds of local time since
// 1970, in *stamp (-1 when the time cannot be converted), and its length in bytes
// in *length when length is not NULL; returns 0 otherwise. 64 bits, so that a file
// written after January 2038 keeps its date.
int PlatformProbe(const char* path, int64_t* stamp, int64_t* length = nullptr);

// The same with the stamp cut to its low 32 bits, as the watch pass and the watch
// list keep it: they only ever compare two stamps of one file for equality, which
// the low bits decide as well. Counts as one seam call.
int PlatformProbe(const char* path, int32_t* stamp, int64_t* length = nullptr);

// Creates one directory with default security. Returns 1 on success.
int PlatformMakeDirectory(const char* path);

// Opens for binary reading, letting other processes go on reading and writing.
// Returns NULL on failure, and for anything but a regular file on disk (a pipe, a
// socket, a device: kPlatformNotAFile), which it never waits on.
PlatformFile* PlatformOpenRead(const char* path);

// Creates a new file for binary writing, letting other processes read and write.
// Fails (NULL) when anything already stands under that name, so a copy never
// replaces an existing file.
PlatformFile* PlatformCreateNew(const char* path);

// Length of an open file in bytes, -1 when it cannot be determined. Leaves the
// file position at the start.
int64_t PlatformFileLength(PlatformFile* file);

// Reads up to length bytes; returns how many were read (fewer at end of file or on error).
size_t PlatformRead(PlatformFile* file, void* buffer, size_t length);

// Writes length bytes; returns how many were written (fewer on error, e.g. a full disk).
size_t PlatformWrite(PlatformFile* file, const void* buffer, size_t length);

// Closes the file. Returns 1 when the close succeeded, 0 when the system reports an
// error (a delayed write failure, for instance).
int PlatformClose(PlatformFile* file);

// Deletes a file. Returns 1 on success.
int PlatformRemove(const char* path);

// The local date: month 1 to 12 and day of the month 1 to 31.
void PlatformLocalDate(int* month, int* day);

// A local date and time as names carry it: year (2026), month 1 to 12, day 1 to
// 31, hour 0 to 23, minute and second 0 to 59.
struct PlatformTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// The local date and time now.
void PlatformLocalTime(PlatformTime* now);

// Breaks a stamp as PlatformProbe gives it (whole seconds of local time since
// 1970) into its date and time. Pure arithmetic: no seam call, never fails; a
// negative stamp (an unknown time) gives 1970-01-01 00:00:00.
void PlatformTimeFromStamp(int64_t stamp, PlatformTime* time);

// A path as this system spells it (an operand, an entry of a folder listing), in
// the program's spelling, into out (size bytes). On Windows the same text. On
// POSIX a backslash there is a letter of a name, not a separator: it is spelt as
// the byte 0x01 and 'b' (0x01 itself as 0x01 and 'e'), which the names the program
// builds never hold, and which the seam turns back. Returns 0 when it does not fit.
// Pure text: no seam call.
int PlatformPathFromSystem(const char* system, char* out, size_t size);

// The reverse, for showing a path to a player: a path in the program's spelling
// as this system spells it (on POSIX with slashes, and each name's own
// backslashes back), into out. Returns 0 when it does not fit. No seam call.
int PlatformPathToSystem(const char* path, char* out, size_t size);

// What stands under a path, as the system sees it.
enum PlatformKind {
  kPlatformNothing,  // no entry (or the path cannot be looked up)
  kPlatformFile,
  kPlatformFolder,
};
PlatformKind PlatformKindOf(const char* path);

// Called by PlatformListFolder for each entry: its name (no folder, never "." or
// ".."), what it is (a link counts as what it leads to, kPlatformNothing when it
// leads nowhere), and whether the entry itself is a link (a symbolic link, or on
// Windows any reparse point, junctions included). Returns 0 to stop the listing.
typedef int (*PlatformVisitor)(void* context, const char* name, PlatformKind kind, bool link);

// Lists the entries of a folder, in no particular order, calling visit for each.
// The folder may end in a separator or not. Returns 1 when the folder could be
// read to its end (or visit stopped it), 0 when it could not be listed at all
// (PlatformLastError says why). On Windows names too long for kPlatformPathLimit
// are passed over; elsewhere every entry is visited, also one whose path would be
// too long to open, so that the caller can say so. Counts as one seam call,
// whatever the number of entries.
int PlatformListFolder(const char* folder, PlatformVisitor visit, void* context);

// Which folder a path leads to, whatever way it goes there (links, "..", another
// spelling): two paths with equal identities name one folder. Lets a walk of a
// folder tree notice a link that leads back up it.
struct PlatformIdentity {
  uint64_t volume;
  uint64_t index;
};

// Fills *identity for the entry under path (a link counts as what it leads to).
// Returns 1, or 0 when nothing can be found there.
int PlatformIdentify(const char* path, PlatformIdentity* identity);

// Why the latest seam call that failed on this thread did so, in the terms the
// watcher and its users care about. Set by every failing call; meaningless after
// a success. Each thread has its own, so that readers side by side never see each
// other's.
enum PlatformError {
  kPlatformOk,
  kPlatformMissing,   // the file, or a folder on its way, is not there
  kPlatformIsFolder,  // a folder stands where a file was meant
  kPlatformDenied,    // no permission, or a read-only medium
  kPlatformInUse,     // another process holds the file with no sharing
  kPlatformDiskFull,
  kPlatformExists,    // something already stands under a name to be created
  kPlatformNotAFile,  // a pipe, socket or device stands where a file was meant
  kPlatformOther,
};
PlatformError PlatformLastError();

// Why, in plain words ("the disk is full"), for a player to read; NULL for
// kPlatformOther and kPlatformOk, which each caller words in its own terms. No
// seam call.
const char* PlatformErrorWords(PlatformError error);

// Number of seam calls made so far in this process (every function above counts
// one), on every thread. Lets tests and benchmarks see what a pass costs.
extern std::atomic<uint64_t> PlatformCallCount;

#endif  // BRINDLECAP_PLATFORM_PLATFORM_H_
