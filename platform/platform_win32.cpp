// Windows side of the file seam: the 8-bit ("A") kernel32 calls, paths as given.
#include "platform/platform.h"

#include <windows.h>

uint64_t PlatformCallCount = 0;
PlatformFaults PlatformInjectedFaults = {0, 0, 0, 0};

namespace {

HANDLE ToHandle(PlatformFile* file) { return reinterpret_cast<HANDLE>(file); }

PlatformFile* FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<PlatformFile*>(handle);
}

// Largest single ReadFile/WriteFile request; larger transfers go in pieces.
const DWORD kChunk = 1u << 30;

}  // namespace

int PlatformProbe(const char* path, int32_t* stamp) {
  ++PlatformCallCount;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
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
  *stamp = static_cast<int32_t>((ticks.QuadPart - kEpochDelta) / 10000000ULL);
  return 1;
}

int PlatformMakeDirectory(const char* path) {
  ++PlatformCallCount;
  return CreateDirectoryA(path, nullptr) != 0;
}

PlatformFile* PlatformOpenRead(const char* path) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.open_read)) return nullptr;
  return FromHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile* PlatformCreateNew(const char* path) {
  ++PlatformCallCount;
  return FromHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t PlatformFileLength(PlatformFile* file) {
  ++PlatformCallCount;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(ToHandle(file), &size)) return -1;
  return static_cast<int64_t>(size.QuadPart);
}

size_t PlatformRead(PlatformFile* file, void* buffer, size_t length) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.short_read)) length /= 2;
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > kChunk ? kChunk : static_cast<DWORD>(length - done);
    DWORD got = 0;
    if (!ReadFile(ToHandle(file), static_cast<char*>(buffer) + done, want, &got, nullptr) ||
        got == 0) {
      break;
    }
    done += got;
  }
  return done;
}

size_t PlatformWrite(PlatformFile* file, const void* buffer, size_t length) {
  ++PlatformCallCount;
  if (PlatformTakeFault(&PlatformInjectedFaults.write)) length /= 2;
  size_t done = 0;
  while (done < length) {
    DWORD want = length - done > kChunk ? kChunk : static_cast<DWORD>(length - done);
    DWORD put = 0;
    if (!WriteFile(ToHandle(file), static_cast<const char*>(buffer) + done, want, &put, nullptr) ||
        put == 0) {
      break;
    }
    done += put;
  }
  return done;
}

int PlatformClose(PlatformFile* file) {
  ++PlatformCallCount;
  int closed = CloseHandle(ToHandle(file)) != 0;
  return PlatformTakeFault(&PlatformInjectedFaults.close) ? 0 : closed;
}

int PlatformRemove(const char* path) {
  ++PlatformCallCount;
  return DeleteFileA(path) != 0;
}

void PlatformLocalDate(int* month, int* day) {
  ++PlatformCallCount;
  SYSTEMTIME now;
  GetLocalTime(&now);
  *month = now.wMonth;
  *day = now.wDay;
}
