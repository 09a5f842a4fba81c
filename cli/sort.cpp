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

// "shorter than 5120 bytes", written out once kReplayMinimumLength is known.
char TooShort[48];

// The names a dry run has handed out, so that it predicts the [1], [2] a real
// run gets for repeats.
PlannedNames Planned = {nullptr, 0, 0};

const char* WhyUnreadable(ReadOutcome outcome) {
  switch (outcome) {
    case kReadMissing: return "no such file";
    case kReadIsFolder: return "is a folder, not a replay";
    default: return "cannot be read";
  }
}

// Files (or, in a dry run, plans) one FILE. Fills destination for a saved copy,
// reason otherwise.
Verdict SortOne(const char* file, bool dry_run, char* destination, size_t size,
                const char** reason) {
  unsigned char* bytes = nullptr;
  size_t length = 0;
  const ReadOutcome read = ReadReplayFile(file, &bytes, &length);
  if (read == kReadTooShort) {
    *reason = TooShort;
    return kSkipped;
  }
  if (read != kReadWhole) {
    *reason = WhyUnreadable(read);
    return kFailed;
  }
  DecodeResult result;
  DecodeReplay(bytes, length, &result);
  if (!result.ladder && !SaveCustomGames) {
    free(bytes);
    *reason = "not a ladder game";
    return kSkipped;
  }
  const FileOutcome outcome = dry_run ? PlanReplay(&result, &Planned, destination, size)
                                      : FileReplay(&result, bytes, length);
  free(bytes);
  switch (outcome) {
    case kFiled:
      if (!dry_run) snprintf(destination, size, "%s", FiledPath);
      return kSaved;
    case kNoFreeName: *reason = "no free name: every name up to [999] is taken"; break;
    case kNoNameFits: *reason = "no name fits: the path of FOLDER is too long"; break;
    case kCopyFailed: *reason = "the copy could not be written"; break;
    case kNoMemory: *reason = "out of memory"; break;
  }
  return kFailed;
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
  ForgetPlannedNames(&Planned);
  fprintf(err, "%d saved, %d skipped, %d failed%s\n", counts[kSaved], counts[kSkipped],
          counts[kFailed], dry_run ? " (dry run: nothing was written)" : "");
  return counts[kFailed] == 0 ? 0 : 1;
}
