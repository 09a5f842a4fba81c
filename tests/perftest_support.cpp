#include "tests/perftest_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <new>

#include "replay/file_header.h"
#include "replay/game.h"
#include "tests/test_support.h"

extern char** environ;

uint64_t HeapAllocations = 0;

// The allocation functions are defined here, in the executable, so that they stand
// in for the C library's everywhere in the process: in our code, in libstdc++ and in
// the shared zlib alike (a linker --wrap would miss the calls made from inside
// shared libraries). Each counts and hands over to glibc's own allocator.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) {
  ++HeapAllocations;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  ++HeapAllocations;
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  ++HeapAllocations;
  return __libc_realloc(block, size);
}

void* memalign(size_t alignment, size_t size) {
  ++HeapAllocations;
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  ++HeapAllocations;
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) {
  ++HeapAllocations;
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *block = p;
  return 0;
}

void free(void* block) { __libc_free(block); }
}  // extern "C"

namespace {

void* CountedNew(size_t size) {
  ++HeapAllocations;
  void* p = __libc_malloc(size == 0 ? 1 : size);
  if (p == nullptr) abort();  // the benchmarks have no use for bad_alloc
  return p;
}

void* CountedAlignedNew(size_t size, std::align_val_t alignment) {
  ++HeapAllocations;
  void* p = __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
  if (p == nullptr) abort();
  return p;
}

}  // namespace

void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new(size_t size, std::align_val_t a) { return CountedAlignedNew(size, a); }
void* operator new[](size_t size, std::align_val_t a) { return CountedAlignedNew(size, a); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }
void operator delete(void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { __libc_free(p); }

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double Median(std::vector<double>* samples) {
  if (samples->empty()) return 0;
  std::sort(samples->begin(), samples->end());
  size_t n = samples->size();
  return n % 2 == 1 ? (*samples)[n / 2] : ((*samples)[n / 2 - 1] + (*samples)[n / 2]) / 2;
}

std::vector<RealReplay> LoadRealReplays() {
  std::vector<RealReplay> replays;
  std::string folder = RealReplayFolder();
  if (folder.empty()) {
    fprintf(stderr, "the real replays are missing from tests/replays\n");
    exit(1);
  }
  for (const std::string& name : ListFiles(folder)) {
    // The game's replays and the NetEase platform's.
    const std::string suffix = name.size() < 4 ? "" : name.substr(name.size() - 4);
    if (suffix != ".w3g" && suffix != ".nwg") continue;
    RealReplay replay;
    replay.name = name;
    if (ReadFileBytes(folder + name, &replay.bytes)) replays.push_back(replay);
  }
  return replays;
}

const RealReplay* FindReplay(const std::vector<RealReplay>& replays, const std::string& name) {
  for (const RealReplay& replay : replays) {
    if (replay.name == name) return &replay;
  }
  return nullptr;
}

void PrintFigure(const char* name, double value, int decimals) {
  printf("%s %.*f\n", name, decimals, value);
  fflush(stdout);
}

namespace {

// Calls inflate(data, size, out, holds, room) for each block of the replay in
// bytes[0, length), as the reading finds them: in a container or not, behind
// either file header, no further than the blocks it declares; out goes round a
// window of kGameWindowSize bytes. inflate returns what it produced. Returns the
// bytes produced in all.
template <typename Inflate>
size_t ForEachBlock(const unsigned char* bytes, size_t length, unsigned char* window,
                    Inflate inflate) {
  const ReplaySpan span = LocateReplay(bytes, length);
  ReplayFileHeader file;
  if ((span.holder != kHolderReplay && span.holder != kHolderNetEase) ||
      !ReadReplayFileHeader(bytes + span.offset, span.length, &file)) {
    return 0;
  }
  bytes += span.offset;
  length = span.length;
  auto load16 = [](const unsigned char* p) { return p[0] | (uint32_t{p[1]} << 8); };
  auto load32 = [](const unsigned char* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
  };
  const bool wide = file.block_header == 12;
  const size_t header = file.block_header;
  size_t total = 0;
  size_t position = 0;
  size_t at = file.first_block;
  for (uint32_t block = 0; at <= length && header <= length - at &&
                           (file.blocks == 0 || block < file.blocks);
       ++block) {
    const size_t packed = wide ? load32(bytes + at) : load16(bytes + at);
    const size_t holds = wide ? load32(bytes + at + 4) : load16(bytes + at + 2);
    at += header;
    if (packed > length - at || packed < 2 || holds > kGameWindowSize) break;
    if (kGameWindowSize - position < holds) position = 0;  // back to the window's start
    const size_t produced =
        inflate(bytes + at + 2, packed - 2, window + position, holds, kGameWindowSize - position);
    position += produced;
    total += produced;
    at += packed;
  }
  return total;
}

}  // namespace

size_t InflateBlocks(const unsigned char* bytes, size_t length, unsigned char* window) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return 0;
  const size_t total = ForEachBlock(
      bytes, length, window,
      [&stream](const unsigned char* data, size_t size, unsigned char* out, size_t holds, size_t) {
        inflateReset(&stream);
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(holds);
        while (stream.avail_out > 0 && inflate(&stream, Z_NO_FLUSH) == Z_OK) {
        }
        return holds - stream.avail_out;
      });
  inflateEnd(&stream);
  return total;
}

size_t InflateBlocksWhole(const unsigned char* bytes, size_t length, unsigned char* window,
                          WholeInflater* inflater) {
  return ForEachBlock(bytes, length, window,
                      [inflater](const unsigned char* data, size_t size, unsigned char* out,
                                 size_t holds, size_t room) -> size_t {
                        return InflateWhole(inflater, data, size, out, holds, room) ? holds : 0;
                      });
}

long SpawnAndMeasure(const char* program, char** args, const char* output, int* exit_code) {
  *exit_code = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child;
  const int started = posix_spawn(&child, program, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) return -1;
  if (WIFEXITED(status)) *exit_code = WEXITSTATUS(status);
  return usage.ru_maxrss;
}

std::string SelfPath() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  return std::string(self, static_cast<size_t>(length));
}

bool AnswerMeasure(int argc, char** argv, int* main_code) {
  if (argc < 4 || strcmp(argv[1], "--measure") != 0) return false;
  int code = -1;
  const long kb = SpawnAndMeasure(argv[3], argv + 3, argv[2], &code);
  printf("%ld %d\n", kb, code);
  *main_code = kb < 0 ? 1 : 0;
  return true;
}

long PeakKb(const std::string& self, const std::string& cli, const std::vector<std::string>& args,
            const std::string& output, const std::string& folder, int* exit_code) {
  std::vector<std::string> words = {self, "--measure", output, cli};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  const std::string answer = folder + "peak.txt";
  int measurer = -1;
  const long started = SpawnAndMeasure(self.c_str(), argv.data(), answer.c_str(), &measurer);
  Bytes bytes;
  const bool answered = started >= 0 && measurer == 0 && ReadFileBytes(answer, &bytes);
  RemoveFile(answer);
  const std::string text(bytes.begin(), bytes.end());
  long kb = -1;
  int code = -1;
  if (!answered || sscanf(text.c_str(), "%ld %d", &kb, &code) != 2 || kb < 0) return -1;
  if (exit_code != nullptr) {
    *exit_code = code;
  } else if (code != 0) {
    return -1;
  }
  return kb;
}

void TakeBenchSwitches(int* argc, char** argv, bool* figures_only, int* rounds) {
  *figures_only = false;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    if (strcmp(argv[i], "--figures-only") == 0) {
      *figures_only = true;
    } else if (strncmp(argv[i], "--rounds=", 9) == 0) {
      *rounds = atoi(argv[i] + 9);
      if (*rounds < 1) *rounds = 1;
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}
