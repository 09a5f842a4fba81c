// brindlecap-cli sort: files copies of replays already on disk, each exactly as the
// watcher would have filed it had it just been played. With -modern it also takes
// whole folders, dates each copy by the game, and files no replay twice.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "cli/commands.h"
#include "naming/game_time.h"
#include "naming/name.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "replay/file_header.h"
#include "replay/text.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

namespace {

enum Verdict { kSaved, kAlready, kSkipped, kFailed };

const int kSortedCount = kSubfolderCount;

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

bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
  return ::JoinPath(out, size, folder, name, kSeparator[0]) != 0;
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

void LearnDestination(const char* folder, Destination* dest) {
  *dest = Destination();
  dest->self_known = PlatformIdentify(folder, &dest->self) != 0;
  for (const char* name : kSubfolders) {
    char path[kPathSize];
    if (JoinPath(path, sizeof path, folder, name) &&
        PlatformIdentify(path, &dest->sorted[dest->sorted_count])) {
      ++dest->sorted_count;
    }
  }
  UpFrom(folder, [dest](const PlatformIdentity& id, int level) {
    if (level > 0 && dest->above_count < 64) dest->above[dest->above_count++] = id;
    return false;
  });
}

// True when folder is one of DEST's sorted subfolders or lies below one.
bool InsideSorted(const Destination& dest, const char* folder) {
  if (dest.sorted_count == 0) return false;
  return UpFrom(folder, [&dest](const PlatformIdentity& id, int) {
    return AmongIdentities(id, dest.sorted, dest.sorted_count);
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
  uint64_t length;
  uint64_t hash;  // ReplayHash of its bytes, once hashed
  bool hashed;    // a file found in DEST is read for its hash only when a replay of
                  // its length comes, and then only once
  bool planned;   // a dry run's plan: not on disk, its hash stands for it
};

// One run of sort into one destination: everything it learns and keeps while it
// goes, owned here rather than by the process, so that runs never share state.
struct SortRun {
  const WatchSettings* settings;
  DecodeScratch* scratch;
  char folder[kPathSize];  // DEST, ending in a separator
  bool dry_run;
  bool by_game;            // date by the game, refuse what is no replay, file nothing twice
  bool index_whole;        // filed holds everything DEST's subfolders held at the start
  Destination dest;
  TextList<Item> found;        // what the run works through, in order
  TextList<Filed> filed;       // every copy made or found
  PlannedNames planned;        // a dry run's names
  TakenNames taken;            // the names DEST's subfolders hold, and those handed out since
  // The folders from the walk's root down to the folder being listed, to notice a
  // link that leads back up. A path of kPathSize bytes cannot go deeper than this.
  PlatformIdentity walk_stack[kPathSize / 2];
  int walk_depth;
  int progress_width;  // of the progress line on the terminal, 0 when none is shown
  char too_short[48];  // "shorter than 5120 bytes"
  char copy_failure[96];  // why the latest copy could not be written, in plain words
};

void AddItem(SortRun* run, const char* path, const char* reason) {
  run->found.Add(path, Item{0, reason, false});
}

// The copy of exactly the file's bytes (hash: their ReplayHash) that DEST's
// subfolders held when the run began or that the run has made, whatever it is
// called, or NULL; stem: where its copy would be named, without ".w3g". Only files
// of the same length are looked at, each read at most once in pieces: for its hash,
// compared byte for byte on the way. A file hashed before whose hash agrees is
// compared again (the same bytes twice among the SOURCEs); a dry run's plans count
// by their hash.
const char* FiledBefore(SortRun* run, const ReplayFile* file, uint64_t hash, const char* stem) {
  const ReplayCopy same = {file, hash};
  const char* found = nullptr;
  // First the files under this replay's own name and its [i]: a sort run again
  // finds each copy there, and reads no other file for it. Then every other file.
  const size_t stem_length = strlen(stem);
  for (int i = 0; found == nullptr && i < 2 * run->filed.count; ++i) {
    Filed& filed = run->filed.records[i % run->filed.count];
    if (filed.length != file->length) continue;
    const char* path = run->filed.TextOf(filed);
    const bool named = stem_length > 0 && strncmp(path, stem, stem_length) == 0;
    if ((i < run->filed.count) != named) continue;
    if (filed.hashed) {
      if (filed.hash != hash) continue;
      if ((run->dry_run && filed.planned) || HoldsSameBytes(path, &same)) found = path;
      continue;
    }
    FileDigest digest;
    const bool equal = HoldsSameBytes(path, &same, &digest);
    if (!digest.whole) continue;
    filed.hash = digest.hash;
    filed.hashed = true;
    if (equal) found = path;
  }
  return found;
}

// Adds what DEST's sorted subfolders hold, below them at any depth, to the run's
// copies, by length: a replay sorted before under another date tag or name is
// there already. The names right below each subfolder (subfolder: which, at depth
// 0) are the names taken there, from which the free-name search starts. Returns
// false when a subfolder could not be listed whole.
bool IndexSortedCopies(SortRun* run, const char* folder, int depth, const char* subfolder) {
  TextList<Entry> listing = TextList<Entry>();
  bool whole = PlatformListFolder(folder, CollectEntry, &listing) && !listing.out_of_memory;
  for (int i = 0; whole && i < listing.count; ++i) {
    const Entry& entry = listing.records[i];
    char spelt[kPathSize];
    char path[kPathSize];
    if (!PlatformPathFromSystem(listing.TextOf(entry), spelt, sizeof spelt) ||
        !::JoinPath(path, sizeof path, folder, spelt)) {
      whole = false;
      continue;
    }
    if (depth == 0) NoteTakenName(&run->taken, subfolder, spelt);
    if (entry.kind == kPlatformFolder && !entry.link) {
      whole = depth < 16 && IndexSortedCopies(run, path, depth + 1, subfolder);
    } else if (entry.kind == kPlatformFile && IsReplayFileName(spelt)) {
      int64_t stamp = -1;
      int64_t length = -1;
      if (PlatformProbe(path, &stamp, &length) && length >= 0) {
        whole = run->filed.Add(path, Filed{0, static_cast<uint64_t>(length), 0, false, false});
      }
    }
  }
  listing.Forget();
  // A listing cut short leaves the names of the subfolder to be found as before.
  if (depth == 0) NoteSubfolderListed(&run->taken, subfolder, whole);
  return whole;
}

// Name order as a player's file browser shows it: ASCII case aside, then by bytes
// so that the order never depends on the listing's.
void SortByName(TextList<Entry>* listing) {
  const char* text = listing->text;
  std::sort(listing->records, listing->records + listing->count,
            [text](const Entry& a, const Entry& b) {
              return CompareNamesIgnoringAsciiCase(text + a.text, text + b.text) < 0;
            });
}


const char kUnreadableFolder[] = "cannot be read: the folder could not be listed";
const char kLinkLoop[] = "a link loop: it leads back to a folder above it";
const char kHoldsDest[] = "holds FOLDER, where the copies go (sort FOLDER FOLDER sorts in place)";
const char kIsDest[] = "leads to FOLDER, where the copies go";
const char kInSorted[] = "lies in FOLDER's sorted copies";

const char kPathTooLong[] = "cannot be read: its path is too long";

// An entry whose path does not fit the program's buffers still gets its line: the
// folder as this system spells it, then the name as listed.
void AddTooLong(SortRun* run, const char* folder, const char* name) {
  char shown[kPathSize];
  if (!PlatformPathToSystem(folder, shown, sizeof shown)) {
    snprintf(shown, sizeof shown, "%s", folder);
  }
  const size_t size = strlen(shown) + strlen(name) + 2;
  char* text = static_cast<char*>(malloc(size));
  if (text == nullptr) {
    run->found.out_of_memory = true;
    return;
  }
  ::JoinPath(text, size, shown, name, kSeparator[0]);
  run->found.Add(text, Item{0, kPathTooLong, true});
  free(text);
}

// Adds every replay below folder, whose identity is already on the walk stack, in name
// order: subfolders where they fall among the files.
void WalkFolder(SortRun* run, const char* folder) {
  TextList<Entry> listing = TextList<Entry>();
  if (!PlatformListFolder(folder, CollectEntry, &listing) || listing.out_of_memory) {
    AddItem(run, folder, listing.out_of_memory ? "out of memory" : kUnreadableFolder);
    listing.Forget();
    return;
  }
  SortByName(&listing);
  const Destination& dest = run->dest;
  for (int i = 0; i < listing.count; ++i) {
    const Entry& entry = listing.records[i];
    const char* name = listing.TextOf(entry);
    char spelt[kPathSize];
    char path[kPathSize];
    const bool replay =
        IsReplayFileName(name) && !EqualsIgnoringAsciiCase(name, "TempReplay.w3g");
    if (!PlatformPathFromSystem(name, spelt, sizeof spelt) ||
        !JoinPath(path, sizeof path, folder, spelt)) {
      // A folder that cannot be walked may hold replays: it is named for them.
      if (entry.kind == kPlatformFolder || replay) AddTooLong(run, folder, name);
      continue;
    }
    if (entry.kind == kPlatformFolder) {
      PlatformIdentity id;
      if (!PlatformIdentify(path, &id)) {
        AddItem(run, path, kUnreadableFolder);
      } else if (AmongIdentities(id, dest.sorted, dest.sorted_count)) {
        // The run's own copies.
      } else if (AmongIdentities(id, run->walk_stack, run->walk_depth)) {
        AddItem(run, path, kLinkLoop);
      } else if (dest.self_known && SameIdentity(id, dest.self)) {
        AddItem(run, path, kIsDest);
      } else if (run->walk_depth < static_cast<int>(sizeof run->walk_stack /
                                                     sizeof run->walk_stack[0])) {
        run->walk_stack[run->walk_depth++] = id;
        WalkFolder(run, path);
        --run->walk_depth;
      } else {
        AddItem(run, path, kPathTooLong);
      }
    } else if (replay) {
      // The game's file of a game in progress is half a replay; a link to
      // nothing is reported as the missing file it is.
      AddItem(run, path, entry.kind == kPlatformFile ? nullptr : "no such file");
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
void GatherSources(SortRun* run, char* const* sources, int count) {
  char checked_folder[kPathSize] = "";
  bool checked_inside = false;
  for (int i = 0; i < count; ++i) {
    char source[kPathSize];
    if (!PlatformPathFromSystem(sources[i], source, sizeof source)) {
      // Too long to spell, so too long for the seam to find.
      run->found.Add(sources[i], Item{0, "no such file", true});
      continue;
    }
    switch (PlatformKindOf(source)) {
      case kPlatformNothing:
        AddItem(run, source,
                PlatformLastError() == kPlatformMissing ? "no such file" : "cannot be read");
        break;
      case kPlatformFile: {
        // Files of one folder usually come together (a shell's wildcard): ask
        // where that folder lies once.
        char folder[kPathSize];
        FolderOf(source, folder, sizeof folder);
        if (strcmp(folder, checked_folder) != 0) {
          memcpy(checked_folder, folder, sizeof folder);
          checked_inside = InsideSorted(run->dest, folder);
        }
        AddItem(run, source, checked_inside ? kInSorted : nullptr);
        break;
      }
      case kPlatformFolder: {
        PlatformIdentity id;
        if (!PlatformIdentify(source, &id)) {
          AddItem(run, source, kUnreadableFolder);
        } else if (InsideSorted(run->dest, source)) {
          AddItem(run, source, kInSorted);
        } else if (AmongIdentities(id, run->dest.above, run->dest.above_count)) {
          AddItem(run, source, kHoldsDest);
        } else {
          run->walk_stack[0] = id;
          run->walk_depth = 1;
          WalkFolder(run, source);
          run->walk_depth = 0;
        }
        break;
      }
    }
  }
}

const char kChangedWhileRead[] = "it changed while it was read: the game may still be writing it";

const char* WhyUnreadable(ReadOutcome outcome) {
  switch (outcome) {
    case kReadMissing: return "no such file";
    case kReadIsFolder: return "is a folder, not a replay";
    case kReadNotAFile: return "is a pipe, socket or device, not a replay";
    default: return "cannot be read";
  }
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
// the one already there, reason otherwise. With by_game the run dates the copy by
// the game, refuses what is no replay, and files no replay twice.
Verdict SortOne(SortRun* run, const char* file, char* destination, size_t size,
                const char** reason) {
  const bool by_game = run->by_game;
  const bool dry_run = run->dry_run;
  // Probed before the read and again after it, as the pass does: the game may
  // still be writing the file, and a copy of what the read caught would be cut.
  int64_t stamp = -1;
  PlatformProbe(file, &stamp);
  NameDate date = LocalNameDate();
  if (by_game && !TimeFromReplayName(FileName(file), &date)) {
    PlatformTime time;
    PlatformTimeFromStamp(stamp, &time);
    date = NameDateOf(time);
  }
  ReplayFile replay;
  const ReadOutcome read = ReadReplayFile(file, &replay, run->settings->reading);
  if (read == kReadTooShort) {
    *reason = run->too_short;
    return kSkipped;
  }
  if (read != kReadDone) {
    *reason = WhyUnreadable(read);
    return kFailed;
  }
  int64_t stamp_after = -1;
  int64_t length_after = -1;
  if (!PlatformProbe(file, &stamp_after, &length_after) || stamp_after != stamp ||
      length_after != static_cast<int64_t>(replay.length)) {
    ReleaseReplayFile(&replay);
    *reason = kChangedWhileRead;
    return kFailed;
  }
  if (by_game && !HoldsReplay(replay.head, replay.held)) {
    *reason = ReplayHolderText(LocateReplay(replay.head, replay.held).holder);
    ReleaseReplayFile(&replay);
    return kFailed;
  }
  DecodeResult result;
  if (!DecodeForFiling(replay.head, replay.held, run->settings, run->scratch, &result)) {
    ReleaseReplayFile(&replay);
    *reason = "not a ladder game";
    return kSkipped;
  }
  uint64_t hash = 0;
  if (by_game && !HashReplayFile(&replay, &hash)) {
    ReleaseReplayFile(&replay);
    *reason = kChangedWhileRead;
    return kFailed;
  }
  const NameOptions* naming = &run->settings->naming;
  NameOptions own_suffix;  // a NetEase file's copy keeps its extension
  const char* suffix = CopySuffix(file, run->settings->reading);
  if (strcmp(suffix, naming->suffix) != 0) {
    own_suffix = *naming;
    snprintf(own_suffix.suffix, sizeof own_suffix.suffix, "%s", suffix);
    naming = &own_suffix;
  }
  ReplayGame* game = ReadGameForNames(naming, replay.head, replay.held);
  if (by_game) {
    // Where this replay's copy would be named: a copy there is looked at first.
    ReplayName name;
    char stem[kPathSize] = "";
    if (PrepareName(&result, naming, &date, run->folder, kPlatformPathLimit, &name, game) &&
        ComposeCandidate(stem, sizeof stem, run->folder, &name, 0)) {
      stem[strlen(stem) - strlen(name.suffix)] = '\0';  // without ".w3g": every [i] of the name
    }
    const char* before = FiledBefore(run, &replay, hash, stem);
    if (before != nullptr) {
      free(game);
      ReleaseReplayFile(&replay);
      snprintf(destination, size, "%s", before);
      return kAlready;
    }
  }
  FileResult filed;
  // With the subfolders indexed whole, the bytes are known to be nowhere there: the
  // name search need not read the files it passes.
  const bool look_for_same = by_game && !run->index_whole;
  const ReplayCopy same = {&replay, hash};
  const FileOutcome outcome =
      dry_run ? PlanReplay(run->folder, &result, naming, &date, &run->planned, destination, size,
                           look_for_same ? &same : nullptr, game, &run->taken)
              : FileReplayIn(run->folder, &result, naming, &date, &replay, look_for_same,
                             &filed, game, &run->taken);
  free(game);
  if (by_game && (outcome == kFiled || outcome == kAlreadyThere)) {
    const Filed record = {0, replay.length, hash, true, dry_run};
    run->filed.Add(dry_run ? destination : filed.path, record);
  }
  ReleaseReplayFile(&replay);
  switch (outcome) {
    case kFiled:
    case kAlreadyThere:
      if (!dry_run) snprintf(destination, size, "%s", filed.path);
      return outcome == kFiled ? kSaved : kAlready;
    case kNoFreeName: *reason = "no free name: every name up to [999] is taken"; break;
    case kNoNameFits: *reason = "no name fits: the path of FOLDER is too long"; break;
    case kCopyFailed: {
      const char* words = PlatformErrorWords(filed.error);
      snprintf(run->copy_failure, sizeof run->copy_failure, "the copy could not be written: %s",
               words != nullptr ? words : "the system reported an error");
      *reason = run->copy_failure;
      break;
    }
    case kNoMemory: *reason = "out of memory"; break;
    case kSourceChanged: *reason = kChangedWhileRead; break;
  }
  return kFailed;
}

// On a terminal, one line on standard error tells how far a long run has got; it
// is rewritten for each file and wiped before anything else is printed.
void ShowProgress(SortRun* run, FILE* err, int done, int total) {
  const int n = fprintf(err, "\rsorting %d of %d", done, total);
  run->progress_width = n > 1 ? n - 1 : 0;
  fflush(err);
}

void ClearProgress(SortRun* run, FILE* err) {
  if (run->progress_width == 0) return;
  fprintf(err, "\r%*s\r", run->progress_width, "");
  fflush(err);
  run->progress_width = 0;
}

// Sorts one item, path in the program's spelling (the progress line, when shown,
// stays up while it works), prints its line, naming it as shown, and counts it.
void SortItem(SortRun* run, const char* shown, const char* path, const char* reason, FILE* out,
              FILE* err, SortCounts* counts) {
  char destination[kPathSize];
  Verdict verdict = kFailed;
  if (reason == nullptr) {
    reason = "";
    verdict = SortOne(run, path, destination, sizeof destination, &reason);
  }
  ClearProgress(run, err);
  switch (verdict) {
    case kSaved:
      ++counts->saved;
      fprintf(out, "%s\t%s\n", shown, BelowFolder(destination, run->folder));
      break;
    case kAlready:
      ++counts->already;
      fprintf(out, "%s\t- already there: %s\n", shown, BelowFolder(destination, run->folder));
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

int SortInto(const char* dest, char* const* sources, int count, const WatchSettings* settings,
             bool dry_run, FILE* out, FILE* err, SortCounts* counts) {
  SortRun* run = static_cast<SortRun*>(calloc(1, sizeof(SortRun)));
  DecodeScratch* scratch = static_cast<DecodeScratch*>(malloc(sizeof(DecodeScratch)));
  if (run == nullptr || scratch == nullptr) {
    free(run);
    free(scratch);
    fputs("brindlecap-cli: out of memory\n", err);
    return 0;
  }
  if (!UseReplayFolder(dest, run->folder, sizeof run->folder, err)) {
    free(run);
    free(scratch);
    return 0;
  }
  run->settings = settings;
  run->scratch = scratch;
  run->dry_run = dry_run;
  snprintf(run->too_short, sizeof run->too_short, "shorter than %d bytes",
           kReplayMinimumLength);
  // Whole folders, the game's date and "already there" come with -modern; without
  // it, sort files each FILE as it always has.
  run->by_game = settings->reading == kLengthReading;
  const bool progress = IsTerminal(err) != 0;
  if (!run->by_game) {
    for (int i = 0; i < count; ++i) {
      if (progress) ShowProgress(run, err, i + 1, count);
      // A FILE too long to spell is too long for the seam to find.
      char path[kPathSize];
      const bool spelt = PlatformPathFromSystem(sources[i], path, sizeof path) != 0;
      SortItem(run, sources[i], path, spelt ? nullptr : "no such file", out, err, counts);
    }
  } else {
    LearnDestination(run->folder, &run->dest);
    run->index_whole = true;
    for (const char* name : kSubfolders) {
      char path[kPathSize];
      if (!::JoinPath(path, sizeof path, run->folder, name)) {
        run->index_whole = false;
      } else if (PlatformKindOf(path) == kPlatformFolder) {
        run->index_whole = IndexSortedCopies(run, path, 0, name) && run->index_whole;
      }
    }
    GatherSources(run, sources, count);
    if (run->found.out_of_memory) {
      ++counts->failed;
      fprintf(err, "brindlecap-cli: out of memory while listing the SOURCEs\n");
    }
    for (int i = 0; i < run->found.count; ++i) {
      if (progress) ShowProgress(run, err, i + 1, run->found.count);
      const Item& item = run->found.records[i];
      const char* path = run->found.TextOf(item);
      char shown[kPathSize];
      const bool spelt = !item.as_given && PlatformPathToSystem(path, shown, sizeof shown);
      SortItem(run, spelt ? shown : path, path, item.reason, out, err, counts);
    }
    run->found.Forget();
    run->filed.Forget();
  }
  ClearProgress(run, err);
  ForgetPlannedNames(&run->planned);
  ForgetTakenNames(&run->taken);
  free(run);
  free(scratch);
  return 1;
}

namespace {

// The whole backlog: every replay folder the tray program would watch with
// -modern, each sorted in place, its Autosaved subfolders with it. Folders that
// are not there yet are passed over. Returns 0 after saying why on err when the
// folders cannot be found at all.
int SortEveryReplayFolder(const char* prefix, const WatchSettings* settings, bool dry_run,
                          FILE* out, FILE* err, SortCounts* counts) {
  WatchList* list = ReplayFoldersThere(prefix, err);
  if (list == nullptr) return 0;
  int sorted = 0;
  for (int i = 0; i < list->count; ++i) {
    char* folder = list->folders[i].path;
    fprintf(err, "brindlecap-cli: sorting %s\n", folder);
    fflush(err);
    if (SortInto(folder, &folder, 1, settings, dry_run, out, err, counts)) ++sorted;
  }
  free(list);
  if (sorted == 0) fputs("brindlecap-cli: no replay folder is there to sort\n", err);
  return 1;
}

}  // namespace

int CommandSort(int argc, char** argv, FILE* out, FILE* err) {
  bool dry_run = false;
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, kSortUsage, nullptr);
  WatchSettings settings;
  int first = ParseSwitches(argc, argv, kSortUsage, &settings, &dry_run, out, err);
  if (first == kHelpShown) return 0;
  if (first < 0) return 2;
  SortCounts counts = {0, 0, 0, 0};
  if (first >= argc && (settings.reading == kLengthReading || prefix != nullptr)) {
    // Nothing named: the replay folders themselves, read as the current game's
    // folders must be.
    settings.reading = kLengthReading;
    if (!SortEveryReplayFolder(prefix, &settings, dry_run, out, err, &counts)) return 2;
  } else if (first >= argc) {
    return UsageError(err, kSortUsage, "sort needs a FOLDER and at least one FILE");
  } else if (prefix != nullptr) {
    return UsageError(err, kSortUsage, "--prefix goes with sort alone, without FOLDER and FILE");
  } else if (argc - first < 2) {
    return UsageError(err, kSortUsage, "sort needs at least one FILE after FOLDER");
  } else if (!SortInto(argv[first], argv + first + 1, argc - first - 1, &settings, dry_run, out,
                       err, &counts)) {
    return 2;
  }
  const char* dry = dry_run ? " (dry run: nothing was written)" : "";
  if (settings.reading == kLengthReading) {
    fprintf(err, "%d saved, %d already there, %d skipped, %d failed%s\n", counts.saved,
            counts.already, counts.skipped, counts.failed, dry);
  } else {
    fprintf(err, "%d saved, %d skipped, %d failed%s\n", counts.saved, counts.skipped,
            counts.failed, dry);
  }
  return counts.failed == 0 ? 0 : 1;
}
