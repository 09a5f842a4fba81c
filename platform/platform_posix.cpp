// POSIX side of the file seam, for the native build: tests, sanitizers, fuzzing and
// the command-line tool on Linux.
#include "platform/platform.h"
#include "platform/platform_faults.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

std::atomic<uint64_t> PlatformCallCount{0};

namespace {

// Of the thread that made the call, as the system's own errno and last error are.
thread_local PlatformError LastError = kPlatformOk;

// Records why a call failed, from errno. Returns 0 for the caller to pass on.
int Fail(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      LastError = kPlatformMissing;
      break;
    case EISDIR: LastError = kPlatformIsFolder; break;
    case EACCES:
    case EPERM:
    case EROFS:
      LastError = kPlatformDenied;
      break;
    case EBUSY:
    case ETXTBSY:
      LastError = kPlatformInUse;
      break;
    case ENOSPC:
    case EDQUOT:
      LastError = kPlatformDiskFull;
      break;
    case EEXIST: LastError = kPlatformExists; break;
    // What opening a socket, or a device with nothing behind it, answers.
    case ENXIO: LastError = kPlatformNotAFile; break;
    default: LastError = kPlatformOther; break;
  }
  return 0;
}

// An injected fault fails the call as the system would have, with its cause.
int FailAs(PlatformError error) {
  LastError = error;
  return 0;
}

// The watcher's paths fit in 1024 bytes; one byte more is kept so that an
// over-long path is refused rather than silently shortened.
const size_t kPathBytes = 1025;

// How PlatformPathFromSystem spells a name's own backslash, and this byte itself:
// the byte and a letter.
const char kEscape = '\x01';
const char kEscapedBackslash = 'b';
const char kEscapedEscape = 'e';

// Copies path into out (size bytes) with the program's backslashes turned into
// slashes and a name's own backslashes back. Returns 0 when it does not fit, so
// that a truncated path never names a different file.
int Unescape(const char* path, char* out, size_t size) {
  size_t at = 0;
  for (const char* p = path; *p != '\0'; ++p) {
    if (at + 1 >= size) return 0;
    char c = *p == '\\' ? '/' : *p;
    if (c == kEscape && (p[1] == kEscapedBackslash || p[1] == kEscapedEscape)) {
      c = *++p == kEscapedBackslash ? '\\' : kEscape;
    }
    out[at++] = c;
  }
  out[at] = '\0';
  return 1;
}

int ToPosixPath(const char* path, char* out) { return Unescape(path, out, kPathBytes); }

int ToFd(PlatformFile* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1; }

PlatformFile* FromFd(int fd) {
  return fd < 0 ? nullptr : reinterpret_cast<PlatformFile*>(static_cast<intptr_t>(fd) + 1);
}

// A call that opens nothing, with its cause.
PlatformFile* Refused(PlatformError error) {
  LastError = error;
  return nullptr;
}

// The file behind fd, made known to the fault hooks; or, when the open failed,
// nothing and the cause.
PlatformFile* Opened(int fd, const char* path) {
  if (fd < 0) {
    Fail(errno);
    return nullptr;
  }
  PlatformFile* file = FromFd(fd);
  PlatformFaultOpened(file, path);
  return file;
}

}  // namespace

int PlatformProbe(const char* path, int64_t* stamp, int64_t* length) {
  ++PlatformCallCount;
  char native[kPathBytes];
  struct stat st;
  if (!ToPosixPath(path, native)) return FailAs(kPlatformMissing);
  if (stat(native, &st) != 0) return Fail(errno);
  if (length != nullptr) *length = static_cast<int64_t>(st.st_size);
  // Local time, as the Windows side reports it; only equality of stamps matters.
  struct tm local;
  time_t t = st.st_mtime;
  if (localtime_r(&t, &local) == nullptr) {
    *stamp = -1;
  } else {
    *stamp = static_cast<int64_t>(t) + local.tm_gmtoff;
  }
  return 1;
}

int PlatformMakeDirectory(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return FailAs(kPlatformMissing);
  return mkdir(native, 0777) == 0 ? 1 : Fail(errno);
}

PlatformFile* PlatformOpenRead(const char* path) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallOpenRead, path, nullptr)) return Refused(kPlatformInUse);
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return Refused(kPlatformMissing);
  // Without O_NONBLOCK the open of a FIFO waits for a writer, for ever and deaf to
  // Ctrl-C. Only a regular file is a replay, so anything else is refused before a
  // byte is read; reads of a regular file ignore the flag.
  const int fd = open(native, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Opened(fd, path);
  struct stat st;
  if (fstat(fd, &st) != 0) {
    Fail(errno);
    close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    // A directory opens for reading on POSIX but never on Windows; keep them alike.
    return Refused(S_ISDIR(st.st_mode) ? kPlatformIsFolder : kPlatformNotAFile);
  }
  return Opened(fd, path);
}

PlatformFile* PlatformCreateNew(const char* path) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallCreateNew, path, nullptr)) return Refused(kPlatformDenied);
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return Refused(kPlatformMissing);
  return Opened(open(native, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), path);
}

int64_t PlatformFileLength(PlatformFile* file) {
  ++PlatformCallCount;
  int fd = ToFd(file);
  off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0 || lseek(fd, 0, SEEK_SET) != 0) {
    Fail(errno);
    return -1;
  }
  return static_cast<int64_t>(end);
}

size_t PlatformRead(PlatformFile* file, void* buffer, size_t length) {
  ++PlatformCallCount;
  const bool shrank = PlatformFaultInjected(kPlatformCallRead, nullptr, file) != 0;
  if (shrank) length /= 2;
  int fd = ToFd(file);
  size_t done = 0;
  // read() may return less than asked for large requests; keep going to the end.
  while (done < length) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t PlatformWrite(PlatformFile* file, const void* buffer, size_t length) {
  ++PlatformCallCount;
  const bool full = PlatformFaultInjected(kPlatformCallWrite, nullptr, file) != 0;
  if (full) length /= 2;
  int fd = ToFd(file);
  size_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, static_cast<const char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    if (n == 0) FailAs(kPlatformOther);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (full) FailAs(kPlatformDiskFull);
  return done;
}

int PlatformClose(PlatformFile* file) {
  ++PlatformCallCount;
  const bool fault = PlatformFaultInjected(kPlatformCallClose, nullptr, file) != 0;
  if (close(ToFd(file)) != 0) return Fail(errno);
  return fault ? FailAs(kPlatformOther) : 1;
}

int PlatformRemove(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return FailAs(kPlatformMissing);
  return unlink(native) == 0 ? 1 : Fail(errno);
}

PlatformKind PlatformKindOf(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  struct stat st;
  if (!ToPosixPath(path, native)) {
    Refused(kPlatformMissing);
    return kPlatformNothing;
  }
  if (stat(native, &st) != 0) {
    Fail(errno);
    return kPlatformNothing;
  }
  return S_ISDIR(st.st_mode) ? kPlatformFolder : kPlatformFile;
}

int PlatformIdentify(const char* path, PlatformIdentity* identity) {
  ++PlatformCallCount;
  char native[kPathBytes];
  struct stat st;
  if (!ToPosixPath(path, native)) return FailAs(kPlatformMissing);
  if (stat(native, &st) != 0) return Fail(errno);
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->index = static_cast<uint64_t>(st.st_ino);
  return 1;
}

PlatformError PlatformLastError() { return LastError; }

int PlatformPathFromSystem(const char* system, char* out, size_t size) {
  size_t at = 0;
  for (const char* p = system; *p != '\0'; ++p) {
    const bool escaped = *p == '\\' || *p == kEscape;
    if (at + (escaped ? 2 : 1) >= size) return 0;
    if (escaped) {
      out[at++] = kEscape;
      out[at++] = *p == '\\' ? kEscapedBackslash : kEscapedEscape;
    } else {
      out[at++] = *p;
    }
  }
  if (size == 0) return 0;
  out[at] = '\0';
  return 1;
}

int PlatformPathToSystem(const char* path, char* out, size_t size) {
  return size > 0 && Unescape(path, out, size);
}

void PlatformLocalDate(int* month, int* day) {
  ++PlatformCallCount;
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) == nullptr) {
    *month = 1;
    *day = 1;
    return;
  }
  *month = local.tm_mon + 1;
  *day = local.tm_mday;
}

void PlatformLocalTime(PlatformTime* now) {
  ++PlatformCallCount;
  const time_t t = time(nullptr);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) {
    PlatformTimeFromStamp(0, now);
    return;
  }
  now->year = local.tm_year + 1900;
  now->month = local.tm_mon + 1;
  now->day = local.tm_mday;
  now->hour = local.tm_hour;
  now->minute = local.tm_min;
  now->second = local.tm_sec;
}

int PlatformListFolder(const char* folder, PlatformVisitor visit, void* context) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallList, folder, nullptr)) return FailAs(kPlatformDenied);
  char native[kPathBytes];
  if (!ToPosixPath(folder, native)) return FailAs(kPlatformMissing);
  DIR* dir = opendir(native);
  if (dir == nullptr) return Fail(errno);
  int result = 1;
  for (;;) {
    errno = 0;
    const struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) result = Fail(errno);
      break;
    }
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    // Asked relative to the open folder, so that an entry whose whole path is too
    // long to address is still told what it is: the caller says why it cannot
    // take it rather than never hearing of it.
    struct stat own;
    struct stat target;
    const bool link = fstatat(dirfd(dir), name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(own.st_mode);
    PlatformKind kind = kPlatformNothing;
    if (fstatat(dirfd(dir), name, &target, 0) == 0) {
      kind = S_ISDIR(target.st_mode) ? kPlatformFolder : kPlatformFile;
    }
    if (!visit(context, name, kind, link)) break;
  }
  closedir(dir);
  return result;
}
