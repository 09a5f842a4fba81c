#include "watcher/news.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "naming/name_template.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "replay/game.h"
#include "watcher/replay_file.h"

const char kSavedNewsTitle[] = "Replay saved";
const char kWaitingNewsTitle[] = "Replay not saved yet";

namespace {

// U+2014, the dash between a copy's name and what the game tells of it.
const char kDash[] = " \xE2\x80\x94 ";

const char* ResultWords(const ReplayGame* game) {
  // A cut or damaged replay may lack the records that decide; say nothing then.
  if (game == nullptr || game->problem != kGameWhole) return "";
  const char* result = SaverResult(game);
  if (strcmp(result, "win") == 0) return "won";
  if (strcmp(result, "loss") == 0) return "lost";
  return result;  // "draw", or "" when the saver observed or it does not tell
}

// Cuts text (UTF-8) to fit size bytes without splitting a letter.
void CopyCut(char* out, size_t size, const char* text) {
  if (size == 0) return;
  const size_t length = strlen(text);
  const size_t kept = length < size ? length : Utf8CutPoint(text, size - 1);
  memcpy(out, text, kept);
  out[kept] = '\0';
}

}  // namespace

const char* RetryWords(const WatcherStatus& status) {
  switch (status.retry) {
    case kRetryNothing: return "";
    case kRetryCannotOpen: return "the game or another program still holds it";
    case kRetryStillWriting: return "the game was still writing it";
    case kRetryNoMemory: return "there was not enough memory to read it";
    case kRetryCopyFailed: break;
  }
  const char* words = PlatformErrorWords(status.copy_error);
  return words != nullptr ? words : "Windows reported an error";
}

void SavedWords(const char* below, const ReplayGame* game, char* out, size_t size) {
  if (size == 0) return;
  const char* result = ResultWords(game);
  char length[32] = "";
  if (game != nullptr && game->length_ms > 0) {
    FormatGameLength(game->length_ms, length, sizeof length);
  }
  char tail[64] = "";
  if (result[0] != '\0' || length[0] != '\0') {
    snprintf(tail, sizeof tail, "%s%s%s%s", kDash, result,
             result[0] != '\0' && length[0] != '\0' ? ", " : "", length);
  }
  // The path gives way to what the game tells, which is short.
  const size_t tail_length = strlen(tail);
  if (tail_length + 1 >= size) {
    CopyCut(out, size, below);
    return;
  }
  CopyCut(out, size - tail_length, below);
  memcpy(out + strlen(out), tail, tail_length + 1);
}

void SavedNews(const char* folder, const char* copy, News* news) {
  news->saved = true;
  snprintf(news->title, sizeof news->title, "%s", kSavedNewsTitle);
  snprintf(news->path, sizeof news->path, "%s", copy);
  ReplayFile file;
  ReplayGame* game = static_cast<ReplayGame*>(malloc(sizeof(ReplayGame)));
  GameReadScratch* scratch = static_cast<GameReadScratch*>(malloc(sizeof(GameReadScratch)));
  bool read = false;
  if (game != nullptr && scratch != nullptr && ReadFileHead(copy, &file) == kReadDone) {
    // A copy longer than the head is no game anyone played whole: its head tells
    // what it tells, and the reading says it was not read to its end.
    read = ReadReplayGame(file.head, file.held, scratch, game);
    ReleaseReplayFile(&file);
  }
  free(scratch);
  SavedWords(BelowFolder(copy, folder), read ? game : nullptr, news->text, sizeof news->text);
  free(game);
}

void WaitingNews(const char* folder, const WatcherStatus& status, News* news) {
  news->saved = false;
  snprintf(news->title, sizeof news->title, "%s", kWaitingNewsTitle);
  const bool copy_failed = status.retry == kRetryCopyFailed;
  snprintf(news->path, sizeof news->path, "%s", copy_failed ? status.retry_path : "");
  char words[kNewsTextSize];
  snprintf(words, sizeof words, "%s%s; tried again every ten seconds", kDash,
           RetryWords(status));
  const char* below = copy_failed ? BelowFolder(status.retry_path, folder) : "LastReplay.w3g";
  const size_t tail_length = strlen(words);
  CopyCut(news->text, sizeof news->text - tail_length, below);
  memcpy(news->text + strlen(news->text), words, tail_length + 1);
}

void StartNewsWatch(NewsWatch* watch, const WatchList* list) {
  watch->count = list->count;
  for (int i = 0; i < list->count; ++i) {
    watch->saved[i] = list->folders[i].status.saved;
    watch->waiting[i] = list->folders[i].status.retry != kRetryNothing;
  }
}

int TellNews(NewsWatch* watch, const WatchList* list, NewsTeller tell, void* context) {
  int told = 0;
  for (int i = 0; i < list->count; ++i) {
    const WatchedFolder& folder = list->folders[i];
    // A folder added since the last look (a new account) has done nothing yet.
    const bool known = i < watch->count;
    const int saved_before = known ? watch->saved[i] : 0;
    const bool waited = known && watch->waiting[i];
    const bool waiting = folder.status.retry != kRetryNothing;
    if (folder.status.saved != saved_before) {
      ++told;
      if (tell != nullptr) {
        News news;
        SavedNews(folder.path, folder.status.last_copy, &news);
        tell(context, &news);
      }
    }
    if (waiting && !waited) {
      ++told;
      if (tell != nullptr) {
        News news;
        WaitingNews(folder.path, folder.status, &news);
        tell(context, &news);
      }
    }
    watch->saved[i] = folder.status.saved;
    watch->waiting[i] = waiting;
  }
  watch->count = list->count;
  return told;
}
