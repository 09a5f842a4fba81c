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
  app->sources = SettingSources{kFromDefault, kFromDefault, kFromDefault,
                                kFromDefault, kFromDefault, kFromDefault};
  app->notify = false;
  app->given = SwitchesGiven();
  app->folder_switch_count = 0;
  app->store = SettingsSeam{nullptr, nullptr, nullptr, nullptr};
  ClearStoredSettings(&app->stored);
  app->game_root = HKEY_CURRENT_USER;
  app->game_key = kGameRegistryKey;
  app->news.count = 0;
  app->news_path[0] = '\0';
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
      app->given.name = true;
      snprintf(app->given.name_template, sizeof app->given.name_template, "%s", value);
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
  app->given.custom = strstr(rest, "-custom") != NULL;
  app->given.nodate = strstr(rest, "-nodate") != NULL;
  app->given.modern = strstr(rest, "-modern") != NULL;
  if (app->given.custom) app->settings.save_custom = true;
  if (app->given.nodate) app->settings.naming.date_tag = false;
  if (app->given.modern) app->settings.reading = kLengthReading;
}

namespace {

// A flag in use: the switch when given, else the stored value, else the default.
bool Choose(bool switched, bool switch_value, int stored, bool fallback, SettingSource* source) {
  if (switched) {
    *source = kFromSwitch;
    return switch_value;
  }
  if (stored != kFlagMissing) {
    *source = kFromSettings;
    return stored == kFlagOn;
  }
  *source = kFromDefault;
  return fallback;
}

// The extra folders in use: the -folder switches when given, else the stored ones.
int ExtraFolders(const AppState* app) {
  if (app->folder_switch_count > 0) return app->folder_switch_count;
  return app->stored.has_folders ? app->stored.folder_count : 0;
}

const char* ExtraFolder(const AppState* app, int i) {
  return app->folder_switch_count > 0 ? app->folder_switches[i] : app->stored.folders[i];
}

}  // namespace

void ApplyStoredSettings(AppState* app, const StoredSettings* stored) {
  if (stored != &app->stored) memcpy(&app->stored, stored, sizeof app->stored);
  SettingSources& sources = app->sources;
  WatchSettings& settings = app->settings;
  settings.save_custom =
      Choose(app->given.custom, true, stored->keep_custom, false, &sources.custom);
  settings.naming.date_tag =
      Choose(app->given.nodate, false, stored->date_tag, true, &sources.date_tag);
  settings.reading = Choose(app->given.modern, true, stored->modern, false, &sources.modern)
                         ? kLengthReading
                         : kFixedReading;
  app->notify = Choose(false, false, stored->notify, false, &sources.notify);
  const char* name_template = "";
  sources.name_template = kFromDefault;
  if (app->given.name) {
    name_template = app->given.name_template;
    sources.name_template = kFromSwitch;
  } else if (stored->has_template && stored->name_template[0] != '\0') {
    name_template = stored->name_template;
    sources.name_template = kFromSettings;
  }
  snprintf(settings.naming.name_template, sizeof settings.naming.name_template, "%s",
           name_template);
  sources.folders = app->folder_switch_count > 0 ? kFromSwitch
                    : stored->has_folders && stored->folder_count > 0 ? kFromSettings
                                                                        : kFromDefault;
}

void ChooseWatchedFolders(AppState* app, HKEY root, const char* key) {
  app->game_root = root;
  app->game_key = key;
  const bool modern = app->settings.reading == kLengthReading;
  const int extra = ExtraFolders(app);
  app->listed = modern || extra > 0;
  ClearWatchList(&app->list);
  GameFolders found;
  FindGameFolders(root, key, modern, &found);
  snprintf(app->replay_folder, sizeof app->replay_folder, "%s", found.install);
  app->documents = found.documents_result;
  WatchGameFolders(&app->list, &found);
  for (int i = 0; i < extra; ++i) {
    AddWatchedFolder(&app->list, ExtraFolder(app, i), kFolderSwitch);
  }
}

namespace {

// The list made anew after a change of settings: each folder that was watched
// before keeps its stamp and what it saved; one watched only now is primed, since
// what it holds was there before it was watched.
void RewatchKeepingStamps(AppState* app) {
  memcpy(&app->previous_list, &app->list, sizeof app->list);
  const WatchList& before = app->previous_list;
  ChooseWatchedFolders(app, app->game_root, app->game_key);
  WatchList& list = app->list;
  if (before.accounts[0] != '\0' && strcmp(before.accounts, list.accounts) == 0) {
    list.accounts_seen = before.accounts_seen;
    list.accounts_stamp = before.accounts_stamp;
  }
  for (int i = 0; i < list.count; ++i) {
    WatchedFolder& folder = list.folders[i];
    int kept = -1;
    for (int j = 0; j < before.count && kept < 0; ++j) {
      if (strcmp(before.folders[j].path, folder.path) == 0) kept = j;
    }
    if (kept >= 0) {
      folder.last_seen = before.folders[kept].last_seen;
      folder.status = before.folders[kept].status;
    } else {
      WatchFolderPass(&list, i, true, &app->settings, &app->scratch);
    }
  }
  StartNewsWatch(&app->news, &list);
}

}  // namespace

namespace {

bool SameStoredFolders(const StoredSettings& a, const StoredSettings& b) {
  const int count = a.has_folders ? a.folder_count : 0;
  if (count != (b.has_folders ? b.folder_count : 0)) return false;
  for (int i = 0; i < count; ++i) {
    if (strcmp(a.folders[i], b.folders[i]) != 0) return false;
  }
  return true;
}

// Kept out of RefreshSettings, so that the tick that finds the key unchanged
// does not even make room on the stack for what a reading takes.
__attribute__((noinline)) bool TakeStoredSettings(AppState* app) {
  StoredSettings fresh;
  ReadStoredSettings(&app->store, &fresh);
  if (SameStoredSettings(&fresh, &app->stored) &&
      strcmp(fresh.problems, app->stored.problems) == 0) {
    return false;
  }
  const bool folders_changed =
      app->folder_switch_count == 0 && !SameStoredFolders(fresh, app->stored);
  const bool custom = app->settings.save_custom;
  const bool date_tag = app->settings.naming.date_tag;
  const HeaderReading reading = app->settings.reading;
  const bool notify = app->notify;
  char name_template[kPathSize];
  memcpy(name_template, app->settings.naming.name_template, sizeof name_template);
  ApplyStoredSettings(app, &fresh);
  const WatchSettings& now = app->settings;
  if (now.reading != reading || folders_changed) RewatchKeepingStamps(app);
  return folders_changed || now.save_custom != custom || now.naming.date_tag != date_tag ||
         now.reading != reading || app->notify != notify ||
         strcmp(now.naming.name_template, name_template) != 0;
}

void TellPlayer(void* context, const News* news) {
  ShowNews(static_cast<AppState*>(context), news);
}

}  // namespace

bool RefreshSettings(AppState* app) {
  if (app->store.changed == nullptr || !app->store.changed(app->store.context)) return false;
  return TakeStoredSettings(app);
}

void WatchTick(AppState* app, bool prime) {
  if (!prime) RefreshSettings(app);
  WatchEveryFolder(&app->list, prime, &app->settings, &app->scratch);
  if (prime) {
    StartNewsWatch(&app->news, &app->list);
  } else {
    // Noted even when nobody is told, so that turning the word on later does not
    // bring news of games long past.
    TellNews(&app->news, &app->list, app->notify ? TellPlayer : nullptr, app);
  }
}
