// brindlecap-cli sort: files copies of replays already on disk, each exactly as the
// watcher would have filed it had it just been played.
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "watcher/decode.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

enum Verdict { kSaved, kSkipped, kFailed };

// FileReplay tries the plain name and then [1] to [999].
const int kLastCounter = 999;

const char kNoNameFits[] = "no name fits: the path of FOLDER is too long";
const char kAllNamesTaken[] = "no free name: every name up to [999] is taken";
// "shorter than 5120 bytes", written out once kReplayMinimumLength is known.
char TooShort[48];

// Windows file names ignore ASCII case, so there "A.w3g" and "a.w3g" are one file.
unsigned char FoldCase(unsigned char c) {
#ifdef _WIN32
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
#else
  return c;
#endif
}

bool SamePath(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != '\0' && FoldCase(*x) == FoldCase(*y)) {
    ++x;
    ++y;
  }
  return FoldCase(*x) == FoldCase(*y);
}

// The names a dry run has handed out. A real run finds its own earlier copies on
// disk; a dry run writes none, so it remembers them here to predict the same
// [1], [2] for repeats: one growing block of NUL-ended paths, searched in order.
char* Planned = nullptr;
size_t PlannedUsed = 0;
size_t PlannedSize = 0;

bool IsPlanned(const char* path) {
  for (size_t at = 0; at < PlannedUsed; at += strlen(Planned + at) + 1) {
    if (SamePath(Planned + at, path)) return true;
  }
  return false;
}

// Remembers path. Returns false when memory runs out.
bool RememberPlanned(const char* path) {
  const size_t length = strlen(path) + 1;
  if (PlannedSize - PlannedUsed < length) {
    size_t size = PlannedSize == 0 ? 65536 : PlannedSize * 2;
    if (size - PlannedUsed < length) size = PlannedUsed + length;
    char* grown = static_cast<char*>(realloc(Planned, size));
    if (grown == nullptr) return false;
    Planned = grown;
    PlannedSize = size;
  }
  memcpy(Planned + PlannedUsed, path, length);
  PlannedUsed += length;
  return true;
}

void ForgetPlanned() {
  free(Planned);
  Planned = nullptr;
  PlannedUsed = PlannedSize = 0;
}

// The free-name search of FileReplay, without the copy: the first candidate that
// is neither on disk nor handed out earlier in this run.
Verdict PlanCopy(const DecodeResult* result, char* destination, size_t size,
                 const char** reason) {
  char body[kPathSize];
  const char* subfolder = PrepareName(result, ReplayFolder, body, sizeof body);
  if (subfolder == nullptr) {
    *reason = kNoNameFits;
    return kFailed;
  }
  for (int i = 0; i <= kLastCounter; ++i) {
    if (!ComposeCandidate(destination, size, ReplayFolder, subfolder, body, i)) break;
    if (FileExists(destination) || IsPlanned(destination)) continue;
    if (!RememberPlanned(destination)) {
      *reason = "out of memory";
      return kFailed;
    }
    return kSaved;
  }
  *reason = kAllNamesTaken;
  return kFailed;
}

Verdict FileCopy(const DecodeResult* result, const unsigned char* bytes, size_t length,
                 char* destination, size_t size, const char** reason) {
  // FileReplay answers "no free name" for both; asking first tells them apart.
  char body[kPathSize];
  if (PrepareName(result, ReplayFolder, body, sizeof body) == nullptr) {
    *reason = kNoNameFits;
    return kFailed;
  }
  switch (FileReplay(result, bytes, length)) {
    case kFiled:
      snprintf(destination, size, "%s", FiledPath);
      return kSaved;
    case kNoFreeName:
      *reason = kAllNamesTaken;
      return kFailed;
    case kCopyFailed:
      break;
  }
  *reason = "the copy could not be written";
  return kFailed;
}

const char* WhyUnreadable(const char* file) {
  switch (KindOfPath(file)) {
    case kPathMissing: return "no such file";
    case kPathFolder: return "is a folder, not a replay";
    case kPathFile: break;
  }
  return "cannot be read";
}

// Files (or, in a dry run, plans) one FILE. Fills destination for a saved copy,
// reason otherwise.
Verdict SortOne(const char* file, bool dry_run, char* destination, size_t size,
                const char** reason) {
  unsigned char* bytes = nullptr;
  size_t length = 0;
  switch (ReadReplayFile(file, &bytes, &length)) {
    case kReadFailed:
      *reason = WhyUnreadable(file);
      return kFailed;
    case kReadTooShort:
      *reason = TooShort;
      return kSkipped;
    case kReadWhole:
      break;
  }
  DecodeResult result;
  DecodeReplay(bytes, length, &result);
  Verdict verdict;
  if (!result.ladder && !SaveCustomGames) {
    *reason = "not a ladder game";
    verdict = kSkipped;
  } else if (dry_run) {
    verdict = PlanCopy(&result, destination, size, reason);
  } else {
    verdict = FileCopy(&result, bytes, length, destination, size, reason);
  }
  free(bytes);
  return verdict;
}

// On a terminal, one line on standard error tells how far a long run has got; it
// is rewritten for each file and wiped before anything else is printed.
int ProgressWidth = 0;

void ShowProgress(FILE* err, int done, int total) {
  const int n = fprintf(err, "\rsorting %d of %d", done, total);
  ProgressWidth = n > 1 ? n - 1 : 0;
  fflush(err);
}

void ClearProgress(FILE* err) {
  if (ProgressWidth == 0) return;
  fprintf(err, "\r%*s\r", ProgressWidth, "");
  fflush(err);
  ProgressWidth = 0;
}

}  // namespace

int CommandSort(int argc, char** argv, FILE* out, FILE* err) {
  bool dry_run = false;
  int first = ParseSwitches(argc, argv, kSortUsage, &dry_run, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  if (argc - first < 2) {
    return UsageError(err, kSortUsage,
                      first >= argc ? "sort needs a FOLDER and at least one FILE"
                                    : "sort needs at least one FILE after FOLDER");
  }
  if (!UseReplayFolder(argv[first], err)) return 2;

  snprintf(TooShort, sizeof TooShort, "shorter than %d bytes", kReplayMinimumLength);
  const bool progress = IsTerminal(err) != 0;
  const int total = argc - first - 1;
  int counts[3] = {0, 0, 0};
  for (int i = 0; i < total; ++i) {
    const char* file = argv[first + 1 + i];
    if (progress) ShowProgress(err, i + 1, total);
    char destination[kPathSize];
    const char* reason = "";
    const Verdict verdict = SortOne(file, dry_run, destination, sizeof destination, &reason);
    ++counts[verdict];
    ClearProgress(err);
    if (verdict == kSaved) {
      fprintf(out, "%s\t%s\n", file, BelowReplayFolder(destination));
    } else {
      fprintf(out, "%s\t- %s\n", file, reason);
    }
    fflush(out);
  }
  ClearProgress(err);
  ForgetPlanned();
  fprintf(err, "%d saved, %d skipped, %d failed%s\n", counts[kSaved], counts[kSkipped],
          counts[kFailed], dry_run ? " (dry run: nothing was written)" : "");
  return counts[kFailed] == 0 ? 0 : 1;
}
