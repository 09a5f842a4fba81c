// The replay folder from the game's registry settings, read once at start-up.
#include "gamefolders/replay_folder.h"

#include <stdio.h>
#include <string.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace {

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

DocumentsResult FindDocumentsFolder(char* out, size_t size) {
  if (size == 0) return kDocumentsTooLong;
  out[0] = '\0';
  // The shell's own answer: the user may have moved Documents, OneDrive may hold
  // it, and neither shows in %USERPROFILE%.
  PWSTR wide = NULL;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, NULL, &wide)) || wide == NULL) {
    CoTaskMemFree(wide);
    return kDocumentsNotGiven;
  }
  // The "A" file functions read paths in the program's code page: UTF-8 where the
  // manifest takes effect, the system's ANSI page on an older Windows, where a
  // letter outside it would turn into another (or a "?") and name another folder.
  const UINT code_page = GetACP();
  BOOL lossy = FALSE;
  const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int needed = WideCharToMultiByte(code_page, flags, wide, -1, NULL, 0, NULL,
                                         code_page == CP_UTF8 ? NULL : &lossy);
  DocumentsResult result = kDocumentsFound;
  if (needed <= 0) {
    result = kDocumentsNotGiven;
  } else if (lossy) {
    result = kDocumentsNotInCodePage;
  } else if (static_cast<size_t>(needed) > size) {
    result = kDocumentsTooLong;
  } else {
    WideCharToMultiByte(code_page, flags, wide, -1, out, static_cast<int>(size), NULL, NULL);
  }
  CoTaskMemFree(wide);
  if (result != kDocumentsFound) out[0] = '\0';
  return result;
}

void FindGameFolders(HKEY root, const char* key, bool modern, GameFolders* found) {
  ClearGameFolders(found);
  DiscoverReplayFolder(root, key, found->install, sizeof found->install);
  if (!modern) return;
  found->documents_result = FindDocumentsFolder(found->documents[0], sizeof found->documents[0]);
  if (found->documents_result == kDocumentsFound) {
    found->documents_count = 1;
  } else {
    ++found->left_out;
  }
}
