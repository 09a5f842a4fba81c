// brindlecap-cli sort: files copies of replays already on disk, each exactly as the
// watcher would have filed it had it just been played. With -modern it also takes
// whole folders, dates each copy by the game, and files no replay twice.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "cli/commands.h"
#include "platform/platform.h"
#include "watcher/decode.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/game_time.h"
#include "watcher/watcher.h"

namespace {

enum Verdict { kSaved, kAlready, kSkipped, kFailed };

// "shorter than 5120 bytes", written out once kReplayMinimumLength is known.
char TooShort[48];

// Why the latest copy could not be written, in the about box's words.
char CopyFailure[96];

// The names a dry run has handed out, so that it predicts the [1], [2] a real
// run gets for repeats.
PlannedNames Planned = {nullptr, 0, 0};

// The six subfolders a run files into: their contents are its own copies, never
// replays to sort.
const char* const kSortedSubfolders[] = {"1v1\\", "2v2\\", "3v3\\", "4v4\\", "FFA\\", "Custom\\"};
const int kSortedCount = 6;

// Where the run files, as folder identities: DEST itself, its sorted subfolders
// that exist, and the folders above it.
struct Destination {
  PlatformIdentity self;
  bool self_known;
  PlatformIdentity sorted[kSortedCount];
  int sorted_count;
  PlatformIdentity above[64];
  int above_count;
};
Destination Dest;

bool SameIdentity(const PlatformIdentity& a, const PlatformIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

bool AmongIdentities(const PlatformIdentity& id, const PlatformIdentity* list, int count) {
  for (int i = 0; i < count; ++i) {
    if (SameIdentity(id, list[i])) return true;
  }
  return false;
}

// The separator a player of this system types, for the paths the walk prints.
#ifdef _WIN32
const char kSeparator[] = "\\";
#else
const char kSeparator[] = "/";
#endif

// folder + separator (unless it ends in one) + name into out. False when it does
// not fit.
bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
  const size_t length = strlen(folder);
  const char last = length > 0 ? folder[length - 1] : '\0';
  const char* separator = length == 0 || last == '\\' || last == '/' ? "" : kSeparator;
  const int n = snprintf(out, size, "%s%s%s", folder, separator, name);
  return n >= 0 && static_cast<size_t>(n) < size;
}

// Calls visit for folder and each folder above it, nearest first, until the root
// (whose ".." is itself) or visit returns true. Returns what visit last returned.
template <typename Visit>
bool UpFrom(const char* folder, Visit visit) {
  char path[kPathSize];
  snprintf(path, sizeof path, "%s", folder);
  PlatformIdentity previous = {0, 0};
  for (int level = 0; level < 64; ++level) {
    PlatformIdentity id;
    if (!PlatformIdentify(path, &id)) return false;
    if (level > 0 && SameIdentity(id, previous)) return false;
    if (visit(id, level)) return true;
    previous = id;
    char up[kPathSize];
    if (!JoinPath(up, sizeof up, path, "..")) return false;
    memcpy(path, up, sizeof path);
  }
  return false;
}

void LearnDestination() {
  Dest = Destination();
  Dest.self_known = PlatformIdentify(ReplayFolder, &Dest.self) != 0;
  for (const char* name : kSortedSubfolders) {
    char path[kPathSize];
    if (JoinPath(path, sizeof path, ReplayFolder, name) &&
        PlatformIdentify(path, &Dest.sorted[Dest.sorted_count])) {
      ++Dest.sorted_count;
    }
  }
  UpFrom(ReplayFolder, [](const PlatformIdentity& id, int level) {
    if (level > 0 && Dest.above_count < 64) Dest.above[Dest.above_count++] = id;
    return false;
  });
}

// True when folder is one of DEST's sorted subfolders or lies below one.
bool InsideSorted(const char* folder) {
  if (Dest.sorted_count == 0) return false;
  return UpFrom(folder, [](const PlatformIdentity& id, int) {
    return AmongIdentities(id, Dest.sorted, Dest.sorted_count);
  });
}

// Records, each with a NUL-ended text, kept in two growing blocks: the walk's
// listings, the files a run works through, what it has filed. Once memory runs
// out nothing more is added and out_of_memory says so.
template <typename Record>
struct TextList {
  char* text;
  size_t used;
  size_t size;
  Record* records;
  int count;
  int capacity;
  bool out_of_memory;

  // Appends record, its text offset set to where a copy of text now lies.
  bool Add(const char* added, Record record) {
    const size_t length = strlen(added) + 1;
    if (out_of_memory) return false;
    if (size - used < length) {
      size_t grown_size = size == 0 ? 4096 : size * 2;
      while (grown_size - used < length) grown_size *= 2;
      char* grown = static_cast<char*>(realloc(text, grown_size));
      if (grown == nullptr) return !(out_of_memory = true);
      text = grown;
      size = grown_size;
    }
    if (count == capacity) {
      const int grown_capacity = capacity == 0 ? 64 : capacity * 2;
      Record* grown = static_cast<Record*>(realloc(records, sizeof(Record) * grown_capacity));
      if (grown == nullptr) return !(out_of_memory = true);
      records = grown;
      capacity = grown_capacity;
    }
    memcpy(text + used, added, length);
    record.text = used;
    records[count++] = record;
    used += length;
    return true;
  }
  const char* TextOf(const Record& record) const { return text + record.text; }
  void Forget() {
    free(text);
    free(records);
    *this = TextList();
  }
};

// What a run works through, in order: files to sort, and paths that only get a
// line with the reason they are not sorted.
struct Item {
  size_t text;         // the path, as the program spells it
  const char* reason;  // NULL: a file to sort
  bool as_given;       // the text is a SOURCE the program could not spell
};
TextList<Item> Found;

void AddItem(const char* path, const char* reason) { Found.Add(path, Item{0, reason, false}); }

// The entries of one folder, collected so they can be taken in name order.
struct Entry {
  size_t text;  // the name
  PlatformKind kind;
  bool link;
};

int CollectEntry(void* context, const char* name, PlatformKind kind, bool link) {
  return static_cast<TextList<Entry>*>(context)->Add(name, Entry{0, kind, link}) ? 1 : 0;
}

// Every copy this run has made or found, by length: the same bytes from another
// source may be dated otherwise, and so come to other names than the first did.
struct Filed {
  size_t text;  // the copy's path
  size_t length;
  uint64_t hash;  // a dry run's: its copies are not there to read
};
TextList<Filed> FiledThisRun;

// The copy this run made or found of exactly these bytes, or NULL. Only a copy of
// the same length is compared.
const char* FiledBefore(const unsigned char* bytes, size_t length, bool dry_run) {
  ReplayCopy same = {bytes, length, 0};
  bool hashed = false;
  for (int i = 0; i < FiledThisRun.count; ++i) {
    const Filed& filed = FiledThisRun.records[i];
    if (filed.length != length) continue;
    const char* path = FiledThisRun.TextOf(filed);
    if (!dry_run) {
      if (HoldsSameBytes(path, &same)) return path;
      continue;
    }
    if (!hashed) same.hash = ReplayHash(bytes, length);
    hashed = true;
    if (filed.hash == same.hash) return path;
  }
  return nullptr;
}

// Name order as a player's file browser shows it: ASCII case aside, then by bytes
// so that the order never depends on the listing's.
const char* SortingText = nullptr;
int CompareEntries(const void* a, const void* b) {
  const char* x = SortingText + static_cast<const Entry*>(a)->text;
  const char* y = SortingText + static_cast<const Entry*>(b)->text;
  for (size_t i = 0;; ++i) {
    unsigned char cx = static_cast<unsigned char>(x[i]);
    unsigned char cy = static_cast<unsigned char>(y[i]);
    if (cx >= 'A' && cx <= 'Z') cx = static_cast<unsigned char>(cx + 32);
    if (cy >= 'A' && cy <= 'Z') cy = static_cast<unsigned char>(cy + 32);
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx == '\0') break;
  }
  return strcmp(x, y);
}

bool EndsWithReplaySuffix(const char* name) {
  const size_t length = strlen(name);
  return length >= 4 && EqualsIgnoringAsciiCase(name + length - 4, ".w3g");
}

// The folders from the walk's root down to the folder being listed, to notice a
// link that leads back up. A path of kPathSize bytes cannot go deeper than this.
PlatformIdentity WalkStack[kPathSize / 2];
int WalkDepth = 0;

const char kUnreadableFolder[] = "cannot be read: the folder could not be listed";
const char kLinkLoop[] = "a link loop: it leads back to a folder above it";
const char kHoldsDest[] = "holds FOLDER, where the copies go (sort FOLDER FOLDER sorts in place)";
const char kIsDest[] = "leads to FOLDER, where the copies go";
const char kInSorted[] = "lies in FOLDER's sorted copies";

// Adds every replay below folder, whose identity is already on WalkStack, in name
// order: subfolders where they fall among the files.
void WalkFolder(const char* folder) {
  TextList<Entry> listing = TextList<Entry>();
  if (!PlatformListFolder(folder, CollectEntry, &listing) || listing.out_of_memory) {
    AddItem(folder, listing.out_of_memory ? "out of memory" : kUnreadableFolder);
    listing.Forget();
    return;
  }
  SortingText = listing.text;
  // An empty folder's listing has no records at all, and qsort takes no NULL array.
  if (listing.count > 1) {
    qsort(listing.records, static_cast<size_t>(listing.count), sizeof(Entry), CompareEntries);
  }
  for (int i = 0; i < listing.count; ++i) {
    const Entry& entry = listing.records[i];
    const char* name = listing.TextOf(entry);
    char spelt[kPathSize];
    char path[kPathSize];
    if (!PlatformPathFromSystem(name, spelt, sizeof spelt) ||
        !JoinPath(path, sizeof path, folder, spelt)) {
      continue;
    }
    if (entry.kind == kPlatformFolder) {
      PlatformIdentity id;
      if (!PlatformIdentify(path, &id)) {
        AddItem(path, kUnreadableFolder);
      } else if (AmongIdentities(id, Dest.sorted, Dest.sorted_count)) {
        // The run's own copies.
      } else if (AmongIdentities(id, WalkStack, WalkDepth)) {
        AddItem(path, kLinkLoop);
      } else if (Dest.self_known && SameIdentity(id, Dest.self)) {
        AddItem(path, kIsDest);
      } else if (WalkDepth < static_cast<int>(sizeof WalkStack / sizeof WalkStack[0])) {
        WalkStack[WalkDepth++] = id;
        WalkFolder(path);
        --WalkDepth;
      }
    } else if (EndsWithReplaySuffix(name) && !EqualsIgnoringAsciiCase(name, "TempReplay.w3g")) {
      // The game's file of a game in progress is half a replay; a link to
      // nothing is reported as the missing file it is.
      AddItem(path, entry.kind == kPlatformFile ? nullptr : "no such file");
    }
  }
  listing.Forget();
}

// The folder a SOURCE file lies in: its path up to the last separator, or "." .
void FolderOf(const char* file, char* out, size_t size) {
  const char* slash = strrchr(file, '\\');
  const char* other = strrchr(file, '/');
  if (other != nullptr && (slash == nullptr || other > slash)) slash = other;
  if (slash == nullptr) {
    snprintf(out, size, ".");
  } else {
    snprintf(out, size, "%.*s", static_cast<int>(slash - file + 1), file);
  }
}

// Turns the SOURCEs into the list of items, walking folders.
void GatherSources(char* const* sources, int count) {
  char checked_folder[kPathSize] = "";
  bool checked_inside = false;
  for (int i = 0; i < count; ++i) {
    char source[kPathSize];
    if (!PlatformPathFromSystem(sources[i], source, sizeof source)) {
      // Too long to spell, so too long for the seam to find.
      Found.Add(sources[i], Item{0, "no such file", true});
      continue;
    }
    switch (PlatformKindOf(source)) {
      case kPlatformNothing:
        AddItem(source, PlatformLastError() == kPlatformMissing ? "no such file" : "cannot be read");
        break;
      case kPlatformFile: {
        // Files of one folder usually come together (a shell's wildcard): ask
        // where that folder lies once.
        char folder[kPathSize];
        FolderOf(source, folder, sizeof folder);
        if (strcmp(folder, checked_folder) != 0) {
          memcpy(checked_folder, folder, sizeof folder);
          checked_inside = InsideSorted(folder);
        }
        AddItem(source, checked_inside ? kInSorted : nullptr);
        break;
      }
      case kPlatformFolder: {
        PlatformIdentity id;
        if (!PlatformIdentify(source, &id)) {
          AddItem(source, kUnreadableFolder);
        } else if (InsideSorted(source)) {
          AddItem(source, kInSorted);
        } else if (AmongIdentities(id, Dest.above, Dest.above_count)) {
          AddItem(source, kHoldsDest);
        } else {
          WalkStack[0] = id;
          WalkDepth = 1;
          WalkFolder(source);
          WalkDepth = 0;
        }
        break;
      }
    }
  }
}

const char* WhyUnreadable(ReadOutcome outcome) {
  switch (outcome) {
    case kReadMissing: return "no such file";
    case kReadIsFolder: return "is a folder, not a replay";
    case kReadNotAFile: return "is a pipe, socket or device, not a replay";
    default: return "cannot be read";
  }
}

bool IsReplay(const unsigned char* bytes, size_t length) {
  static const char kLeading[] = "Warcraft III recorded game\x1A";
  return length >= sizeof kLeading - 1 && memcmp(bytes, kLeading, sizeof kLeading - 1) == 0;
}

// The file name of a path, after its last separator.
const char* FileName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

// Files (or, in a dry run, plans) one FILE. Fills destination for a saved copy or
// the one already there, reason otherwise. by_game: date the copy by the game,
// refuse what is no replay, and file no replay twice.
Verdict SortOne(const char* file, bool dry_run, bool by_game, char* destination, size_t size,
                const char** reason) {
  int64_t stamp = -1;
  if (by_game && !TimeFromReplayName(FileName(file), &NameTime)) {
    // Probed before the read, so that the read is the last word on the file.
    PlatformProbe(file, &stamp);
    PlatformTimeFromStamp(stamp, &NameTime);
  }
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
  if (by_game && !IsReplay(bytes, length)) {
    free(bytes);
    *reason = "not a replay";
    return kFailed;
  }
  DecodeResult result;
  DecodeReplay(bytes, length, &result);
  if (!result.ladder && !SaveCustomGames) {
    free(bytes);
    *reason = "not a ladder game";
    return kSkipped;
  }
  const char* before = by_game ? FiledBefore(bytes, length, dry_run) : nullptr;
  if (before != nullptr) {
    free(bytes);
    snprintf(destination, size, "%s", before);
    return kAlready;
  }
  NameTimeFixed = by_game;
  const FileOutcome outcome =
      dry_run ? PlanReplay(&result, &Planned, destination, size, by_game ? bytes : nullptr, length)
              : FileReplay(&result, bytes, length, by_game);
  NameTimeFixed = false;
  if (by_game && (outcome == kFiled || outcome == kAlreadyThere)) {
    const Filed filed = {0, length, dry_run ? ReplayHash(bytes, length) : 0};
    FiledThisRun.Add(dry_run ? destination : FiledPath, filed);
  }
  free(bytes);
  switch (outcome) {
    case kFiled:
    case kAlreadyThere:
      if (!dry_run) snprintf(destination, size, "%s", FiledPath);
      return outcome == kFiled ? kSaved : kAlready;
    case kNoFreeName: *reason = "no free name: every name up to [999] is taken"; break;
    case kNoNameFits: *reason = "no name fits: the path of FOLDER is too long"; break;
    case kCopyFailed: {
      const char* words = PlatformErrorWords(CopyError);
      snprintf(CopyFailure, sizeof CopyFailure, "the copy could not be written: %s",
               words != nullptr ? words : "the system reported an error");
      *reason = CopyFailure;
      break;
    }
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

// Sorts one item, path in the program's spelling (the progress line, when shown,
// stays up while it works), prints its line, naming it as shown, and counts it.
void SortItem(const char* shown, const char* path, const char* reason, bool dry_run,
              bool by_game, FILE* out, FILE* err, SortCounts* counts) {
  char destination[kPathSize];
  Verdict verdict = kFailed;
  if (reason == nullptr) {
    reason = "";
    verdict = SortOne(path, dry_run, by_game, destination, sizeof destination, &reason);
  }
  ClearProgress(err);
  switch (verdict) {
    case kSaved:
      ++counts->saved;
      fprintf(out, "%s\t%s\n", shown, BelowReplayFolder(destination));
      break;
    case kAlready:
      ++counts->already;
      fprintf(out, "%s\t- already there: %s\n", shown, BelowReplayFolder(destination));
      break;
    case kSkipped:
      ++counts->skipped;
      fprintf(out, "%s\t- %s\n", shown, reason);
      break;
    case kFailed:
      ++counts->failed;
      fprintf(out, "%s\t- %s\n", shown, reason);
      break;
  }
  fflush(out);
}

}  // namespace

int SortInto(const char* dest, char* const* sources, int count, bool dry_run, FILE* out,
             FILE* err, SortCounts* counts) {
  if (!UseReplayFolder(dest, err)) return 0;
  snprintf(TooShort, sizeof TooShort, "shorter than %d bytes", kReplayMinimumLength);
  // Whole folders, the game's date and "already there" come with -modern; without
  // it, sort files each FILE as it always has.
  const bool by_game = ModernReading;
  const bool progress = IsTerminal(err) != 0;
  if (!by_game) {
    for (int i = 0; i < count; ++i) {
      if (progress) ShowProgress(err, i + 1, count);
      // A FILE too long to spell is too long for the seam to find.
      char path[kPathSize];
      const bool spelt = PlatformPathFromSystem(sources[i], path, sizeof path) != 0;
      SortItem(sources[i], path, spelt ? nullptr : "no such file", dry_run, false, out, err,
               counts);
    }
  } else {
    LearnDestination();
    GatherSources(sources, count);
    if (Found.out_of_memory) {
      ++counts->failed;
      fprintf(err, "brindlecap-cli: out of memory while listing the SOURCEs\n");
    }
    for (int i = 0; i < Found.count; ++i) {
      if (progress) ShowProgress(err, i + 1, Found.count);
      const Item& item = Found.records[i];
      const char* path = Found.TextOf(item);
      char shown[kPathSize];
      const bool spelt = !item.as_given && PlatformPathToSystem(path, shown, sizeof shown);
      SortItem(spelt ? shown : path, path, item.reason, dry_run, true, out, err, counts);
    }
    Found.Forget();
    FiledThisRun.Forget();
  }
  ClearProgress(err);
  ForgetPlannedNames(&Planned);
  return 1;
}

namespace {

// The whole backlog: every replay folder the tray program would watch with
// -modern, each sorted in place, its Autosaved subfolders with it. Folders that
// are not there yet are passed over. Returns 0 after saying why on err when the
// folders cannot be found at all.
int SortEveryReplayFolder(const char* prefix, bool dry_run, FILE* out, FILE* err,
                          SortCounts* counts) {
  static WatchList list;
  if (!FindWatchedFolders(&list, true, prefix, err)) return 0;
  int sorted = 0;
  for (int i = 0; i < list.count; ++i) {
    if (PlatformKindOf(list.folders[i].path) != kPlatformFolder) continue;
    // As this system spells it, as a FOLDER typed: so the lines name the files.
    char folder[kPathSize];
    if (!PlatformPathToSystem(list.folders[i].path, folder, sizeof folder)) continue;
    fprintf(err, "brindlecap-cli: sorting %s\n", folder);
    fflush(err);
    char* source = folder;
    if (SortInto(folder, &source, 1, dry_run, out, err, counts)) ++sorted;
  }
  if (sorted == 0) fputs("brindlecap-cli: no replay folder is there to sort\n", err);
  return 1;
}

}  // namespace

int CommandSort(int argc, char** argv, FILE* out, FILE* err) {
  bool dry_run = false;
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, kSortUsage, nullptr);
  int first = ParseSwitches(argc, argv, kSortUsage, &dry_run, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  SortCounts counts = {0, 0, 0, 0};
  if (first >= argc && (ModernReading || prefix != nullptr)) {
    // Nothing named: the replay folders themselves, read as the current game's
    // folders must be.
    ModernReading = true;
    if (!SortEveryReplayFolder(prefix, dry_run, out, err, &counts)) return 2;
  } else if (first >= argc) {
    return UsageError(err, kSortUsage, "sort needs a FOLDER and at least one FILE");
  } else if (prefix != nullptr) {
    return UsageError(err, kSortUsage, "--prefix goes with sort alone, without FOLDER and FILE");
  } else if (argc - first < 2) {
    return UsageError(err, kSortUsage, "sort needs at least one FILE after FOLDER");
  } else if (!SortInto(argv[first], argv + first + 1, argc - first - 1, dry_run, out, err,
                       &counts)) {
    return 2;
  }
  const char* dry = dry_run ? " (dry run: nothing was written)" : "";
  if (ModernReading) {
    fprintf(err, "%d saved, %d already there, %d skipped, %d failed%s\n", counts.saved,
            counts.already, counts.skipped, counts.failed, dry);
  } else {
    fprintf(err, "%d saved, %d skipped, %d failed%s\n", counts.saved, counts.skipped,
            counts.failed, dry);
  }
  return counts.failed == 0 ? 0 : 1;
}
