// A word after each game, for the player who asked for one: a copy was saved (its
// path below its folder and, when the replay tells, the saver's result and the
// game's length), or a new replay cannot be saved yet and why. The tray program
// shows it as a notification of its icon, `brindlecap-cli watch --notify` through
// notify-send; both take the words from here.
//
// The news is gathered after the pass: a copy is read again from disk once it is
// written, so that nothing said about a game ever delays or endangers its copy.
#ifndef BRINDLECAP_WATCHER_NEWS_H_
#define BRINDLECAP_WATCHER_NEWS_H_

#include <stddef.h>

#include "naming/name.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

struct ReplayGame;

enum {
  // A notification's title and text as the shell keeps them: 64 and 256 UTF-16
  // characters; in UTF-8 up to three bytes each.
  kNewsTitleSize = 64 * 3,
  kNewsTextSize = 256 * 3,
};

extern const char kSavedNewsTitle[];    // "Replay saved"
extern const char kWaitingNewsTitle[];  // "Replay not saved yet"

struct News {
  bool saved;                  // a copy was saved; otherwise a replay waits
  char title[kNewsTitleSize];
  char text[kNewsTextSize];    // UTF-8 as the names are
  // The copy (saved), or the copy that could not be made (waiting, when the
  // copy failed; else ""): what a click on the notification shows.
  char path[kPathSize];
};

// Why a replay waits, in plain words, as the about box says it.
const char* RetryWords(const WatcherStatus& status);

// The words of a saved copy: below (its path below its folder), then, when game
// tells them, " — " with the saver's result ("won", "lost", "draw") and the game's
// length ("18m11s"). game is the copy read whole, NULL when it could not be read;
// a replay not read to its end tells no result. Always terminated within size.
void SavedWords(const char* below, const ReplayGame* game, char* out, size_t size);

// The news of a copy saved below folder: reads the copy again from disk for its
// words. A copy that cannot be read (no memory, gone already) still gives its
// path.
void SavedNews(const char* folder, const char* copy, News* news);

// The news of a replay in folder that waits, with status saying why.
void WaitingNews(const char* folder, const WatcherStatus& status, News* news);

// What each folder of a watch list had done when last looked at, to tell what
// happened since: copies made, and whether a replay waited.
struct NewsWatch {
  int count;
  int saved[kMaxWatchedFolders];
  bool waiting[kMaxWatchedFolders];
};

// Takes what the list has done so far as told: the start, or a list made anew.
void StartNewsWatch(NewsWatch* watch, const WatchList* list);

typedef void (*NewsTeller)(void* context, const News* news);

// After a pass: each copy saved since the last look, and each folder whose replay
// has begun to wait (once, however many passes it waits), handed to tell in list
// order; with tell NULL only noted. Returns how many there were. A pass that did
// nothing costs a comparison per folder: no file is touched, nothing allocated.
int TellNews(NewsWatch* watch, const WatchList* list, NewsTeller tell, void* context);

#endif  // BRINDLECAP_WATCHER_NEWS_H_
