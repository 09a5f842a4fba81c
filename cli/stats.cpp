// brindlecap-cli stats: a player's record over every replay found, each game
// counted once however many copies of it lie on disk; as tables on a terminal or,
// with --json, one document for other tools.
#include <inttypes.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "cli/commands.h"
#include "cli/jobs.h"
#include "naming/game_time.h"
#include "naming/name_template.h"
#include "naming/name.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "record/record.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "replay/text.h"
#include "watcher/filing.h"
#include "watcher/folders.h"

const char kStatsUsage[] =
    "usage: brindlecap-cli stats [-modern] [--player NAME] [--json] [--verbose]\n"
    "         [--jobs N] [--prefix DIR] [FOLDER|FILE...]\n"
    "  The record of a player over every replay FILE and every replay below each\n"
    "  FOLDER: wins, losses, draws and unknown results overall, by kind of game, by\n"
    "  1v1 matchup, by map, against each opponent and by month (with the median APM\n"
    "  and game length), and the list of games. Without FOLDER or FILE, every replay\n"
    "  folder that folder -modern lists (--prefix DIR: of that Wine prefix).\n"
    "  A game is counted once however many copies of it are found: two replays are\n"
    "  the same game when the game wrote the same random seed, players, map, length\n"
    "  and version into both. Headers are always read by their lengths (-modern).\n"
    "  --player NAME  whose record (any case, with or without the #1234 tag); by\n"
    "                 default the player found in the most games\n"
    "  --json         one JSON document with every figure and game\n"
    "  --verbose      also list the files that gave no game of the record, and why\n"
    "  --jobs N       read N files at a time, each on a thread of its own (default:\n"
    "                 the number of cores); the output is the same for any N\n"
    "  Files that are no replay, cannot be read or do not hold the player are counted\n"
    "  apart. Exit status 0 when at least one game was counted, 1 when none was.\n";

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

// The files of a run, in the order they are read: one growing block of paths.
struct FileList {
  char* text;
  size_t used;
  size_t size;
  size_t* starts;
  int count;
  int capacity;
  bool out_of_memory;

  void Add(const char* path) {
    const size_t length = strlen(path) + 1;
    if (out_of_memory) return;
    if (size - used < length) {
      size_t grown_size = size == 0 ? 4096 : size * 2;
      while (grown_size - used < length) grown_size *= 2;
      char* grown = static_cast<char*>(realloc(text, grown_size));
      if (grown == nullptr) {
        out_of_memory = true;
        return;
      }
      text = grown;
      size = grown_size;
    }
    if (count == capacity) {
      const int grown_capacity = capacity == 0 ? 64 : capacity * 2;
      size_t* grown = static_cast<size_t*>(realloc(starts, sizeof(size_t) * grown_capacity));
      if (grown == nullptr) {
        out_of_memory = true;
        return;
      }
      starts = grown;
      capacity = grown_capacity;
    }
    memcpy(text + used, path, length);
    starts[count++] = used;
    used += length;
  }
  const char* At(int i) const { return text + starts[i]; }
  void Forget() {
    free(text);
    free(starts);
    *this = FileList();
  }
};

// The folders walked so far: a folder reached twice (a link, or a replay folder
// that lies inside another one of the list) is walked once.
struct Walk {
  FileList* files;
  PlatformIdentity* walked;
  int walked_count;
  int walked_capacity;
  bool verbose;
  FILE* err;
  const CliProgress* watch;  // NULL, or who learns of each folder and may stop the walk
};

bool StopAsked(const CliProgress* watch) {
  return watch != nullptr && watch->stop != nullptr && watch->stop->load();
}

bool Walked(Walk* walk, const PlatformIdentity& id) {
  for (int i = 0; i < walk->walked_count; ++i) {
    if (walk->walked[i].volume == id.volume && walk->walked[i].index == id.index) return true;
  }
  if (walk->walked_count == walk->walked_capacity) {
    const int grown_capacity = walk->walked_capacity == 0 ? 32 : walk->walked_capacity * 2;
    PlatformIdentity* grown = static_cast<PlatformIdentity*>(
        realloc(walk->walked, sizeof(PlatformIdentity) * grown_capacity));
    if (grown == nullptr) return true;
    walk->walked = grown;
    walk->walked_capacity = grown_capacity;
  }
  walk->walked[walk->walked_count++] = id;
  return false;
}

// The seam takes paths in the program's spelling; the walk keeps them as this system
// spells them (operands, listings, the lines it prints), where on Linux a backslash
// is a letter of a name. A path too long to spell is one the seam cannot find.
const char* Spelt(const char* path, char* out, size_t size) {
  return PlatformPathFromSystem(path, out, size) ? out : "";
}

// One folder's entries, names only, to be taken in name order.
struct Listing {
  FileList names;
  FileList folders;  // "1" for a folder, "" for anything else, by entry
};

int CollectName(void* context, const char* name, PlatformKind kind, bool) {
  Listing* listing = static_cast<Listing*>(context);
  listing->names.Add(name);
  listing->folders.Add(kind == kPlatformFolder ? "1" : kind == kPlatformFile ? "" : "0");
  return listing->names.out_of_memory || listing->folders.out_of_memory ? 0 : 1;
}

// Adds folder and name joined, a path longer than the program's buffers.
void AddTooLong(FileList* files, const char* folder, const char* name) {
  const size_t size = strlen(folder) + strlen(name) + 2;
  char* path = static_cast<char*>(malloc(size));
  if (path == nullptr) {
    files->out_of_memory = true;
    return;
  }
  JoinPath(path, size, folder, name, kSeparator);
  files->Add(path);
  free(path);
}

// Every replay below folder, as sort walks a folder: name order, subfolders
// where they fall among the files, the game's half-written TempReplay.w3g left out.
void WalkFolder(Walk* walk, const char* folder) {
  if (StopAsked(walk->watch)) return;
  if (walk->watch != nullptr && walk->watch->walking != nullptr) {
    walk->watch->walking(walk->watch->context, walk->files->count, folder);
  }
  char spelt[kPathSize];
  PlatformIdentity id;
  if (!PlatformIdentify(Spelt(folder, spelt, sizeof spelt), &id)) {
    if (walk->verbose) fprintf(walk->err, "%s\t- the folder could not be read\n", folder);
    return;
  }
  if (Walked(walk, id)) return;
  Listing listing = Listing();
  if (!PlatformListFolder(spelt, CollectName, &listing) || listing.names.out_of_memory) {
    if (walk->verbose) fprintf(walk->err, "%s\t- the folder could not be listed\n", folder);
    listing.names.Forget();
    listing.folders.Forget();
    return;
  }
  int* order = static_cast<int*>(malloc(sizeof(int) * (listing.names.count + 1)));
  if (order == nullptr) {
    listing.names.Forget();
    listing.folders.Forget();
    return;
  }
  for (int i = 0; i < listing.names.count; ++i) order[i] = i;
  std::sort(order, order + listing.names.count, [&listing](int a, int b) {
    return CompareNamesIgnoringAsciiCase(listing.names.At(a), listing.names.At(b)) < 0;
  });
  for (int k = 0; k < listing.names.count; ++k) {
    const char* name = listing.names.At(order[k]);
    const char kind = listing.folders.At(order[k])[0];
    const bool replay =
        IsReplayFileName(name) && !EqualsIgnoringAsciiCase(name, "TempReplay.w3g");
    char path[kPathSize];
    if (!JoinPath(path, sizeof path, folder, name, kSeparator)) {
      // Too long for the buffers: still a file seen, counted as one that could not
      // be read, and a folder that cannot be walked may hold replays.
      if (kind == '1' || replay) AddTooLong(walk->files, folder, name);
      continue;
    }
    if (kind == '1') {
      WalkFolder(walk, path);
    } else if (replay) {
      walk->files->Add(path);
    }
  }
  free(order);
  listing.names.Forget();
  listing.folders.Forget();
}

// What one worker reads with, taken once for all the files it reads.
struct Reading {
  GameReadScratch game_scratch;
  DecodeScratch header_scratch;
  HeadBuffer file;  // the file read last
};

// What one file gave, from the worker that read it to the record.
struct FileReading {
  const char* problem;  // NULL: a game for the record; else why it gives none
  bool not_replay;      // with problem: no replay at all, rather than one unreadable
  ReplayGame game;
  DecodeResult header;
  NameDate played;
};

const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

// When the game was played, as sort -modern dates it: by a name the game gives its
// replays, else by the file's last-write time.
NameDate PlayedAt(const char* path) {
  NameDate date;
  if (TimeFromReplayName(FileNameOf(path), &date)) return date;
  int64_t stamp = -1;  // 64 bits: a game after January 2038 keeps its date
  char spelt[kPathSize];
  PlatformProbe(Spelt(path, spelt, sizeof spelt), &stamp);
  PlatformTime written;
  PlatformTimeFromStamp(stamp, &written);
  return NameDateOf(written);
}

// Reads one file whole into what it gives: everything the record needs of it but
// the record itself, so that it may run on any worker.
void ReadFileFor(const char* path, Reading* reading, FileReading* out) {
  out->problem = nullptr;
  out->not_replay = false;
  size_t length = 0;
  const unsigned char* bytes = nullptr;
  out->problem = ReadOperandHead(path, &reading->file, &bytes, &length);
  if (out->problem != nullptr) return;
  ReplayGame* game = &out->game;
  if (!ReadReplayGame(bytes, length, &reading->game_scratch, game)) {
    out->not_replay =
        game->problem == kGameNotReplay || game->problem == kGameNoReplayInContainer;
    out->problem = GameProblemText(game->problem);
    return;
  }
  if (game->problem != kGameWhole) {
    // A cut or damaged copy would count a game whose end is not known.
    out->problem = GameProblemText(game->problem);
    return;
  }
  DecodeReplay(bytes, length, kLengthReading, &reading->header_scratch, &out->header);
  out->played = PlayedAt(path);
}

// Adds what one file gave to the record. Returns NULL, or why it gives no game.
const char* AddFile(PlayerRecord* record, const char* path, const FileReading& read,
                    bool* duplicate) {
  *duplicate = false;
  if (read.problem != nullptr) {
    if (read.not_replay) {
      CountNotReplay(record);
    } else {
      CountUnreadable(record);
    }
    return read.problem;
  }
  switch (AddRecordGame(record, &read.game, &read.header, &read.played, path)) {
    case kRecordNewGame: return nullptr;
    case kRecordDuplicate: *duplicate = true; return "a copy of a game already counted";
    default: return "out of memory";
  }
}

// The files of every replay folder the tray program would watch with -modern.
int GatherReplayFolders(Walk* walk, const char* prefix, FILE* err) {
  WatchList* list = ReplayFoldersThere(prefix, err);
  if (list == nullptr) return 0;
  const int found = list->count;
  for (int i = 0; i < list->count; ++i) WalkFolder(walk, list->folders[i].path);
  free(list);
  if (found == 0) fputs("brindlecap-cli: no replay folder is there to read\n", err);
  return 1;
}

void ClearProgress(int* width, FILE* err) {
  if (*width == 0) return;
  fprintf(err, "\r%*s\r", *width, "");
  fflush(err);
  *width = 0;
}

// The reading of a run's files: each read on a worker, then added to the record
// in the order of the walk, as one thread would.
struct Collection {
  const FileList* files;
  Reading* readings;     // by worker
  FileReading* results;  // by slot
  PlayerRecord* record;
  bool verbose;
  bool terminal;         // progress on err
  int width;             // of the progress line shown, 0 when none is
  FILE* err;
  const CliProgress* watch;
  bool stopped;
};

void ReadItem(void* context, int worker, int item, int slot) {
  Collection* c = static_cast<Collection*>(context);
  FileReading* result = &c->results[slot];
  if (StopAsked(c->watch)) {
    // Nobody takes it: the reading ends before this file.
    result->problem = "not read";
    result->not_replay = false;
    return;
  }
  ReadFileFor(c->files->At(item), &c->readings[worker], result);
}

bool TakeItem(void* context, int item, int slot) {
  Collection* c = static_cast<Collection*>(context);
  if (StopAsked(c->watch)) {
    c->stopped = true;
    return false;
  }
  const char* path = c->files->At(item);
  if (c->terminal) {
    const int n = fprintf(c->err, "\rreading %d of %d", item + 1, c->files->count);
    c->width = n > 1 ? n - 1 : 0;
    fflush(c->err);
  }
  bool duplicate = false;
  const char* why = AddFile(c->record, path, c->results[slot], &duplicate);
  if (why != nullptr && c->verbose) {
    ClearProgress(&c->width, c->err);
    fprintf(c->err, "%s\t- %s\n", path, why);
  }
  if (c->watch != nullptr && c->watch->reading != nullptr) {
    c->watch->reading(c->watch->context, item + 1, c->files->count, path);
  }
  return true;
}

}  // namespace

int CollectRecord(int argc, char** argv, const char* usage, PlayerRecord** out_record,
                  RecordView* view, FILE* out, FILE* err, const CliProgress* watch) {
  *out_record = nullptr;
  memset(view, 0, sizeof *view);
  const char* prefix = nullptr;
  if (!TakePrefixSwitch(&argc, argv, &prefix, err)) return UsageError(err, usage, nullptr);
  const char* player = nullptr;
  bool verbose = false;
  int jobs = DefaultJobs();
  SwitchWalk switches = StartSwitchWalk(argc, argv);
  for (const char* word; (word = NextSwitch(&switches)) != nullptr;) {
    if (strcmp(word, "-modern") == 0) {
      // Headers are read by their lengths in any case: the kind of a game of the
      // current versions cannot be told otherwise.
    } else if (strcmp(word, "--verbose") == 0) {
      verbose = true;
    } else if (strcmp(word, "--player") == 0) {
      player = TakeSwitchValue(&switches);
      if (player == nullptr || player[0] == '\0') {
        return UsageError(err, usage, "--player needs a NAME after it");
      }
    } else if (strcmp(word, "--jobs") == 0) {
      jobs = ParseJobs(TakeSwitchValue(&switches));
      if (jobs == 0) return UsageError(err, usage, kJobsProblem);
    } else if (strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0) {
      fputs(usage, out);
      return kHelpShown;
    } else {
      fprintf(err, "brindlecap-cli: unknown switch '%s'\n", word);
      return UsageError(err, usage, nullptr);
    }
  }
  const int first = switches.first;
  if (first < argc && prefix != nullptr) {
    return UsageError(err, usage, "--prefix goes without FOLDER and FILE");
  }
  FileList files = FileList();
  Walk walk = {&files, nullptr, 0, 0, verbose, err, watch};
  if (first >= argc) {
    if (!GatherReplayFolders(&walk, prefix, err)) {
      free(walk.walked);
      return 2;
    }
  }
  for (int i = first; i < argc; ++i) {
    const char* operand = argv[i];
    char spelt[kPathSize];
    if (PlatformKindOf(Spelt(operand, spelt, sizeof spelt)) == kPlatformFolder) {
      WalkFolder(&walk, operand);
    } else {
      files.Add(operand);  // a file, or a missing one that is counted as unreadable
    }
  }
  free(walk.walked);
  if (StopAsked(watch)) {
    files.Forget();
    return kReadingStopped;
  }
  // The walk decided which files; now they are read, on up to jobs threads, each
  // worker with its scratch and each file's result in a slot until it is added.
  const int workers = files.count < jobs ? (files.count > 0 ? files.count : 1) : jobs;
  const int slots = SlotsFor(workers, files.count);
  PlayerRecord* record = NewPlayerRecord();
  Reading* readings = new (std::nothrow) Reading[workers]();
  FileReading* results = new (std::nothrow) FileReading[slots]();
  if (record == nullptr || readings == nullptr || results == nullptr || files.out_of_memory) {
    FreePlayerRecord(record);
    delete[] readings;
    delete[] results;
    files.Forget();
    fputs("brindlecap-cli: out of memory\n", err);
    return 2;
  }
  if (watch != nullptr && watch->reading != nullptr) {
    watch->reading(watch->context, 0, files.count, nullptr);
  }
  Collection collection = {&files, readings, results, record, verbose, IsTerminal(err) != 0,
                           0, err, watch, false};
  const OrderedWork work = {files.count, workers, &collection, ReadItem, TakeItem};
  RunOrdered(work);
  ClearProgress(&collection.width, err);
  for (int w = 0; w < workers; ++w) free(readings[w].file.bytes);
  delete[] readings;
  delete[] results;
  files.Forget();
  if (collection.stopped) {
    FreePlayerRecord(record);
    return kReadingStopped;
  }
  if (!BuildRecordView(record, player, view)) {
    FreePlayerRecord(record);
    fputs("brindlecap-cli: out of memory\n", err);
    return 2;
  }
  if (verbose) {
    const char* path;
    for (int i = 0; (path = RecordFileWithoutPlayer(record, i)) != nullptr; ++i) {
      fprintf(err, "%s\t- %s does not play in it\n", path, view->player);
    }
  }
  *out_record = record;
  return view->overall.games > 0 ? 0 : 1;
}

namespace {

void PutTally(const Tally& t, FILE* out) {
  fprintf(out, "\"games\":%d,\"win\":%d,\"loss\":%d,\"draw\":%d,\"unknown\":%d", t.games,
          t.outcome[kOutcomeWin], t.outcome[kOutcomeLoss], t.outcome[kOutcomeDraw],
          t.outcome[kOutcomeUnknown]);
}

void PutRows(const char* name, const RecordRow* rows, int count, FILE* out) {
  fprintf(out, ",\n\"%s\":[", name);
  for (int i = 0; i < count; ++i) {
    fputs(i > 0 ? ",\n {\"key\":" : "\n {\"key\":", out);
    PutJsonString(rows[i].key, out);
    fputc(',', out);
    PutTally(rows[i].tally, out);
    fputc('}', out);
  }
  fputc(']', out);
}

void PrintJson(const RecordView& v, FILE* out) {
  fputs("{\"player\":", out);
  PutJsonString(v.player, out);
  fprintf(out,
          ",\"player_chosen\":%s,\"files_seen\":%d,\"replays_read\":%d,\"duplicates\":%d,"
          "\"not_replays\":%d,\"unreadable\":%d,\"without_player\":%d,\n\"overall\":{",
          v.player_chosen ? "true" : "false", v.files_seen, v.replays_read, v.duplicates,
          v.not_replays, v.unreadable, v.without_player);
  PutTally(v.overall, out);
  fputc('}', out);
  PutRows("by_type", v.by_type, v.by_type_count, out);
  PutRows("by_matchup", v.by_matchup, v.by_matchup_count, out);
  PutRows("by_map", v.by_map, v.by_map_count, out);
  PutRows("by_opponent", v.by_opponent, v.by_opponent_count, out);
  fputs(",\n\"by_month\":[", out);
  for (int i = 0; i < v.by_month_count; ++i) {
    const MonthRow& m = v.by_month[i];
    fprintf(out, "%s {\"year\":%d,\"month\":%d,", i > 0 ? ",\n" : "\n", m.year, m.month);
    PutTally(m.tally, out);
    fprintf(out, ",\"median_apm\":%d,\"median_length_s\":%d}", m.median_apm, m.median_length_s);
  }
  fputs("],\n\"games\":[", out);
  for (int i = 0; i < v.game_count; ++i) {
    const GameRow& g = v.games[i];
    fprintf(out, "%s {\"played\":%" PRId64 ",\"type\":", i > 0 ? ",\n" : "\n", g.played);
    PutJsonString(g.type, out);
    fputs(",\"map\":", out);
    PutJsonString(g.map, out);
    fputs(",\"players\":", out);
    PutJsonString(g.players, out);
    fprintf(out, ",\"outcome\":\"%s\",\"apm\":%d,\"length_s\":%d,\"path\":",
            OutcomeText(g.outcome), g.apm, g.length_s);
    PutJsonString(g.path, out);
    fputc('}', out);
  }
  fputs("]}\n", out);
}

void PrintTallyLine(const char* key, const Tally& t, FILE* out) {
  const int decided = t.outcome[kOutcomeWin] + t.outcome[kOutcomeLoss];
  char rate[16] = "   -";
  if (decided > 0) {
    snprintf(rate, sizeof rate, "%3d%%", (t.outcome[kOutcomeWin] * 100 + decided / 2) / decided);
  }
  fprintf(out, "  %-28s %5d %5d %5d %5d %7d  %s\n", key, t.games, t.outcome[kOutcomeWin],
          t.outcome[kOutcomeLoss], t.outcome[kOutcomeDraw], t.outcome[kOutcomeUnknown], rate);
}

void PrintTable(const char* title, const RecordRow* rows, int count, int limit, FILE* out) {
  if (count == 0) return;
  fprintf(out, "\n%-30s games  wins  loss  draw unknown  wins of decided\n", title);
  for (int i = 0; i < count && i < limit; ++i) PrintTallyLine(rows[i].key, rows[i].tally, out);
  if (count > limit) fprintf(out, "  ... and %d more\n", count - limit);
}

void PrintText(const RecordView& v, FILE* out) {
  fprintf(out, "Record of %s", v.player);
  if (v.player_chosen) {
    fputs(" (the player found in the most games; --player NAME chooses another)", out);
  }
  fputc('\n', out);
  RecordRow overall = {"all games", v.overall};
  PrintTable("Overall", &overall, 1, 1, out);
  PrintTable("By type", v.by_type, v.by_type_count, 100, out);
  PrintTable("1v1 by matchup", v.by_matchup, v.by_matchup_count, 100, out);
  PrintTable("By map", v.by_map, v.by_map_count, 100, out);
  PrintTable("Opponents, most played first", v.by_opponent, v.by_opponent_count, 20, out);
  if (v.by_month_count > 0) {
    fprintf(out, "\n%-30s games  wins  loss  draw unknown  median APM  median length\n",
            "By month");
  }
  for (int i = 0; i < v.by_month_count; ++i) {
    const MonthRow& m = v.by_month[i];
    char key[16];
    char length[24] = "-";
    char apm[16] = "-";
    snprintf(key, sizeof key, "%04d-%02d", m.year, m.month);
    if (m.median_length_s >= 0) {
      FormatGameLength(static_cast<long long>(m.median_length_s) * 1000, length, sizeof length);
    }
    if (m.median_apm >= 0) snprintf(apm, sizeof apm, "%d", m.median_apm);
    fprintf(out, "  %-28s %5d %5d %5d %5d %7d  %10s  %13s\n", key, m.tally.games,
            m.tally.outcome[kOutcomeWin], m.tally.outcome[kOutcomeLoss],
            m.tally.outcome[kOutcomeDraw], m.tally.outcome[kOutcomeUnknown], apm, length);
  }
  fprintf(out,
          "\n%d files looked at: %d replays read, %d duplicates set aside, %d not replays, %d "
          "unreadable, %d games without %s\n",
          v.files_seen, v.replays_read, v.duplicates, v.not_replays, v.unreadable,
          v.without_player, v.player);
}

}  // namespace

int CommandStats(int argc, char** argv, FILE* out, FILE* err, const CliProgress* watch) {
  // --json is stats' own; every other switch is the record's (CollectRecord).
  bool json = false;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--") == 0) break;
    if (strcmp(argv[i], "--json") != 0) continue;
    json = true;
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
  PlayerRecord* record = nullptr;
  RecordView view;
  const int status = CollectRecord(argc, argv, kStatsUsage, &record, &view, out, err, watch);
  if (status == kHelpShown) return 0;
  if (status == kReadingStopped) return kCliStopped;
  if (record == nullptr) return status;
  if (json) {
    PrintJson(view, out);
  } else if (view.overall.games > 0) {
    PrintText(view, out);
  } else {
    fprintf(out, "No game of %s among %d files looked at.\n",
            view.player[0] != '\0' ? view.player : "anyone", view.files_seen);
  }
  FreePlayerRecord(record);
  return status;
}
