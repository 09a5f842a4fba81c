// The hidden main window, its procedure, the tray icon and the two message boxes.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "app/shell.h"  // brings <windows.h>, which <shellapi.h> needs first

#include <shellapi.h>
#include "naming/name.h"
#include "naming/name_template.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "watcher/filing.h"
#include "watcher/folders.h"
#include "watcher/news.h"
#include "watcher/watcher.h"

const char kMainClassName[] = "Brindlecap";
const char kMainWindowTitle[] = "WarCraft TFT Brindlecap";
const char kPromptCaption[] = "Brindlecap v1.3 by Quennet";
const char kClosePromptText[] = "Would you like to close Brindlecap?";
const char kAlreadyRunningText[] = "Brindlecap is already running.";
// "Local\": the namespace of the user's session, so another user logged on to the
// same machine keeps a watcher of their own.
const char kInstanceName[] = "Local\\Brindlecap.ReplayWatcher";

namespace {

const char kTrayTip[] = "Brindlecap";

// The shell is handed the first, shortest form of its notification record: it
// has all this program uses, and every shell version accepts it. The form is the
// record up to the end of a 64-byte tip (88 bytes in a 32-bit build, 104 in a
// 64-bit one, where the handles are wider).
const DWORD kTrayRecordSize = NOTIFYICONDATAA_V1_SIZE;
static_assert(NOTIFYICONDATAA_V1_SIZE == offsetof(NOTIFYICONDATAA, szTip) + kTrayTipSize,
              "the first form ends right after a 64-byte tip");

// Appends formatted text at *at, never past size; false once it no longer fits.
bool Append(char* out, size_t size, size_t* at, const char* format, ...) {
  if (*at >= size) return false;
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(out + *at, size - *at, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= size - *at) {
    out[*at] = '\0';
    return false;
  }
  *at += static_cast<size_t>(n);
  return true;
}

const char* DocumentsWords(DocumentsResult result) {
  switch (result) {
    case kDocumentsNotGiven: return "Windows did not say where your Documents folder is";
    case kDocumentsTooLong: return "the path of your Documents folder is too long";
    case kDocumentsNotInCodePage:
      return "the path of your Documents folder has letters this Windows cannot pass on "
             "(Windows 10 version 1903 and later can)";
    case kDocumentsFound: break;
  }
  return "";
}

// Every watched folder on a line of its own, whether it is there yet, what was
// saved in it and what waits there; then what could not be watched. Folders past
// budget bytes are counted, not shown.
void FormatWatchedFolders(const AppState* app, char* out, size_t size, size_t budget) {
  const WatchList& watched = app->list;
  size_t at = 0;
  out[0] = '\0';
  Append(out, size, &at, "Replay folders, one for each game version and account:");
  int shown = 0;
  for (; shown < watched.count; ++shown) {
    const WatchedFolder& folder = watched.folders[shown];
    const size_t before = at;
    const bool there = PlatformKindOf(folder.path) == kPlatformFolder;
    bool fits = Append(out, budget, &at, "\n%s%s", folder.path,
                       there ? "" : "\n(this folder does not exist yet)");
    if (fits && folder.status.saved > 0) {
      fits = Append(out, budget, &at, "\nSaved here: %d, the last %s", folder.status.saved,
                    BelowFolder(folder.status.last_copy, folder.path));
    }
    if (fits && folder.status.retry != kRetryNothing) {
      fits = Append(out, budget, &at, "\nNot saved yet, tried again every ten seconds: %s (%s)",
                    folder.status.retry == kRetryCopyFailed
                        ? BelowFolder(folder.status.retry_path, folder.path)
                        : "LastReplay.w3g",
                    RetryWords(folder.status));
    }
    if (!fits) {
      at = before;
      out[at] = '\0';
      break;
    }
  }
  if (shown < watched.count) {
    Append(out, size, &at, "\n...and %d more", watched.count - shown);
  }
  const int left_out = watched.left_out + watched.accounts_left_out;
  if (app->documents != kDocumentsFound) {
    Append(out, size, &at, "\nNot watched: the folders in Documents, because %s.",
           DocumentsWords(app->documents));
  } else if (left_out > 0) {
    Append(out, size, &at, "\nNot watched: %d more %s, with a path too long or past the "
           "first %d.", left_out, left_out == 1 ? "folder" : "folders", kMaxWatchedFolders);
  }
}

// Without -modern, when the one watched folder is missing: whether the current
// game's folders are there, which only -modern watches.
const char* CurrentGameHint() {
  char documents[kPathSize];
  char game[kPathSize];
  if (FindDocumentsFolder(documents, sizeof documents) != kDocumentsFound) return "";
  const size_t length = strlen(documents);
  const char last = length > 0 ? documents[length - 1] : '\0';
  const bool separated = last == '\\' || last == '/';
  const char* const kCurrentGame[] = {"Warcraft III\\BattleNet", "Warcraft III\\Replay"};
  for (const char* below : kCurrentGame) {
    const int n = snprintf(game, sizeof game, "%s%s%s", documents, separated ? "" : "\\", below);
    if (n > 0 && static_cast<size_t>(n) < sizeof game && PlatformKindOf(game) == kPlatformFolder) {
      return "\nThe game of 1.28 and later keeps its replays in your Documents folder: "
             "start with -modern to watch them.";
    }
  }
  return "";
}

}  // namespace

int ClaimInstance(const char* name, HANDLE* claim) {
  *claim = CreateMutexA(NULL, FALSE, name);
  const DWORD error = GetLastError();
  if (*claim != NULL && error == ERROR_ALREADY_EXISTS) {
    CloseHandle(*claim);
    *claim = NULL;
    return 0;
  }
  // Made by a process we may not open (another integrity level): still taken.
  return *claim != NULL || error != ERROR_ACCESS_DENIED;
}

HWND CreateMainWindow(AppState* app, int show_state) {
  WNDCLASSEXA window_class;
  memset(&window_class, 0, sizeof window_class);
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = app->instance;
  window_class.hIcon = LoadIconA(NULL, IDI_APPLICATION);
  window_class.hIconSm = LoadIconA(NULL, IDI_APPLICATION);
  window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = kMainClassName;
  // A failed registration is not fatal by itself; creation then fails as well and
  // the program runs on without a window.
  RegisterClassExA(&window_class);
  // Before the window exists, so that no restart of Explorer can slip past it.
  app->taskbar_created = RegisterWindowMessageA("TaskbarCreated");

  // The window carries the state, so that its procedure works on it and on
  // nothing of the process's.
  app->window = CreateWindowExA(0, kMainClassName, kMainWindowTitle, WS_MINIMIZE, CW_USEDEFAULT,
                                CW_USEDEFAULT, kWindowWidth, kWindowHeight, NULL, NULL,
                                app->instance, app);
  // The window is never meant to be seen: honour the show state the program was
  // started with, then hide it at once. The tray icon is all the user sees.
  ShowWindow(app->window, show_state);
  ShowWindow(app->window, SW_HIDE);
  UpdateWindow(app->window);
  return app->window;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTA* creation = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    return DefWindowProcA(window, message, wparam, lparam);
  }
  AppState* app = window != NULL
                      ? reinterpret_cast<AppState*>(GetWindowLongPtrA(window, GWLP_USERDATA))
                      : NULL;
  // A new Explorer knows nothing of the icons the old one showed.
  if (app != NULL && app->taskbar_created != 0 && message == app->taskbar_created) {
    ShowTrayIcon(window, app->instance);
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      ShowTrayIcon(window, app != NULL ? app->instance : NULL);
      return 0;
    case WM_DESTROY:
    case WM_CLOSE:
      // Closing only ends the message loop; the window itself goes with the process.
      RemoveTrayIcon(window, kTrayIconId);
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      // A quick way out that leaves the tray icon to the shell's own clean-up.
      if (wparam == VK_ESCAPE) PostQuitMessage(0);
      return 0;
    case WM_SIZE:
    case WM_ACTIVATE:
      return 0;
    case WM_TIMER:
      if (app != NULL) WatchTick(app, false);
      break;
    case kTrayCallbackMessage:
      if (app != NULL) TrayClicked(app, wparam, lparam);
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

BOOL AddTrayIcon(HWND window, UINT id, HICON icon, const char* tip) {
  NOTIFYICONDATAA record;
  memset(&record, 0, sizeof record);
  record.cbSize = kTrayRecordSize;
  record.hWnd = window;
  record.uID = id;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon = icon;
  lstrcpynA(record.szTip, tip != NULL ? tip : "", kTrayTipSize);
  BOOL added = Shell_NotifyIconA(NIM_ADD, &record);
  // The shell keeps its own copy of the picture.
  if (icon != NULL) DestroyIcon(icon);
  return added;
}

BOOL ShowTrayIcon(HWND window, HINSTANCE instance) {
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(kTrayIconId));
  return AddTrayIcon(window, kTrayIconId, icon, kTrayTip);
}

BOOL RemoveTrayIcon(HWND window, UINT id) {
  NOTIFYICONDATAA record;
  memset(&record, 0, sizeof record);
  record.cbSize = kTrayRecordSize;
  record.hWnd = window;
  record.uID = id;
  return Shell_NotifyIconA(NIM_DELETE, &record);
}

void TrayClicked(AppState* app, WPARAM id, LPARAM mouse_message) {
  // Both boxes are modal but keep dispatching this thread's messages, so ticks,
  // and the watcher passes they start, go on while a box is open.
  if (mouse_message == WM_RBUTTONDOWN && id == kTrayIconId) {
    int answer = MessageBoxA(app->window, kClosePromptText, kPromptCaption,
                             MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
    if (answer == IDYES) SendMessageA(app->window, WM_CLOSE, 0, 0);
  }
  if (mouse_message == WM_LBUTTONDOWN && id == kTrayIconId) {
    char text[kAboutTextSize];
    FormatAboutText(app, text, sizeof text);
    MessageBoxA(app->window, text, kPromptCaption, MB_OK | MB_ICONINFORMATION);
  }
  if (mouse_message == NIN_BALLOONUSERCLICK && id == kTrayIconId) ShowNewsCopy(app);
}

namespace {

// UTF-8 as UTF-16, cut to size characters with its NUL, never between the two
// halves of a pair; text that is no UTF-8 is taken in the system's code page.
void Widen(const char* text, wchar_t* out, int size) {
  wchar_t wide[1024];
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, 1024);
  if (n == 0) n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
  if (n == 0) wide[0] = L'\0';
  wide[1023] = L'\0';
  int length = static_cast<int>(wcslen(wide));
  if (length >= size) {
    length = size - 1;
    if (length > 0 && wide[length - 1] >= 0xD800 && wide[length - 1] <= 0xDBFF) --length;
  }
  memcpy(out, wide, static_cast<size_t>(length) * sizeof(wchar_t));
  out[length] = L'\0';
}

}  // namespace

BOOL ShowNews(AppState* app, const News* news) {
  // The icon was added in the record's first form; a word needs a later one,
  // which the shell takes for a change of the same icon (window and id).
  NOTIFYICONDATAW record;
  memset(&record, 0, sizeof record);
  record.cbSize = sizeof record;
  record.hWnd = app->window;
  record.uID = kTrayIconId;
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = news->saved ? NIIF_INFO : NIIF_WARNING;
  Widen(news->title, record.szInfoTitle, ARRAYSIZE(record.szInfoTitle));
  Widen(news->text, record.szInfo, ARRAYSIZE(record.szInfo));
  // A click shows the copy; a replay that waits has none yet.
  snprintf(app->news_path, sizeof app->news_path, "%s", news->saved ? news->path : "");
  return Shell_NotifyIconW(NIM_MODIFY, &record);
}

bool ShowNewsCopy(const AppState* app) {
  if (app->news_path[0] == '\0') return false;
  // Explorer's own switch: a window of the copy's folder with the copy selected.
  char arguments[kPathSize + 16];
  snprintf(arguments, sizeof arguments, "/select,\"%s\"", app->news_path);
  const INT_PTR started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(app->window, "open", "explorer.exe", arguments, NULL, SW_SHOWNORMAL));
  return started > 32;
}

namespace {

const char kAboutIntro[] =
    "Brindlecap keeps your Warcraft III replays.\n"
    "\n"
    "The game overwrites LastReplay.w3g after every game. Every ten seconds Brindlecap "
    "looks at it, and when a new one has been written it files a copy named after the "
    "players and their races, in the 1v1, 2v2, 3v3, 4v4, FFA and Custom folders next "
    "to it.\n"
    "\n";

// Where a setting in use came from, after its value: ", -modern (shortcut)",
// ", template (settings)"; "" for a default.
const char* Origin(SettingSource source, const char* switch_words, const char* setting_words,
                   char* out, size_t size) {
  out[0] = '\0';
  if (source == kFromSwitch) snprintf(out, size, ", %s (shortcut)", switch_words);
  if (source == kFromSettings) snprintf(out, size, ", %s (settings)", setting_words);
  return out;
}

// The settings in use, a line each, and where each came from; then what the
// settings key held that could not be used.
void FormatSettings(const AppState* app, char* out, size_t size) {
  const WatchSettings& settings = app->settings;
  const SettingSources& sources = app->sources;
  const NameDate today = LocalNameDate();
  char date_tag[kDateTagSize];
  BuildDateTag(&settings.naming, &today, date_tag, sizeof date_tag);
  const char* name_template = settings.naming.name_template;
  const bool templated = !UsesDefaultTemplate(name_template);
  char origin[5][96];

  char custom[128];
  if (settings.save_custom) {
    snprintf(custom, sizeof custom, "saved%s",
             Origin(sources.custom, "-custom", "keep custom games", origin[0], sizeof origin[0]));
  } else if (sources.custom == kFromSettings) {
    snprintf(custom, sizeof custom, "not saved, keep custom games (settings)");
  } else {
    snprintf(custom, sizeof custom, "not saved (start with -custom to keep them)");
  }

  char tag[160];
  if (settings.naming.date_tag) {
    snprintf(tag, sizeof tag, "on, %s%s%s", templated ? "{date} gives " : "names start with ",
             date_tag, Origin(sources.date_tag, "", "date tag", origin[1], sizeof origin[1]));
  } else if (sources.date_tag == kFromDefault) {
    snprintf(tag, sizeof tag, "off (-nodate)");
  } else {
    snprintf(tag, sizeof tag, "off%s",
             Origin(sources.date_tag, "-nodate", "date tag", origin[1], sizeof origin[1]));
  }

  char versions[128];
  const bool modern = settings.reading == kLengthReading;
  if (sources.modern == kFromDefault) {
    snprintf(versions, sizeof versions, "%s",
             modern ? "named (-modern)" : "not read (start with -modern)");
  } else {
    snprintf(versions, sizeof versions, "%s%s", modern ? "named" : "not read",
             Origin(sources.modern, "-modern", "replays of every game version", origin[2],
                    sizeof origin[2]));
  }

  // A template shapes the names, and puts the tag wherever its {date} stands.
  char names[kPathSize + 64] = "";
  if (name_template[0] != '\0') {
    snprintf(names, sizeof names, "\nNames: %s%s", name_template,
             sources.name_template == kFromDefault
                 ? " (-name)"
                 : Origin(sources.name_template, "-name", "template", origin[3],
                          sizeof origin[3]));
  }
  char folders[128] = "";
  if (sources.folders != kFromDefault) {
    const int count = sources.folders == kFromSwitch ? app->folder_switch_count
                                                     : app->stored.folder_count;
    snprintf(folders, sizeof folders, "\nExtra folders: %d%s", count,
             Origin(sources.folders, "-folder", "folders", origin[4], sizeof origin[4]));
  }
  char notify[128] = "";
  if (sources.notify == kFromSettings) {
    snprintf(notify, sizeof notify, "\nAfter each game: %s (settings)",
             app->notify ? "a notification, tell me when a replay is saved"
                         : "no notification");
  }
  char passed_over[kStoredProblemsSize + 96] = "";
  if (app->stored.problems[0] != '\0') {
    snprintf(passed_over, sizeof passed_over,
             "\n\nPassed over in the settings, so the default stands:\n%s",
             app->stored.problems);
  }
  snprintf(out, size,
           "Custom games: %s\n"
           "Date tag: %s%s\n"
           "Game versions 1.30 and later: %s%s%s%s",
           custom, tag, names, versions, folders, notify, passed_over);
}

}  // namespace

size_t FormatAboutText(const AppState* app, char* out, size_t size) {
  if (size == 0) return 0;
  char settings_text[kStoredProblemsSize + 2 * kPathSize + 1024];
  FormatSettings(app, settings_text, sizeof settings_text);

  char saved[kPathSize + 64];
  char waiting[kPathSize + 128] = "";
  const char* folder = app->replay_folder;
  const WatcherStatus none = WatcherStatus();
  const WatcherStatus& status =
      !app->listed && app->list.count > 0 ? app->list.folders[0].status : none;
  if (app->listed) {
    const int count = SavedInList(&app->list);
    if (count == 0) {
      snprintf(saved, sizeof saved, "Saved since start: none yet");
    } else {
      snprintf(saved, sizeof saved, "Saved since start: %d %s", count,
               count == 1 ? "replay" : "replays");
    }
  } else {
    if (status.saved == 0) {
      snprintf(saved, sizeof saved, "Saved since start: none yet");
    } else {
      snprintf(saved, sizeof saved, "Saved since start: %d %s\nLast saved: %s", status.saved,
               status.saved == 1 ? "replay" : "replays", BelowFolder(status.last_copy, folder));
    }
    if (status.retry != kRetryNothing) {
      snprintf(waiting, sizeof waiting,
               "\n\nNot saved yet, tried again every ten seconds:\n%s\nReason: %s",
               status.retry == kRetryCopyFailed ? BelowFolder(status.retry_path, folder)
                                                : "LastReplay.w3g",
               RetryWords(status));
    }
  }
  // Everything after the folders, which give way to it.
  char rest[sizeof settings_text + sizeof saved + sizeof waiting + 512];
  snprintf(rest, sizeof rest,
           "\n"
           "\n"
           "%s\n"
           "\n"
           "%s%s\n"
           "\n"
           "Your record, won and lost by matchup, map, opponent and month: Start menu, "
           "Brindlecap statistics (or brindlecap-cli report). Your settings: Start menu, "
           "Brindlecap settings.\n"
           "\n"
           "Right-click the tray icon to close Brindlecap.",
           settings_text, saved, waiting);

  // What is watched, and what was saved where. The list may be long; it gets its
  // own buffer and what room the rest leaves.
  char folders[kAboutTextSize];
  if (app->listed) {
    const size_t taken = sizeof kAboutIntro + strlen(rest) + 256;
    FormatWatchedFolders(app, folders, sizeof folders, size > taken + 512 ? size - taken : size / 2);
  } else {
    // The list of one: the install path's folder, as it was always shown.
    const bool folder_there = PlatformKindOf(folder) == kPlatformFolder;
    snprintf(folders, sizeof folders, "Replay folder:\n%s%s%s", folder,
             folder_there ? "" : "\n(this folder does not exist yet)",
             folder_there ? "" : CurrentGameHint());
  }
  int written = snprintf(out, size, "%s%s%s", kAboutIntro, folders, rest);
  if (written < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(written) < size ? static_cast<size_t>(written) : size - 1;
}
