// What the brindlecap-cli commands share: switches, usage texts, the replay folder
// operand, and the few system services the watcher's file seam does not offer.
#ifndef BRINDLECAP_CLI_COMMANDS_H_
#define BRINDLECAP_CLI_COMMANDS_H_

#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <atomic>

#include "cli/cli.h"
#include "record/record.h"
#include "watcher/watcher.h"

extern const char kNameUsage[];
extern const char kWatchUsage[];
extern const char kSortUsage[];
extern const char kFolderUsage[];
extern const char kInfoUsage[];
extern const char kStatsUsage[];
extern const char kReportUsage[];

// Prints "brindlecap-cli: problem" (when problem is not NULL) and the usage text
// on err. Returns 2, the exit code of every usage error.
int UsageError(FILE* err, const char* usage, const char* problem);

enum {
  kSwitchesFailed = -1,  // an unknown switch was reported; exit with 2
  kHelpShown = -2,       // the command's usage went to out; exit with 0
  kReadingStopped = -3,  // CliProgress::stop ended it; exit with kCliStopped
};

// A command's words from argv[2] on, read as GNU tools read them: a switch counts
// wherever it stands until "--", and each is moved ahead of the operands met
// before it, which keep their order. Zero-initialise all but argc and argv.
struct SwitchWalk {
  int argc;
  char** argv;
  int first;  // with at: argv[first, at) are the operands met so far (first >= 2)
  int at;
};

// Starts a walk over argv[2, argc).
SwitchWalk StartSwitchWalk(int argc, char** argv);

// The next switch, or NULL when none is left; the first operand is then at
// walk->first. "-" alone is an operand; "--" ends the switches and is dropped
// before the operands after it.
const char* NextSwitch(SwitchWalk* walk);

// The word after the switch NextSwitch just gave, taken as its value whatever it
// looks like; NULL when there is none.
const char* TakeSwitchValue(SwitchWalk* walk);

// Reads a command's switches (-custom, -nodate, -modern, -name TEMPLATE, and
// --dry-run where dry_run is not NULL) into settings, wherever they stand before
// "--", and moves them ahead of the operands, which keep their order. Returns the
// index of the first operand, or one of the values above.
int ParseSwitches(int argc, char** argv, const char* usage, WatchSettings* settings,
                  bool* dry_run, FILE* out, FILE* err);

// Writes folder (as this system spells it) to out in the program's spelling, ending
// in a separator as the watcher expects. Returns 0 after saying why on err when
// folder is not an existing folder or its name is too long.
int UseReplayFolder(const char* folder, char* out, size_t size, FILE* err);

// What a sort run did, counted by the lines it printed.
struct SortCounts {
  int saved;    // copies written (a dry run: planned)
  int already;  // the same bytes already stood under one of the replay's names
  int skipped;  // not a ladder game, or too short
  int failed;   // could not be read or copied, or not sortable at all
};

// Sorts the SOURCEs (replay files; with -modern also folders, walked whole; all as
// this system spells paths) into dest's subfolders, printing one line per file on
// out and adding to counts.
// Returns 0 after saying why on err when dest is no usable folder. One call per
// destination: a run over several replay folders calls it for each.
int SortInto(const char* dest, char* const* sources, int count, const WatchSettings* settings,
             bool dry_run, FILE* out, FILE* err, SortCounts* counts);
struct WatchList;

// Takes "--prefix DIR" out of argv (after the command), so that the other
// switches are read as usual; *prefix is DIR, or stays as it is when none is
// given. Returns 0 after saying why on err when DIR is missing.
int TakePrefixSwitch(int* argc, char** argv, const char** prefix, FILE* err);

// Fills list with what the tray program watches (with modern, the folders of
// later game versions too): on Windows this user's, elsewhere those inside the
// Wine prefix (NULL: $WINEPREFIX, else ~/.wine). Returns 0 after saying why on err.
int FindWatchedFolders(WatchList* list, bool modern, const char* prefix, FILE* err);

// The replay folders FindWatchedFolders finds with modern that are there (those
// not there yet are passed over), spelled as this system spells paths: a list to
// free(), or NULL after saying why on err.
WatchList* ReplayFoldersThere(const char* prefix, FILE* err);

// Prints a folder the watcher names, with this system's separators.
void PrintFolderPath(const char* path, FILE* out);

// Reads a FILE operand (as this system spells it) for the commands that read
// replays of any length, too short to file included: all of a replay, never more
// than kReplayHeadLimit of any file, so memory never follows a file's size.
// Returns NULL with *head (release it with free()) holding *held bytes, or why not;
// with length given, the whole file's length goes there.
const char* ReadOperandHead(const char* path, unsigned char** head, size_t* held,
                            uint64_t* length = nullptr);

// The same into buffer, which a reader of many files keeps: *head points into it
// until the next read.
const char* ReadOperandHead(const char* path, HeadBuffer* buffer, const unsigned char** head,
                            size_t* held, uint64_t* length = nullptr);

int CommandName(int argc, char** argv, FILE* out, FILE* err);
int CommandWatch(int argc, char** argv, FILE* out, FILE* err);
int CommandSort(int argc, char** argv, FILE* out, FILE* err);
int CommandFolder(int argc, char** argv, FILE* out, FILE* err);
int CommandInfo(int argc, char** argv, FILE* out, FILE* err);
int CommandStats(int argc, char** argv, FILE* out, FILE* err,
                 const CliProgress* progress = nullptr);
int CommandReport(int argc, char** argv, FILE* out, FILE* err,
                  const CliProgress* progress = nullptr);

// Writes text as a JSON string: quotes, backslashes and control bytes escaped, and
// every byte that does not belong to a well-formed UTF-8 character written as
// U+FFFD, so that a damaged name still gives JSON other tools can parse.
void PutJsonString(const char* text, FILE* out);

struct PlayerRecord;
struct RecordView;

// The record behind stats and report, from their command line: argv[0] is the
// program, argv[1] the command, then switches and operands. A caller takes its own
// switches out of argv first (stats takes --json); the rest are read here:
// -modern (headers are read by their lengths in any case), --player NAME,
// --verbose, --prefix DIR, --jobs N, then FOLDERs (walked whole, as sort -modern
// walks them) and FILEs; none at all stands for every replay folder that folder
// -modern lists. Each file is read once, whole, on one of N worker threads (by
// default one per core), and added to the record in the order the walk found it,
// so that the record and everything printed are the same for any N; what gives
// no game of the record is counted in the view (and, with --verbose, listed on
// err with the reason), and never stops the run. Progress shows on err when err
// is a terminal, and goes to progress when given. usage is printed with --help
// (on out) and after a usage error (on err).
// Returns 0 when at least one game was counted and 1 when none was, with *record
// (free it with FreePlayerRecord) and view filled, view pointing into *record;
// 2 after a usage error or when memory runs out, kHelpShown after --help and
// kReadingStopped when progress->stop ended it, with *record NULL.
int CollectRecord(int argc, char** argv, const char* usage, PlayerRecord** record,
                  RecordView* view, FILE* out, FILE* err,
                  const CliProgress* progress = nullptr);

// System services (system.cpp).

// 1 when the stream is an interactive console or terminal.
int IsTerminal(FILE* stream);

// Set when Ctrl-C, SIGINT, SIGTERM or a console close asks the watch loop to end.
// Atomic rather than a volatile sig_atomic_t: Windows runs the console handler on a
// thread of its own, and tests ask for the stop from another thread, while the loop
// reads it; a lock-free atomic is still safe to set from a signal handler.
extern std::atomic<int> CliStopRequested;

// Routes Ctrl-C and SIGTERM (the console's control events on Windows) to
// CliStopRequested instead of ending the process.
void InstallStopHandlers();

// Puts back what InstallStopHandlers replaced and clears CliStopRequested.
void RemoveStopHandlers();

// Sleeps up to milliseconds. Returns 1, possibly early, once a stop is requested,
// and 0 when the time ran out.
int WaitForStop(long milliseconds);

#endif  // BRINDLECAP_CLI_COMMANDS_H_
