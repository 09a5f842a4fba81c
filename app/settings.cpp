// The switches, read once at start-up.
#include <stdio.h>
#include <string.h>

#include "app/shell.h"
#include "watcher/filing.h"
#include "watcher/name_template.h"
#include "watcher/watcher.h"

WatchList Watched;
bool WatchingList = false;
DocumentsResult DocumentsFound = kDocumentsFound;

char FolderSwitches[kMaxFolderSwitches][1024];
int FolderSwitchCount = 0;
char SwitchProblem[256];

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

void ReadSwitches(const char* command_line) {
  if (command_line == NULL) return;
  // The text that is left for the substring tests: the value switches and their
  // values are blanked out of it as they are read.
  static char rest[kLineSize];
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
    char value[1024];
    const int length = NextSwitchWord(&p, value, sizeof value, &fits);
    char* blank_from = rest + (word_start - rest);
    memset(blank_from, ' ', static_cast<size_t>(p - word_start));
    if (length < 0 || value[0] == '\0') {
      snprintf(SwitchProblem, sizeof SwitchProblem, "%s needs a value after it",
               folder ? "-folder" : "-name");
    } else if (!fits) {
      snprintf(SwitchProblem, sizeof SwitchProblem, "the value of %s is too long",
               folder ? "-folder" : "-name");
    } else if (name) {
      snprintf(NameTemplate, sizeof NameTemplate, "%s", value);
      // Refused now, in a box, rather than filing odd names later.
      char problem[sizeof SwitchProblem];
      if (NameTemplateProblem(NameTemplate, problem, sizeof problem)) {
        snprintf(SwitchProblem, sizeof SwitchProblem, "%s", problem);
      }
    } else if (FolderSwitchCount < kMaxFolderSwitches) {
      snprintf(FolderSwitches[FolderSwitchCount++], sizeof FolderSwitches[0], "%s", value);
    } else {
      snprintf(SwitchProblem, sizeof SwitchProblem, "at most %d -folder switches are read",
               kMaxFolderSwitches);
    }
  }
  if (strstr(rest, "-custom") != NULL) SaveCustomGames = true;
  if (strstr(rest, "-nodate") != NULL) DateTagEnabled = false;
  if (strstr(rest, "-modern") != NULL) ModernReading = true;
}

void ChooseWatchedFolders() {
  WatchingList = ModernReading || FolderSwitchCount > 0;
  if (!WatchingList) return;
  ClearWatchList(&Watched);
  DiscoverGameFolders(&Watched, HKEY_CURRENT_USER, kGameRegistryKey, ModernReading,
                      &DocumentsFound);
  for (int i = 0; i < FolderSwitchCount; ++i) {
    AddWatchedFolder(&Watched, FolderSwitches[i], kFolderSwitch);
  }
}

void WatchTick(bool prime) {
  if (WatchingList) {
    WatchEveryFolder(&Watched, prime);
  } else {
    SaveLastReplay(prime);
  }
}
