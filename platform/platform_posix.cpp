// POSIX side of the file seam, for the native build: tests, sanitizers, fuzzing and
// the command-line tool on Linux.
#include "platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

uint64_t PlatformCallCount = 0;
PlatformFaults PlatformInjectedFaults = {0, 0, 0, 0};

namespace {

// The watcher's paths fit in 1024 bytes; one byte more is kept so that an
// over-long path is refused rather than silently shortened.
const size_t kPathBytes = 1025;

// Copies path into out with backslashes turned into slashes. Returns 0 when it does
// not fit, so that a truncated path never names a different file.
int ToPosixPath(const char* path, char* out) {
  size_t i = 0;
  for (; path[i] != '\0'; ++i) {
    if (i + 1 >= kPathBytes) return 0;
    out[i] = path[i] == '\\' ? '/' : path[i];
  }
  out[i] = '\0';
  return 1;
}

int ToFd(PlatformFile* file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1; }

PlatformFile* FromFd(int fd) {
  return fd < 0 ? nullptr : reinterpret_cast<PlatformFile*>(static_cast<intptr_t>(fd) + 1);
}

}  // namespace

int PlatformProbe(const char* path, int32_t* stamp) {
  ++PlatformCallCount;
  char native[kPathBytes];
  struct stat st;
  if (!ToPosixPath(path, native) || stat(native, &st) != 0) return 0;
  // Local time, as the Windows side reports it; only equality of stamps matters.
  struct tm local;
  time_t t = st.st_mtime;
  if (localtime_r(&t, &local) == nullptr) {
    *stamp = -1;
  } else {
    *stamp = static_cast<int32_t>(t + local.tm_gmtoff);
  }
  return 1;
}

int PlatformMakeDirectory(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return 0;
  return mkdir(native, 0777) == 0;
}

PlatformFile* PlatformOpenRead(const char* path) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.open_read)) return nullptr;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return nullptr;
  int fd = open(native, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  // A directory opens for reading on POSIX but never on Windows; keep them alike.
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return FromFd(fd);
}

PlatformFile* PlatformCreateNew(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return nullptr;
  return FromFd(open(native, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

int64_t PlatformFileLength(PlatformFile* file) {
  ++PlatformCallCount;
  int fd = ToFd(file);
  off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0 || lseek(fd, 0, SEEK_SET) != 0) return -1;
  return static_cast<int64_t>(end);
}

size_t PlatformRead(PlatformFile* file, void* buffer, size_t length) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.short_read)) length /= 2;
  int fd = ToFd(file);
  size_t done = 0;
  // read() may return less than asked for large requests; keep going to the end.
  while (done < length) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t PlatformWrite(PlatformFile* file, const void* buffer, size_t length) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.write)) length /= 2;
  int fd = ToFd(file);
  size_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, static_cast<const char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int PlatformClose(PlatformFile* file) {
  ++PlatformCallCount;
  int closed = close(ToFd(file)) == 0;
  return PlatformTakeFault(&PlatformInjectedFaults.close) ? 0 : closed;
}

int PlatformRemove(const char* path) {
  ++PlatformCallCount;
  char native[kPathBytes];
  if (!ToPosixPath(path, native)) return 0;
  return unlink(native) == 0;
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
