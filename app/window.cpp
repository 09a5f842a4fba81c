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

// Says in plain words why a replay waits, for the about box.
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
}

size_t FormatAboutText(const AppState* app, char* out, size_t size) {
  if (size == 0) return 0;
  const WatchSettings& settings = app->settings;
  // The tag the next copy would carry; every filing builds it afresh anyway.
  const NameDate today = LocalNameDate();
  char date_tag[kDateTagSize];
  BuildDateTag(&settings.naming, &today, date_tag, sizeof date_tag);

  // What is watched, and what was saved where. The list part may be long; it
  // gets its own buffer and gives way to the rest of the text.
  char folders[kAboutTextSize];
  char saved[kPathSize + 64];
  char waiting[kPathSize + 128] = "";
  if (app->listed) {
    FormatWatchedFolders(app, folders, sizeof folders, size > 3072 ? size - 3072 : size / 2);
    const int count = SavedInList(&app->list);
    if (count == 0) {
      snprintf(saved, sizeof saved, "Saved since start: none yet");
    } else {
      snprintf(saved, sizeof saved, "Saved since start: %d %s", count,
               count == 1 ? "replay" : "replays");
    }
  } else {
    // The list of one: the install path's folder, as it was always shown.
    const char* folder = app->replay_folder;
    const WatcherStatus none = WatcherStatus();
    const WatcherStatus& status = app->list.count > 0 ? app->list.folders[0].status : none;
    const bool folder_there = PlatformKindOf(folder) == kPlatformFolder;
    snprintf(folders, sizeof folders, "Replay folder:\n%s%s%s", folder,
             folder_there ? "" : "\n(this folder does not exist yet)",
             folder_there ? "" : CurrentGameHint());
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

  // A template shapes the names, and puts the tag wherever its {date} stands.
  const char* name_template = settings.naming.name_template;
  const bool templated = !UsesDefaultTemplate(name_template);
  char names[kPathSize + 64] = "";
  if (name_template[0] != '\0') {
    snprintf(names, sizeof names, "\nNames: %s (-name)", name_template);
  }

  int written = snprintf(
      out, size,
      "Brindlecap keeps your Warcraft III replays.\n"
      "\n"
      "The game overwrites LastReplay.w3g after every game. Every ten seconds Brindlecap "
      "looks at it, and when a new one has been written it files a copy named after the "
      "players and their races, in the 1v1, 2v2, 3v3, 4v4, FFA and Custom folders next "
      "to it.\n"
      "\n"
      "%s\n"
      "\n"
      "Custom games: %s\n"
      "Date tag: %s%s%s\n"
      "Game versions 1.30 and later: %s\n"
      "\n"
      "%s%s\n"
      "\n"
      "Your record, won and lost by matchup, map, opponent and month: Start menu, "
      "Brindlecap statistics (or brindlecap-cli report).\n"
      "\n"
      "Right-click the tray icon to close Brindlecap.",
      folders, settings.save_custom ? "saved" : "not saved (start with -custom to keep them)",
      !settings.naming.date_tag ? "off" : templated ? "on, {date} gives " : "on, names start with ",
      settings.naming.date_tag ? date_tag : " (-nodate)", names,
      settings.reading == kLengthReading ? "named (-modern)" : "not read (start with -modern)",
      saved, waiting);
  if (written < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(written) < size ? static_cast<size_t>(written) : size - 1;
}
