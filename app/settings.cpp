// The switches and the replay folder, read once at start-up.
#include <stdio.h>
#include <string.h>

#include "app/shell.h"
#include "watcher/watcher.h"

const char kDefaultReplayFolder[] = "c:\\program files\\warcraft iii\\replay\\";
const char kGameRegistryKey[] = "Software\\Blizzard Entertainment\\Warcraft III";

namespace {

const char kReplaySubfolder[] = "replay\\";

// Cuts what the registry handed back at the byte count it reported: a stored
// string need not carry its NUL. The text never runs past size - 1 characters.
void TerminateRegistryText(char* buffer, size_t size, DWORD count) {
  buffer[count < size ? count : size - 1] = '\0';
}

// Reads one install path value into folder and turns it into the replay folder.
// A failed read, and a path too long for "replay\" to follow it, leave folder
// empty and return false, so the caller can try the next value.
bool ReadInstallPath(HKEY key, const char* name, char* folder, size_t size) {
  DWORD count = static_cast<DWORD>(size);
  LONG result = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(folder), &count);
  if (result == ERROR_SUCCESS) {
    TerminateRegistryText(folder, size, count);
    if (AppendReplaySubfolder(folder, size)) return true;
  }
  // After a failure (a value longer than the buffer, say) the buffer may hold
  // part of the value; none of it may leak into the folder.
  folder[0] = '\0';
  return false;
}

}  // namespace

void ReadSwitches(const char* command_line) {
  if (command_line == NULL) return;
  if (strstr(command_line, "-custom") != NULL) SaveCustomGames = true;
  if (strstr(command_line, "-nodate") != NULL) DateTagEnabled = false;
  if (strstr(command_line, "-modern") != NULL) ModernReading = true;
}

int AppendReplaySubfolder(char* folder, size_t size) {
  size_t length = strnlen(folder, size);
  if (length == size) return 0;  // not even terminated within the buffer
  bool separator = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
  size_t needed = length + (separator ? 0 : 1) + sizeof kReplaySubfolder;  // sizeof counts the NUL
  if (needed > size) return 0;
  if (!separator) folder[length++] = '\\';
  memcpy(folder + length, kReplaySubfolder, sizeof kReplaySubfolder);
  return 1;
}

void DiscoverReplayFolder(HKEY root, const char* key, char* folder, size_t size) {
  if (size == 0) return;
  folder[0] = '\0';
  HKEY opened;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
    if (!ReadInstallPath(opened, "InstallPathX", folder, size) &&
        !ReadInstallPath(opened, "InstallPath", folder, size)) {
      // The key is there but says nothing usable: the game's folder name alone,
      // below the root of the current drive.
      AppendReplaySubfolder(folder, size);
    }
    RegCloseKey(opened);
  }
  if (folder[0] == '\0') snprintf(folder, size, "%s", kDefaultReplayFolder);
}
