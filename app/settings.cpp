// The switches, read once at start-up.
#include <stdio.h>
#include <string.h>

#include "app/shell.h"
#include "naming/name_template.h"
#include "watcher/folders.h"
#include "watcher/watcher.h"

namespace {

// Windows hands a program at most 32767 characters of command line.
const size_t kLineSize = 32768;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int NextSwitchWord(const char** text, char* word, size_t size, bool* fits) {
  const char* p = *text;
  while (IsBlank(*p)) ++p;
  if (*p == '\0') {
    *text = p;
    return -1;
  }
  const char* start = p;
  size_t kept = 0;
  bool quoted = false;
  *fits = true;
  for (; *p != '\0' && (quoted || !IsBlank(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
      continue;
    }
    if (word != nullptr && kept + 1 < size) {
      word[kept++] = *p;
    } else {
      *fits = false;
    }
  }
  if (word != nullptr && size > 0) word[kept] = '\0';
  *text = p;
  return static_cast<int>(p - start);
}

void InitAppState(AppState* app) {
  app->instance = NULL;
  app->window = NULL;
  app->taskbar_created = 0;
  app->settings = WatchSettings();
  app->folder_switch_count = 0;
  app->switch_problem[0] = '\0';
  app->listed = false;
  app->replay_folder[0] = '\0';
  ClearWatchList(&app->list);
  app->documents = kDocumentsFound;
}

void ReadSwitches(const char* command_line, AppState* app) {
  if (command_line == NULL) return;
  char* const problem_text = app->switch_problem;
  const size_t problem_size = sizeof app->switch_problem;
  // The text that is left for the substring tests: the value switches and their
  // values are blanked out of it as they are read.
  char rest[kLineSize];
  snprintf(rest, sizeof rest, "%s", command_line);
  const char* p = rest;
  for (;;) {
    const char* word_start = p;
    char word[16];
    bool fits = true;
    if (NextSwitchWord(&p, word, sizeof word, &fits) < 0) break;
    const bool folder = fits && strcmp(word, "-folder") == 0;
    const bool name = fits && strcmp(word, "-name") == 0;
    if (!folder && !name) continue;
    char value[kPathSize];
    const int length = NextSwitchWord(&p, value, sizeof value, &fits);
    char* blank_from = rest + (word_start - rest);
    memset(blank_from, ' ', static_cast<size_t>(p - word_start));
    if (length < 0 || value[0] == '\0') {
      snprintf(problem_text, problem_size, "%s needs a value after it",
               folder ? "-folder" : "-name");
    } else if (!fits) {
      snprintf(problem_text, problem_size, "the value of %s is too long",
               folder ? "-folder" : "-name");
    } else if (name) {
      char* name_template = app->settings.naming.name_template;
      snprintf(name_template, sizeof app->settings.naming.name_template, "%s", value);
      // Refused now, in a box, rather than filing odd names later.
      char problem[sizeof app->switch_problem];
      if (NameTemplateProblem(name_template, problem, sizeof problem)) {
        snprintf(problem_text, problem_size, "%s", problem);
      }
    } else if (app->folder_switch_count < kMaxFolderSwitches) {
      snprintf(app->folder_switches[app->folder_switch_count++], sizeof app->folder_switches[0],
               "%s", value);
    } else {
      snprintf(problem_text, problem_size, "at most %d -folder switches are read",
               kMaxFolderSwitches);
    }
  }
  if (strstr(rest, "-custom") != NULL) app->settings.save_custom = true;
  if (strstr(rest, "-nodate") != NULL) app->settings.naming.date_tag = false;
  if (strstr(rest, "-modern") != NULL) app->settings.reading = kLengthReading;
}

void ChooseWatchedFolders(AppState* app, HKEY root, const char* key) {
  const bool modern = app->settings.reading == kLengthReading;
  app->listed = modern || app->folder_switch_count > 0;
  ClearWatchList(&app->list);
  GameFolders found;
  FindGameFolders(root, key, modern, &found);
  snprintf(app->replay_folder, sizeof app->replay_folder, "%s", found.install);
  app->documents = found.documents_result;
  WatchGameFolders(&app->list, &found);
  for (int i = 0; i < app->folder_switch_count; ++i) {
    AddWatchedFolder(&app->list, app->folder_switches[i], kFolderSwitch);
  }
}

void WatchTick(AppState* app, bool prime) {
  WatchEveryFolder(&app->list, prime, &app->settings, &app->scratch);
}
