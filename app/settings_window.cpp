// The settings window's dialog procedure and what its buttons do.
#include "app/settings_window.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "app/settings_ids.h"
#include "gamefolders/replay_folder.h"
#include "naming/name_template.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/replay_file.h"

const char kStartupShortcutName[] = "Brindlecap.lnk";

namespace {

SettingsWindow* WindowOf(HWND dialog) {
  return reinterpret_cast<SettingsWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Check(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

int FlagOr(int flag, int fallback) { return flag == kFlagMissing ? fallback : flag; }

bool JoinFile(char* out, size_t size, const char* folder, const char* name) {
  const int n = snprintf(out, size, "%s\\%s", folder, name);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Every folder the program would watch with these choices: the game's (with
// -modern, all of them) and the extra ones. A list to free().
WatchList* FoldersWatched(bool modern, const StoredSettings* chosen) {
  WatchList* list = static_cast<WatchList*>(malloc(sizeof(WatchList)));
  if (list == nullptr) return nullptr;
  ClearWatchList(list);
  GameFolders found;
  FindGameFolders(HKEY_CURRENT_USER, kGameRegistryKey, modern, &found);
  WatchGameFolders(list, &found);
  for (int i = 0; chosen->has_folders && i < chosen->folder_count; ++i) {
    AddWatchedFolder(list, chosen->folders[i], kFolderSwitch);
  }
  return list;
}

// The replay the preview names: the newest LastReplay.w3g there is, the one
// the player's next game will replace; else the sample.
void FindPreviewReplay(SettingsWindow* window) {
  window->replay = nullptr;
  window->replay_length = 0;
  window->replay_owned = nullptr;
  window->replay_is_sample = true;
  WatchList* list = FoldersWatched(true, &window->loaded);
  if (list != nullptr) {
    int64_t newest = -1;
    char newest_path[kPathSize] = "";
    for (int i = 0; i < list->count; ++i) {
      char path[kPathSize];
      int64_t stamp = -1;
      if (JoinPath(path, sizeof path, list->folders[i].path, "LastReplay.w3g") &&
          PlatformProbe(path, &stamp) && stamp > newest) {
        newest = stamp;
        snprintf(newest_path, sizeof newest_path, "%s", path);
      }
    }
    free(list);
    ReplayFile file;
    if (newest_path[0] != '\0' && ReadFileHead(newest_path, &file) == kReadDone) {
      window->replay_owned = file.head;
      window->replay = file.head;
      window->replay_length = file.held;
      window->replay_is_sample = false;
      return;
    }
  }
  HRSRC found = FindResourceA(window->instance, MAKEINTRESOURCEA(IDR_SAMPLE_REPLAY),
                              MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = found != NULL ? LoadResource(window->instance, found) : NULL;
  if (loaded != NULL) {
    window->replay = static_cast<const unsigned char*>(LockResource(loaded));
    window->replay_length = SizeofResource(window->instance, found);
  }
}

// What the controls say, over what was loaded (so that what was passed over
// stays marked, for OK to mend it).
void Gather(SettingsWindow* window) {
  HWND dialog = window->dialog;
  StoredSettings* chosen = &window->chosen;
  memcpy(chosen, &window->loaded, sizeof *chosen);
  chosen->keep_custom = Checked(dialog, IDC_CUSTOM) ? kFlagOn : kFlagOff;
  chosen->date_tag = Checked(dialog, IDC_DATE_TAG) ? kFlagOn : kFlagOff;
  chosen->modern = Checked(dialog, IDC_MODERN) ? kFlagOn : kFlagOff;
  chosen->notify = Checked(dialog, IDC_NOTIFY) ? kFlagOn : kFlagOff;
  chosen->has_template = true;
  GetDlgItemTextA(dialog, IDC_TEMPLATE, chosen->name_template, sizeof chosen->name_template);
  HWND folders = GetDlgItem(dialog, IDC_FOLDERS);
  const LRESULT count = SendMessageA(folders, LB_GETCOUNT, 0, 0);
  chosen->has_folders = true;
  chosen->folder_count = 0;
  for (LRESULT i = 0; i < count && chosen->folder_count < kMaxStoredFolders; ++i) {
    if (SendMessageA(folders, LB_GETTEXTLEN, i, 0) >= kPathSize) continue;
    SendMessageA(folders, LB_GETTEXT, i,
                 reinterpret_cast<LPARAM>(chosen->folders[chosen->folder_count++]));
  }
}

// The next name, as the player types; a template that would be refused says why
// in its place, and OK and Apply wait until it is mended.
void UpdatePreview(SettingsWindow* window) {
  Gather(window);
  HWND dialog = window->dialog;
  const PreviewChoices choices = {window->chosen.keep_custom == kFlagOn,
                                  window->chosen.date_tag == kFlagOn,
                                  window->chosen.modern == kFlagOn,
                                  window->chosen.name_template};
  Preview preview;
  if (window->replay == nullptr) {
    preview.kind = kPreviewNotKept;
    snprintf(preview.text, sizeof preview.text, "(no replay to show a name for)");
    char problem[256];
    if (NameTemplateProblem(choices.name_template, problem, sizeof problem)) {
      preview.kind = kPreviewRefused;
      snprintf(preview.text, sizeof preview.text, "%s", problem);
    }
  } else {
    const NameDate today = LocalNameDate();
    PreviewName(window->replay, window->replay_length, &choices, &today, &preview);
  }
  const bool refused = preview.kind == kPreviewRefused;
  SetDlgItemTextA(dialog, IDC_PREVIEW_LABEL,
                  refused                    ? "This template cannot be used:"
                  : window->replay_is_sample ? "Next name (of a sample replay):"
                                             : "Next name (of your last replay):");
  SetDlgItemTextA(dialog, IDC_PREVIEW, preview.text);
  EnableWindow(GetDlgItem(dialog, IDOK), !refused);
  EnableWindow(GetDlgItem(dialog, IDC_APPLY), !refused);
}

void InsertField(SettingsWindow* window) {
  HWND dialog = window->dialog;
  HWND fields = GetDlgItem(dialog, IDC_FIELDS);
  const LRESULT selected = SendMessageA(fields, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  char field[32];
  if (SendMessageA(fields, LB_GETTEXTLEN, selected, 0) >= static_cast<LRESULT>(sizeof field)) {
    return;
  }
  SendMessageA(fields, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(field));
  HWND edit = GetDlgItem(dialog, IDC_TEMPLATE);
  // Where the caret is, replacing what is selected, as typing would.
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(field));
  SetFocus(edit);
}

// The system's folder picker; false when the player cancelled.
bool PickFolder(HWND owner, char* folder, size_t size) {
  IFileOpenDialog* picker = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, NULL, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, reinterpret_cast<void**>(&picker)))) {
    // Before Vista, or without the shell's COM objects: the older picker.
    BROWSEINFOA browse;
    memset(&browse, 0, sizeof browse);
    browse.hwndOwner = owner;
    browse.lpszTitle = "A folder to watch for LastReplay.w3g";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
    if (chosen == nullptr) return false;
    char path[MAX_PATH];
    const bool got = SHGetPathFromIDListA(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (got) snprintf(folder, size, "%s", path);
    return got;
  }
  DWORD options = 0;
  picker->GetOptions(&options);
  picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  picker->SetTitle(L"A folder to watch for LastReplay.w3g");
  bool got = false;
  IShellItem* item = nullptr;
  if (SUCCEEDED(picker->Show(owner)) && SUCCEEDED(picker->GetResult(&item))) {
    PWSTR path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
      // The program's own code page, as every path it hands the "A" calls.
      got = WideCharToMultiByte(CP_ACP, 0, path, -1, folder, static_cast<int>(size), NULL,
                                NULL) > 0;
      CoTaskMemFree(path);
    }
    item->Release();
  }
  picker->Release();
  return got;
}

void AddFolder(SettingsWindow* window) {
  HWND folders = GetDlgItem(window->dialog, IDC_FOLDERS);
  if (SendMessageA(folders, LB_GETCOUNT, 0, 0) >= kMaxStoredFolders) {
    char text[128];
    snprintf(text, sizeof text, "At most %d extra folders are watched.", kMaxStoredFolders);
    MessageBoxA(window->dialog, text, "Brindlecap settings", MB_OK | MB_ICONINFORMATION);
    return;
  }
  char folder[kPathSize];
  if (!PickFolder(window->dialog, folder, sizeof folder)) return;
  if (SendMessageA(folders, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(folder)) == LB_ERR) {
    SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder));
  }
  UpdatePreview(window);
}

void RemoveFolder(SettingsWindow* window) {
  HWND folders = GetDlgItem(window->dialog, IDC_FOLDERS);
  const LRESULT selected = SendMessageA(folders, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  SendMessageA(folders, LB_DELETESTRING, selected, 0);
  const LRESULT left = SendMessageA(folders, LB_GETCOUNT, 0, 0);
  if (left > 0) SendMessageA(folders, LB_SETCURSEL, selected < left ? selected : left - 1, 0);
}

// Explorer on each folder watched that is there; a box when none is.
void OpenReplayFolders(SettingsWindow* window) {
  Gather(window);
  WatchList* list = FoldersWatched(window->chosen.modern == kFlagOn, &window->chosen);
  if (list == nullptr) return;
  int opened = 0;
  char missing[2048] = "";
  for (int i = 0; i < list->count; ++i) {
    const char* path = list->folders[i].path;
    if (PlatformKindOf(path) == kPlatformFolder) {
      ShellExecuteA(window->dialog, "open", path, NULL, NULL, SW_SHOWNORMAL);
      ++opened;
    } else {
      const size_t used = strlen(missing);
      snprintf(missing + used, sizeof missing - used, "\n%s", path);
    }
  }
  free(list);
  if (opened == 0) {
    char text[2304];
    snprintf(text, sizeof text,
             "No replay folder is there yet. The game makes its folder the first time it saves "
             "a replay; Brindlecap watches:%s",
             missing);
    MessageBoxA(window->dialog, text, "Brindlecap settings", MB_OK | MB_ICONINFORMATION);
  }
}

void ShowRecord(SettingsWindow* window) {
  char report[MAX_PATH];
  if (!JoinFile(report, sizeof report, window->program_folder, "brindlecap-report.exe")) return;
  const INT_PTR started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(window->dialog, "open", report, NULL, window->program_folder, SW_SHOWNORMAL));
  if (started <= 32) {
    MessageBoxA(window->dialog, "brindlecap-report.exe could not be started.",
                "Brindlecap settings", MB_OK | MB_ICONWARNING);
  }
}

bool Widen(const char* text, wchar_t* out, int size) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, out, size) > 0;
}

// Brindlecap.lnk in the user's Startup folder, starting brindlecap.exe.
bool MakeStartupShortcut(const SettingsWindow* window) {
  char exe[MAX_PATH];
  char link_path[MAX_PATH];
  wchar_t wide_exe[MAX_PATH];
  wchar_t wide_folder[MAX_PATH];
  wchar_t wide_link[MAX_PATH];
  if (!JoinFile(exe, sizeof exe, window->program_folder, "brindlecap.exe") ||
      !JoinFile(link_path, sizeof link_path, window->startup_folder, kStartupShortcutName) ||
      !Widen(exe, wide_exe, MAX_PATH) || !Widen(window->program_folder, wide_folder, MAX_PATH) ||
      !Widen(link_path, wide_link, MAX_PATH)) {
    return false;
  }
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  link->SetPath(wide_exe);
  link->SetWorkingDirectory(wide_folder);
  link->SetIconLocation(wide_exe, 0);
  link->SetDescription(L"Keeps and names every Warcraft III replay");
  IPersistFile* file = nullptr;
  bool saved = false;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(file->Save(wide_link, TRUE));
    file->Release();
  }
  link->Release();
  return saved;
}

// Takes Brindlecap.lnk out of both Startup folders; false when one stays (all
// users' needs an administrator).
bool RemoveStartupShortcuts(const SettingsWindow* window) {
  bool gone = true;
  for (const char* folder : {window->startup_folder, window->common_startup_folder}) {
    char link_path[MAX_PATH];
    if (folder[0] == '\0' || !JoinFile(link_path, sizeof link_path, folder, kStartupShortcutName)) {
      continue;
    }
    if (GetFileAttributesA(link_path) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(link_path)) {
      gone = false;
    }
  }
  return gone;
}

// OK and Apply: what the player changed goes into the settings key, and the
// Startup shortcut is made or removed. False, after saying why, when it failed.
bool Apply(SettingsWindow* window) {
  Gather(window);
  char problem[256];
  if (NameTemplateProblem(window->chosen.name_template, problem, sizeof problem)) return false;
  if (WriteStoredSettings(&window->seam, &window->loaded, &window->chosen, window->problem,
                          sizeof window->problem) < 0) {
    char text[512];
    snprintf(text, sizeof text, "The settings could not be saved: %s.", window->problem);
    MessageBoxA(window->dialog, text, "Brindlecap settings", MB_OK | MB_ICONWARNING);
    return false;
  }
  window->problem[0] = '\0';
  const bool want = Checked(window->dialog, IDC_STARTUP);
  if (want != StartsWithWindows(window)) {
    const bool done = want ? MakeStartupShortcut(window) : RemoveStartupShortcuts(window);
    if (!done) {
      snprintf(window->problem, sizeof window->problem, "%s",
               want ? "The Startup shortcut could not be made."
                    : "The Startup shortcut for all users can only be removed by an "
                      "administrator (uninstall and install again without it).");
      MessageBoxA(window->dialog, window->problem, "Brindlecap settings",
                  MB_OK | MB_ICONWARNING);
      return false;
    }
  }
  // What the key holds now is what the next Apply compares with.
  ReadStoredSettings(&window->seam, &window->loaded);
  return true;
}

void Close(SettingsWindow* window, INT_PTR result) {
  if (window->modal) {
    EndDialog(window->dialog, result);
  } else {
    DestroyWindow(window->dialog);
  }
}

void FillControls(SettingsWindow* window) {
  HWND dialog = window->dialog;
  const StoredSettings& loaded = window->loaded;
  Check(dialog, IDC_CUSTOM, FlagOr(loaded.keep_custom, kFlagOff) == kFlagOn);
  Check(dialog, IDC_DATE_TAG, FlagOr(loaded.date_tag, kFlagOn) == kFlagOn);
  Check(dialog, IDC_MODERN, FlagOr(loaded.modern, kFlagOff) == kFlagOn);
  Check(dialog, IDC_NOTIFY, FlagOr(loaded.notify, kFlagOff) == kFlagOn);
  Check(dialog, IDC_STARTUP, StartsWithWindows(window));
  SendDlgItemMessageA(dialog, IDC_TEMPLATE, EM_SETLIMITTEXT, kPathSize - 1, 0);
  SetDlgItemTextA(dialog, IDC_TEMPLATE, loaded.has_template ? loaded.name_template : "");
  // The fields, one a line, from the list the usage texts give.
  HWND fields = GetDlgItem(dialog, IDC_FIELDS);
  for (const char* at = kNameFieldList; *at != '\0';) {
    while (*at == ' ') ++at;
    const char* end = strchr(at, ' ');
    const size_t length = end != nullptr ? static_cast<size_t>(end - at) : strlen(at);
    char field[32];
    if (length > 0 && length < sizeof field) {
      memcpy(field, at, length);
      field[length] = '\0';
      SendMessageA(fields, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(field));
    }
    at += length;
  }
  SendMessageA(fields, LB_SETCURSEL, 0, 0);
  HWND folders = GetDlgItem(dialog, IDC_FOLDERS);
  for (int i = 0; loaded.has_folders && i < loaded.folder_count; ++i) {
    SendMessageA(folders, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(loaded.folders[i]));
  }
  UpdatePreview(window);
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SettingsWindow* window = reinterpret_cast<SettingsWindow*>(lparam);
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    window->dialog = dialog;
    HICON icon = LoadIconA(window->instance, MAKEINTRESOURCEA(101));
    if (icon != NULL) SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    FillControls(window);
    return TRUE;  // the first control takes the focus
  }
  SettingsWindow* window = WindowOf(dialog);
  if (window == nullptr) return FALSE;
  if (message == WM_CLOSE) {
    Close(window, IDCANCEL);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  switch (id) {
    case IDC_CUSTOM:
    case IDC_DATE_TAG:
    case IDC_MODERN:
      if (code == BN_CLICKED) UpdatePreview(window);
      return TRUE;
    case IDC_TEMPLATE:
      if (code == EN_CHANGE) UpdatePreview(window);
      return TRUE;
    case IDC_FIELDS:
      if (code == LBN_DBLCLK) InsertField(window);
      return TRUE;
    case IDC_INSERT: InsertField(window); return TRUE;
    case IDC_ADD: AddFolder(window); return TRUE;
    case IDC_REMOVE: RemoveFolder(window); return TRUE;
    case IDC_OPEN: OpenReplayFolders(window); return TRUE;
    case IDC_RECORD: ShowRecord(window); return TRUE;
    case IDC_APPLY: Apply(window); return TRUE;
    case IDOK:
      if (Apply(window)) Close(window, IDOK);
      return TRUE;
    case IDCANCEL: Close(window, IDCANCEL); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void InitSettingsWindow(SettingsWindow* window, HINSTANCE instance, const SettingsSeam& seam,
                        const char* program_folder) {
  window->instance = instance;
  window->seam = seam;
  window->dialog = NULL;
  window->modal = false;
  window->problem[0] = '\0';
  snprintf(window->program_folder, sizeof window->program_folder, "%s", program_folder);
  // The folder picker and the shortcut are COM objects of the shell.
  window->com = SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED));
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_STARTUP, NULL, 0, window->startup_folder))) {
    window->startup_folder[0] = '\0';
  }
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_COMMON_STARTUP, NULL, 0,
                              window->common_startup_folder))) {
    window->common_startup_folder[0] = '\0';
  }
  ReadStoredSettings(&window->seam, &window->loaded);
  FindPreviewReplay(window);
}

INT_PTR RunSettingsWindow(SettingsWindow* window, HWND owner) {
  window->modal = true;
  return DialogBoxParamA(window->instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsProc,
                         reinterpret_cast<LPARAM>(window));
}

HWND OpenSettingsWindow(SettingsWindow* window, HWND owner) {
  window->modal = false;
  return CreateDialogParamA(window->instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                            SettingsProc, reinterpret_cast<LPARAM>(window));
}

void ReleaseSettingsWindow(SettingsWindow* window) {
  free(window->replay_owned);
  window->replay_owned = nullptr;
  window->replay = nullptr;
  if (window->com) CoUninitialize();
  window->com = false;
}

bool StartsWithWindows(const SettingsWindow* window) {
  for (const char* folder : {window->startup_folder, window->common_startup_folder}) {
    char link_path[MAX_PATH];
    if (folder[0] != '\0' && JoinFile(link_path, sizeof link_path, folder, kStartupShortcutName) &&
        GetFileAttributesA(link_path) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
  }
  return false;
}
