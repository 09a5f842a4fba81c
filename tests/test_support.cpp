#include "tests/test_support.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "tests/fault_injection.h"
#include "watcher/watcher.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string Native(const std::string& path) { return path; }
#else
std::string Native(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}
#endif

void ListInto(const std::string& folder, const std::string& prefix,
              std::vector<std::string>* out) {
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + prefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListInto(folder, prefix + name + "\\", out);
    } else {
      out->push_back(prefix + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
#else
  DIR* dir = opendir(Native(folder + prefix).c_str());
  if (dir == nullptr) return;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (stat(Native(folder + prefix + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      ListInto(folder, prefix + name + "\\", out);
    } else {
      out->push_back(prefix + name);
    }
  }
  closedir(dir);
#endif
}

#ifndef _WIN32
// Below the folder, names are taken as they stand: a backslash in one is a letter.
void RemoveLinuxTree(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir != nullptr) {
    while (struct dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        RemoveLinuxTree(path);
      } else {
        unlink(path.c_str());
      }
    }
    closedir(dir);
  }
  rmdir(folder.c_str());
}
#endif

}  // namespace

std::string MakeTempFolder() {
#ifdef _WIN32
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  static unsigned counter = 0;
  for (;;) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%sbrindlecap-%lu-%u\\", base, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(path, nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
  }
#else
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/brindlecap-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return "";
  // A slash, as this system spells the folder: tests hand it to brindlecap-cli,
  // where a backslash is a letter of a name on Linux. Below it, tests and the
  // watcher join with backslashes.
  return std::string(buffer.data()) + "/";
#endif
}

void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
#else
  RemoveLinuxTree(Native(folder));
#endif
}

bool RemoveFile(const std::string& path) { return remove(Native(path).c_str()) == 0; }

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(Native(path).c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, Bytes* bytes) {
  bytes->clear();
  FILE* file = fopen(Native(path).c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  fclose(file);
  return true;
}

#ifndef _WIN32
bool MakeFifo(const std::string& path) { return mkfifo(Native(path).c_str(), 0666) == 0; }

bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& action) {
  std::atomic<bool> done(false);
  std::thread worker([&] {
    action();
    done = true;
  });
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!done && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool waited = false;
  while (!done) {
    // Succeeds only while a reader has the FIFO open, or waits in its open.
    const int writer = open(Native(fifo).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) {
      waited = true;
      close(writer);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  worker.join();
  return !waited;
}
#endif

#ifndef _WIN32
namespace {

bool WriteAllAt(int fd, const unsigned char* bytes, size_t length, off_t at) {
  while (length > 0) {
    const ssize_t n = pwrite(fd, bytes, length, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

// Reads up to size bytes, fewer only at the end of the file; -1 on an error.
ssize_t ReadFull(int fd, unsigned char* bytes, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

}  // namespace

bool WriteSparseReplay(const std::string& path, const Bytes& replay, int64_t size) {
  const int64_t first_mark = int64_t{20} << 20;
  if (size <= first_mark + 1 || static_cast<int64_t>(replay.size()) >= first_mark) return false;
  const int fd = open(Native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0 &&
            WriteAllAt(fd, replay.data(), replay.size(), 0);
  const int64_t marks[] = {first_mark, size / 2 + 1, size - 1};
  unsigned char mark = 0xA5;
  for (int64_t at : marks) {
    ok = ok && WriteAllAt(fd, &mark, 1, static_cast<off_t>(at));
    ++mark;
  }
  return close(fd) == 0 && ok;
}

testing::AssertionResult SameFileBytes(const std::string& expected, const std::string& actual) {
  const int a = open(Native(expected).c_str(), O_RDONLY | O_CLOEXEC);
  const int b = open(Native(actual).c_str(), O_RDONLY | O_CLOEXEC);
  testing::AssertionResult result = testing::AssertionSuccess();
  struct stat sa, sb;
  if (a < 0 || b < 0) {
    result = testing::AssertionFailure() << (a < 0 ? expected : actual) << " cannot be opened";
  } else if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) {
    result = testing::AssertionFailure() << "the files' lengths cannot be had";
  } else if (sa.st_size != sb.st_size) {
    result = testing::AssertionFailure() << actual << " holds " << sb.st_size << " bytes, "
                                         << expected << " " << sa.st_size;
  } else {
    std::vector<unsigned char> left(64 * 1024), right(64 * 1024);
    int64_t at = 0;
    for (;;) {
      const ssize_t n = ReadFull(a, left.data(), left.size());
      const ssize_t m = ReadFull(b, right.data(), right.size());
      if (n < 0 || m < 0) {
        result = testing::AssertionFailure() << "a read failed at byte " << at;
        break;
      }
      const size_t common = static_cast<size_t>(std::min(n, m));
      const auto differ = std::mismatch(left.begin(), left.begin() + common, right.begin());
      if (differ.first != left.begin() + common || n != m) {
        result = testing::AssertionFailure()
                 << actual << " differs from " << expected << " at byte "
                 << at + (differ.first - left.begin());
        break;
      }
      if (n == 0) break;
      at += n;
    }
  }
  if (a >= 0) close(a);
  if (b >= 0) close(b);
  return result;
}

ChildRun RunInChild(const std::function<int(std::string* said)>& action) {
  ChildRun run = {-1, 0, std::string()};
  int channel[2];
  if (pipe(channel) != 0) return run;
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return run;
  }
  if (child == 0) {
    close(channel[0]);
    int code = 125;
    std::string said;
    try {
      code = action(&said);
    } catch (...) {
      said = "the action threw";
    }
    size_t sent = 0;
    while (sent < said.size()) {
      const ssize_t n = write(channel[1], said.data() + sent, said.size() - sent);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    // Never back into the test runner: no exit handlers, no flushing of the
    // parent's buffers a second time.
    _exit(code & 0xFF);
  }
  close(channel[1]);
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(channel[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.said.append(chunk, static_cast<size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  struct rusage usage;
  memset(&usage, 0, sizeof usage);
  pid_t waited;
  do {
    waited = wait4(child, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  if (waited == child) {
    run.peak_kib = usage.ru_maxrss;  // KiB on Linux
    if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
  }
  return run;
}
#endif

bool SetWriteTime(const std::string& path, int64_t seconds) {
#ifdef _WIN32
  // Backup semantics let a folder be opened too, to set its time.
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<unsigned long long>(seconds) * 10000000ULL + 116444736000000000ULL;
  FILETIME time;
  time.dwLowDateTime = ticks.LowPart;
  time.dwHighDateTime = ticks.HighPart;
  bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return ok;
#else
  struct timeval times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_usec = 0;
  times[1] = times[0];
  return utimes(Native(path).c_str(), times) == 0;
#endif
}

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> out;
  ListInto(folder, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

bool MakeFolders(const std::string& base, const std::string& relative) {
  std::string path = base;
  size_t from = 0;
  while (from < relative.size()) {
    size_t to = relative.find('\\', from);
    if (to == std::string::npos) to = relative.size();
    if (to > from) {
      path += relative.substr(from, to - from) + "\\";
      if (PlatformKindOf(path.c_str()) != kPlatformFolder &&
          !PlatformMakeDirectory(path.c_str())) {
        return false;
      }
    }
    from = to + 1;
  }
  return true;
}

void ReplayFolderTest::SetUp() {
  folder_ = MakeTempFolder();
  ASSERT_FALSE(folder_.empty());
  settings_ = WatchSettings();
  settings_.naming.date_tag = false;
  last_seen_ = 0;
  status_ = WatcherStatus();
  scratch_ = new DecodeScratch;
  ClearFaults();
}

void ReplayFolderTest::TearDown() {
  ClearFaults();
  delete scratch_;
  scratch_ = nullptr;
  RemoveTree(folder_);
}

PassOutcome ReplayFolderTest::Pass(bool prime) {
  return SaveReplayIn(folder_.c_str(), &last_seen_, &status_, prime, &settings_, scratch_);
}
