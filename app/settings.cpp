// The switches, read once at start-up.
#include <string.h>

#include "app/shell.h"
#include "watcher/watcher.h"

void ReadSwitches(const char* command_line) {
  if (command_line == NULL) return;
  if (strstr(command_line, "-custom") != NULL) SaveCustomGames = true;
  if (strstr(command_line, "-nodate") != NULL) DateTagEnabled = false;
  if (strstr(command_line, "-modern") != NULL) ModernReading = true;
}
