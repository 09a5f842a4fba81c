// Windows side of the file seam: the 8-bit ("A") kernel32 calls, paths as given.
#include "platform/platform.h"
#include "platform/platform_faults.h"

#include <string.h>
#include <windows.h>

std::atomic<uint64_t> PlatformCallCount{0};

namespace {

// Why the latest call failed, of the thread that made it, as the system's own last
// error is: in a slot of the threads' local storage, rather than through the
// compiler's thread_local, whose emulation would add 25 KB to the tray program
// (one thread). Should the system have no slot to give, one value for all threads.
const DWORD kErrorSlot = TlsAlloc();
PlatformError SharedError = kPlatformOk;

void SetError(PlatformError error) {
  if (kErrorSlot == TLS_OUT_OF_INDEXES) {
    SharedError = error;
  } else {
    TlsSetValue(kErrorSlot, reinterpret_cast<void*>(static_cast<intptr_t>(error)));
  }
}

PlatformError ThreadError() {
  if (kErrorSlot == TLS_OUT_OF_INDEXES) return SharedError;
  // A thread that never failed finds the slot empty: 0, kPlatformOk.
  return static_cast<PlatformError>(reinterpret_cast<intptr_t>(TlsGetValue(kErrorSlot)));
}

// Records why a call failed, from the thread's last error. Returns 0 for the
// caller to pass on. path, when given, tells a folder from a refused file.
int Fail(DWORD error, const char* path = nullptr) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_FILENAME_EXCED_RANGE:
      SetError(kPlatformMissing);
      break;
    case ERROR_ACCESS_DENIED: {
      // Opening a folder as a file is refused as if access were denied.
      const DWORD attributes = path != nullptr ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
      SetError(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? kPlatformIsFolder
                   : kPlatformDenied);
      break;
    }
    case ERROR_WRITE_PROTECT:
      SetError(kPlatformDenied);
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      SetError(kPlatformInUse);
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      SetError(kPlatformDiskFull);
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      SetError(kPlatformExists);
      break;
    default:
      SetError(kPlatformOther);
      break;
  }
  return 0;
}

// An injected fault fails the call as the system would have, with its cause.
int FailAs(PlatformError error) {
  SetError(error);
  return 0;
}

HANDLE ToHandle(PlatformFile* file) { return reinterpret_cast<HANDLE>(file); }

PlatformFile* FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatformFile*>(handle);
}

// Largest single ReadFile/WriteFile request; larger transfers go in pieces.
const DWORD kChunk = 1u << 30;

// A call that opens nothing, with its cause.
PlatformFile* Refused(PlatformError error) {
  SetError(error);
  return nullptr;
}

// The file behind handle, made known to the fault hooks; or, when the open
// failed, nothing and the cause.
PlatformFile* Opened(HANDLE handle, const char* path) {
  if (handle == INVALID_HANDLE_VALUE) {
    Fail(GetLastError(), path);
    return nullptr;
  }
  PlatformFile* file = FromHandle(handle);
  PlatformFaultOpened(file, path);
  return file;
}

}  // namespace

int PlatformProbe(const char* path, int64_t* stamp, int64_t* length) {
  ++PlatformCallCount;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return Fail(GetLastError());
  FindClose(search);
  if (length != nullptr) {
    *length = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                   found.nFileSizeLow);
  }
  // Whole seconds since 1970 of the last-write time in local time, -1 when the
  // conversion fails. FILETIME counts 100 ns steps from 1601.
  FILETIME local;
  if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) {
    *stamp = -1;
    return 1;
  }
  ULARGE_INTEGER ticks;
  ticks.LowPart = local.dwLowDateTime;
  ticks.HighPart = local.dwHighDateTime;
  const unsigned long long kEpochDelta = 116444736000000000ULL;
  if (ticks.QuadPart < kEpochDelta) {
    *stamp = -1;
    return 1;
  }
  *stamp = static_cast<int64_t>((ticks.QuadPart - kEpochDelta) / 10000000ULL);
  return 1;
}

int PlatformMakeDirectory(const char* path) {
  ++PlatformCallCount;
  return CreateDirectoryA(path, nullptr) != 0 ? 1 : Fail(GetLastError());
}

PlatformFile* PlatformOpenRead(const char* path) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallOpenRead, path, nullptr)) return Refused(kPlatformInUse);
  const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Only a file on disk is a replay: a named pipe or a device such as NUL is
  // refused before a byte is read.
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return Refused(kPlatformNotAFile);
  }
  return Opened(handle, path);
}

PlatformFile* PlatformCreateNew(const char* path) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallCreateNew, path, nullptr)) return Refused(kPlatformDenied);
  return Opened(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                path);
}

int64_t PlatformFileLength(PlatformFile* file) {
  ++PlatformCallCount;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(ToHandle(file), &size)) {
    Fail(GetLastError());
    return -1;
  }
  return static_cast<int64_t>(size.QuadPart);
}

size_t PlatformRead(PlatformFile* file, void* buffer, size_t length) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallRead, nullptr, file)) length /= 2;
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > kChunk ? kChunk : static_cast<DWORD>(length - done);
    DWORD got = 0;
    if (!ReadFile(ToHandle(file), static_cast<char*>(buffer) + done, want, &got, nullptr)) {
      Fail(GetLastError());
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

size_t PlatformWrite(PlatformFile* file, const void* buffer, size_t length) {
  ++PlatformCallCount;
  const bool full = PlatformFaultInjected(kPlatformCallWrite, nullptr, file) != 0;
  if (full) length /= 2;
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > kChunk ? kChunk : static_cast<DWORD>(length - done);
    DWORD put = 0;
    if (!WriteFile(ToHandle(file), static_cast<const char*>(buffer) + done, want, &put, nullptr)) {
      Fail(GetLastError());
      break;
    }
    if (put == 0) {
      FailAs(kPlatformOther);
      break;
    }
    done += put;
  }
  if (full) FailAs(kPlatformDiskFull);
  return done;
}

int PlatformClose(PlatformFile* file) {
  ++PlatformCallCount;
  const bool fault = PlatformFaultInjected(kPlatformCallClose, nullptr, file) != 0;
  if (!CloseHandle(ToHandle(file))) return Fail(GetLastError());
  return fault ? FailAs(kPlatformOther) : 1;
}

int PlatformRemove(const char* path) {
  ++PlatformCallCount;
  return DeleteFileA(path) != 0 ? 1 : Fail(GetLastError());
}

PlatformKind PlatformKindOf(const char* path) {
  ++PlatformCallCount;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    Fail(GetLastError());
    return kPlatformNothing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kPlatformFolder : kPlatformFile;
}

int PlatformIdentify(const char* path, PlatformIdentity* identity) {
  ++PlatformCallCount;
  // Opening with no access rights still yields the volume and file index; the
  // backup flag is what lets CreateFile open a folder at all.
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL known = GetFileInformationByHandle(handle, &info);
  const DWORD error = GetLastError();
  CloseHandle(handle);
  if (!known) return Fail(error);
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return 1;
}

PlatformError PlatformLastError() { return ThreadError(); }

namespace {

// Windows spells paths as the program does.
int CopyPath(const char* path, char* out, size_t size) {
  const size_t length = strlen(path);
  if (length >= size) return 0;
  memcpy(out, path, length + 1);
  return 1;
}

}  // namespace

int PlatformPathFromSystem(const char* system, char* out, size_t size) {
  return CopyPath(system, out, size);
}

int PlatformPathToSystem(const char* path, char* out, size_t size) {
  return CopyPath(path, out, size);
}

void PlatformLocalDate(int* month, int* day) {
  ++PlatformCallCount;
  SYSTEMTIME now;
  GetLocalTime(&now);
  *month = now.wMonth;
  *day = now.wDay;
}

void PlatformLocalTime(PlatformTime* now) {
  ++PlatformCallCount;
  SYSTEMTIME local;
  GetLocalTime(&local);
  now->year = local.wYear;
  now->month = local.wMonth;
  now->day = local.wDay;
  now->hour = local.wHour;
  now->minute = local.wMinute;
  now->second = local.wSecond;
}

int PlatformListFolder(const char* folder, PlatformVisitor visit, void* context) {
  ++PlatformCallCount;
  if (PlatformFaultInjected(kPlatformCallList, folder, nullptr)) return FailAs(kPlatformDenied);
  const size_t folder_length = strlen(folder);
  const char last = folder_length > 0 ? folder[folder_length - 1] : '\0';
  const bool separated = last == '\\' || last == '/';
  // folder, a separator, "*" and the NUL.
  if (folder_length + 3 > static_cast<size_t>(kPlatformPathLimit)) return FailAs(kPlatformMissing);
  char pattern[kPlatformPathLimit];
  memcpy(pattern, folder, folder_length);
  size_t at = folder_length;
  if (!separated) pattern[at++] = '\\';
  pattern[at++] = '*';
  pattern[at] = '\0';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty folder still has "." and "..", so no first entry means no folder.
    return Fail(GetLastError());
  }
  do {
    const char* name = found.cFileName;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (at - 1 + strlen(name) + 1 > static_cast<size_t>(kPlatformPathLimit)) continue;
    const DWORD attributes = found.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    PlatformKind kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kPlatformFolder : kPlatformFile;
    if (link) {
      // The find data describes the link itself; ask what it leads to.
      memcpy(pattern + at - 1, name, strlen(name) + 1);
      const DWORD target = GetFileAttributesA(pattern);
      kind = target == INVALID_FILE_ATTRIBUTES ? kPlatformNothing
             : (target & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kPlatformFolder : kPlatformFile;
    }
    if (!visit(context, name, kind, link)) break;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return 1;
}
