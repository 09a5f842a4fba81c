// Plays the user and the shell against a running brindlecap.exe, one command per
// call, for the end-to-end script. Every command prints what it saw on stdout and
// exits 0 when the thing it looked for was there, 1 when it was not, 2 on bad usage.
//
//   launch EXE [ARG...]        start EXE with the arguments, print its process id,
//                              wait for it and exit with its exit code
//   window PID [WAIT_MS]       find the program's main window; print hwnd= visible=
//   tray HWND                  is tray icon 101 of that window known to the shell?
//   untray HWND                remove tray icon 101 of that window, as a dying Explorer loses it
//   taskbar HWND               send the window the shell's registered "TaskbarCreated"
//   click PID left|right|balloon [ID]  post the tray callback for a button going
//                              down, or for a click on the icon's notification
//   key PID escape             post an Escape key-down to the main window
//   boxes PID                  print how many of the program's message boxes are open
//   box PID [WAIT_MS]          wait for a message box; print its owner, style, buttons, text
//   press PID yes|no|ok [WAIT_MS]  press a button of the topmost box once it is shown;
//                              wait until it is gone
//   warm                       show a message box that closes itself: the first one
//                              Wine shows in a prefix loads what every later one needs
//   utf8-replay PATH           write a ladder 1v1 whose players have a Cyrillic and a
//                              Korean name
//   settings PID [WAIT_MS]     wait for the settings window; print its boxes, template,
//                              preview and whether OK is enabled
//   set-template PID TEXT      type TEXT into the settings window's template
//   tick PID custom|date|modern|notify|startup   click one of its boxes
//   ok PID                     press the settings window's OK; wait until it is gone
//   balloons [WAIT_MS]         wait for a notification of the tray's; print its title
//                              and text as the shell shows them
//   explorer FOLDER [WAIT_MS]  wait for an Explorer window on FOLDER (its title is
//                              the folder's name); print its title
//   shot PATH [TITLE|X,Y,W,H]  write a PNG of the window with that title (of any
//                              class), of that part of the screen, or of all of it
//   statistics PID [WAIT_MS]   find the statistics program's window; print its count
//                              line, its bar's position and range, its folder line
//                              and whether Cancel can be pressed
//   stop PID escape|enter|click|close
//                              ask the statistics program to stop, as a player would
//   opened LOG FILE            stand in for the browser: append FILE to LOG
//
// A PID of 0 stands for any process, for use by hand against a single instance.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <zlib.h>

#include "app/settings_ids.h"
#include "tests/replay_builder.h"

namespace {

const char kClassName[] = "Brindlecap";
const char kTitle[] = "WarCraft TFT Brindlecap";
const char kBoxCaption[] = "Brindlecap v1.3 by Quennet";
const UINT kTrayId = 101;
const UINT kTrayCallback = 0x8001;

struct Search {
  DWORD process;
  const char* class_name;
  const char* title;
  HWND found[16];
  int count;
};

BOOL CALLBACK Collect(HWND window, LPARAM lparam) {
  Search* search = reinterpret_cast<Search*>(lparam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (search->process != 0 && process != search->process) return TRUE;
  char text[256];
  if (GetClassNameA(window, text, sizeof text) == 0 || strcmp(text, search->class_name) != 0) {
    return TRUE;
  }
  text[0] = '\0';
  GetWindowTextA(window, text, sizeof text);
  if (strcmp(text, search->title) != 0) return TRUE;
  if (search->count < 16) search->found[search->count++] = window;
  return TRUE;
}

// Top-level windows of the process with that class and title, topmost first.
int FindWindows(DWORD process, const char* class_name, const char* title, HWND* found, int max) {
  Search search;
  memset(&search, 0, sizeof search);
  search.process = process;
  search.class_name = class_name;
  search.title = title;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  int n = search.count < max ? search.count : max;
  for (int i = 0; i < n; ++i) found[i] = search.found[i];
  return n;
}

// The process's one window of that class and title, looked for every 100 ms for up to
// wait_ms; NULL when none came.
HWND WaitForWindow(DWORD process, const char* class_name, const char* title, DWORD wait_ms) {
  for (DWORD waited = 0;; waited += 100) {
    HWND found = NULL;
    if (FindWindows(process, class_name, title, &found, 1) == 1) return found;
    if (waited >= wait_ms) return NULL;
    Sleep(100);
  }
}

HWND FindMainWindow(DWORD process, DWORD wait_ms) {
  return WaitForWindow(process, kClassName, kTitle, wait_ms);
}

HWND FindBox(DWORD process, DWORD wait_ms) {
  return WaitForWindow(process, "#32770", kBoxCaption, wait_ms);
}

DWORD Number(const char* text) { return static_cast<DWORD>(strtoul(text, NULL, 0)); }

int Launch(int argc, char** argv) {
  // The exe in quotes, then the arguments as they were given.
  char command[4096];
  int used = snprintf(command, sizeof command, "\"%s\"", argv[2]);
  for (int i = 3; i < argc && used > 0 && used < static_cast<int>(sizeof command); ++i) {
    used += snprintf(command + used, sizeof command - used, " %s", argv[i]);
  }
  if (used <= 0 || used >= static_cast<int>(sizeof command)) return 2;
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    printf("launch failed: error %lu\n", GetLastError());
    return 2;
  }
  printf("%lu\n", process.dwProcessId);
  fflush(stdout);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

// Prints the window found, or that none was (then false): the scripts read these lines.
bool PrintFound(HWND window, const char* missing) {
  if (window == NULL) {
    printf("%s\n", missing);
    return false;
  }
  printf("hwnd=%lu visible=%d\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
         IsWindowVisible(window) ? 1 : 0);
  return true;
}

int Window(DWORD process, DWORD wait_ms) {
  return PrintFound(FindMainWindow(process, wait_ms), "no main window") ? 0 : 1;
}

// The record that names tray icon 101 of a window, and nothing else.
NOTIFYICONDATAA TrayRecord(HWND window) {
  NOTIFYICONDATAA record;
  memset(&record, 0, sizeof record);
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = window;
  record.uID = kTrayId;
  return record;
}

// NIM_MODIFY succeeds only for an icon the shell holds, so asking to change
// nothing about icon 101 of the window tells whether it is there.
int Tray(HWND window) {
  NOTIFYICONDATAA record = TrayRecord(window);
  BOOL known = Shell_NotifyIconA(NIM_MODIFY, &record);
  printf("tray=%d\n", known ? 1 : 0);
  return known ? 0 : 1;
}

int Untray(HWND window) {
  NOTIFYICONDATAA record = TrayRecord(window);
  BOOL removed = Shell_NotifyIconA(NIM_DELETE, &record);
  printf("untray=%d\n", removed ? 1 : 0);
  return removed ? 0 : 1;
}

// What a new Explorer sends every top-level window once its taskbar is up.
int Taskbar(HWND window) {
  const UINT message = RegisterWindowMessageA("TaskbarCreated");
  DWORD_PTR result = 0;
  BOOL sent = message != 0 && SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                                  &result) != 0;
  printf("taskbar=%d\n", sent ? 1 : 0);
  return sent ? 0 : 1;
}

int Click(DWORD process, const char* button, UINT id) {
  HWND window = FindMainWindow(process, 0);
  if (window == NULL) {
    printf("no main window\n");
    return 1;
  }
  LPARAM mouse = strcmp(button, "left") == 0      ? WM_LBUTTONDOWN
                 : strcmp(button, "balloon") == 0 ? NIN_BALLOONUSERCLICK
                                                  : WM_RBUTTONDOWN;
  return PostMessageA(window, kTrayCallback, id, mouse) ? 0 : 1;
}

int Key(DWORD process) {
  HWND window = FindMainWindow(process, 0);
  if (window == NULL) {
    printf("no main window\n");
    return 1;
  }
  // Repeat count 1 and the Escape key's scan code, as the keyboard sends it.
  return PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001) ? 0 : 1;
}

int Boxes(DWORD process) {
  HWND found[16];
  printf("boxes=%d\n", FindWindows(process, "#32770", kBoxCaption, found, 16));
  return 0;
}

BOOL CALLBACK PrintStaticText(HWND child, LPARAM) {
  char class_name[32];
  if (GetClassNameA(child, class_name, sizeof class_name) == 0) return TRUE;
  if (lstrcmpiA(class_name, "Static") != 0) return TRUE;
  // Read wide and printed as UTF-8, whatever code page the driver runs with, so
  // that folders and names in any alphabet come through as the program shows them.
  static wchar_t wide[16384];
  static char text[65536];
  LRESULT length = SendMessageW(child, WM_GETTEXT, sizeof wide / sizeof wide[0],
                                reinterpret_cast<LPARAM>(wide));
  if (length > 0 &&
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, NULL, NULL) > 0) {
    printf("text:\n%s\n", text);
  }
  return TRUE;
}

int Box(DWORD process, DWORD wait_ms) {
  HWND box = FindBox(process, wait_ms);
  if (box == NULL) {
    printf("no box\n");
    return 1;
  }
  HWND main_window = FindMainWindow(process, 0);
  HWND owner = GetWindow(box, GW_OWNER);
  printf("owner=%s\n", owner != NULL && owner == main_window ? "main" : "other");
  printf("topmost=%d\n", (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
  const struct {
    int id;
    const char* name;
  } buttons[] = {{IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDYES, "yes"}, {IDNO, "no"}};
  printf("buttons=");
  const char* separator = "";
  for (const auto& button : buttons) {
    HWND control = GetDlgItem(box, button.id);
    if (control != NULL && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE)) {
      printf("%s%s", separator, button.name);
      separator = ",";
    }
  }
  printf("\n");
  EnumChildWindows(box, PrintStaticText, 0);
  return 0;
}

int Press(DWORD process, const char* which, DWORD wait_ms) {
  int id = strcmp(which, "yes") == 0 ? IDYES : strcmp(which, "no") == 0 ? IDNO : IDOK;
  HWND box = FindBox(process, wait_ms);
  if (box == NULL) {
    printf("no box\n");
    return 1;
  }
  HWND button = GetDlgItem(box, id);
  if (button == NULL) {
    printf("no %s button\n", which);
    return 1;
  }
  // The box is found as soon as it has its caption; it is shown when its own
  // message loop is about to run. A user cannot click it before that.
  DWORD waited = 0;
  for (; waited < wait_ms && IsWindow(box) && !IsWindowVisible(box); waited += 50) Sleep(50);
  const DWORD shown = waited;
  // A click as the button itself handles it: pressed, released, then it tells the
  // box. Clicked again now and then: on a loaded machine a click that comes while
  // the box is still taking focus can be lost, as a user's can.
  for (DWORD since_click = 0;; waited += 50, since_click += 50) {
    if (!IsWindow(box)) {
      printf("gone after %lu ms, shown after %lu ms\n", static_cast<unsigned long>(waited),
             static_cast<unsigned long>(shown));
      return 0;
    }
    if (waited >= wait_ms + 5000) break;
    if (since_click % 2000 == 0) PostMessageA(button, BM_CLICK, 0, 0);
    Sleep(50);
  }
  printf("box still open (visible=%d enabled=%d foreground=%d)\n", IsWindowVisible(box) ? 1 : 0,
         IsWindowEnabled(box) ? 1 : 0, GetForegroundWindow() == box ? 1 : 0);
  return 1;
}

const char kWarmCaption[] = "brindlecap-driver warming up";

void CALLBACK CloseWarmBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowA("#32770", kWarmCaption);
  if (box != NULL) PostMessageA(box, WM_COMMAND, IDOK, 0);
}

int Warm() {
  // Thread timers are dispatched by the box's own message loop.
  SetTimer(NULL, 0, 300, CloseWarmBox);
  MessageBoxA(NULL, "Loading what message boxes need.", kWarmCaption, MB_OK);
  printf("warm\n");
  return 0;
}

const char kStatisticsClass[] = "BrindlecapStatistics";
const char kStatisticsTitle[] = "Brindlecap statistics";
const int kStatisticsCount = 101;  // the controls of the statistics window
const int kStatisticsBar = 102;
const int kStatisticsFolder = 103;

HWND FindStatistics(DWORD process, DWORD wait_ms) {
  return WaitForWindow(process, kStatisticsClass, kStatisticsTitle, wait_ms);
}

// A control's text as UTF-8, whatever code page the driver runs with.
void PrintControlText(const char* label, HWND control) {
  static wchar_t wide[4096];
  static char text[16384];
  text[0] = '\0';
  LRESULT length = SendMessageW(control, WM_GETTEXT, sizeof wide / sizeof wide[0],
                                reinterpret_cast<LPARAM>(wide));
  if (length >= 0) {
    wide[length] = L'\0';
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, NULL, NULL);
  }
  printf("%s=%s\n", label, text);
}

int Statistics(DWORD process, DWORD wait_ms) {
  HWND window = FindStatistics(process, wait_ms);
  if (!PrintFound(window, "no statistics window")) return 1;
  PrintControlText("count", GetDlgItem(window, kStatisticsCount));
  HWND bar = GetDlgItem(window, kStatisticsBar);
  printf("position=%ld\nrange=%ld\n", static_cast<long>(SendMessageA(bar, PBM_GETPOS, 0, 0)),
         static_cast<long>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)));
  PrintControlText("folder", GetDlgItem(window, kStatisticsFolder));
  printf("cancel=%d\n", IsWindowEnabled(GetDlgItem(window, IDCANCEL)) ? 1 : 0);
  return 0;
}

int Stop(DWORD process, const char* how) {
  HWND window = FindStatistics(process, 0);
  if (window == NULL) {
    printf("no statistics window\n");
    return 1;
  }
  HWND cancel = GetDlgItem(window, IDCANCEL);
  const LPARAM key_down = 0x00010001;  // repeat count 1, as the keyboard sends it
  BOOL posted = FALSE;
  if (strcmp(how, "escape") == 0) {
    posted = PostMessageA(cancel, WM_KEYDOWN, VK_ESCAPE, key_down);
  } else if (strcmp(how, "enter") == 0) {
    posted = PostMessageA(cancel, WM_KEYDOWN, VK_RETURN, key_down);
  } else if (strcmp(how, "click") == 0) {
    posted = PostMessageA(cancel, BM_CLICK, 0, 0);
  } else if (strcmp(how, "close") == 0) {
    posted = PostMessageA(window, WM_CLOSE, 0, 0);
  } else {
    return 2;
  }
  return posted ? 0 : 1;
}

int Opened(const char* log, const char* file) {
  FILE* out = fopen(log, "ab");
  if (out == NULL) return 1;
  fprintf(out, "%s\n", file);
  return fclose(out) == 0 ? 0 : 1;
}

int Utf8Replay(const char* path) {
  const Bytes file = BuildReplay(LadderReplay(OtherAlphabetPlayers(2)));
  FILE* out = fopen(path, "wb");
  if (out == NULL) return 1;
  const bool written = fwrite(file.data(), 1, file.size(), out) == file.size();
  return fclose(out) == 0 && written ? 0 : 1;
}

struct Titled {
  const char* title;
  HWND found;
};

BOOL CALLBACK FindVisibleTitled(HWND window, LPARAM lparam) {
  Titled* wanted = reinterpret_cast<Titled*>(lparam);
  char title[512];
  if (IsWindowVisible(window) && GetWindowTextA(window, title, sizeof title) > 0 &&
      strcmp(title, wanted->title) == 0) {
    wanted->found = window;
    return FALSE;
  }
  return TRUE;
}

int Explorer(const char* title, DWORD wait_ms) {
  Titled wanted = {title, NULL};
  for (DWORD waited = 0;; waited += 100) {
    EnumWindows(FindVisibleTitled, reinterpret_cast<LPARAM>(&wanted));
    if (wanted.found != NULL) break;
    if (waited >= wait_ms) {
      printf("no window %s\n", title);
      return 1;
    }
    Sleep(100);
  }
  char class_name[64] = "";
  GetClassNameA(wanted.found, class_name, sizeof class_name);
  printf("window=%s class=%s\n", title, class_name);
  PostMessageA(wanted.found, WM_CLOSE, 0, 0);
  return 0;
}

const char kSettingsCaption[] = "Brindlecap settings";

HWND FindSettings(DWORD process, DWORD wait_ms) {
  for (DWORD waited = 0;; waited += 100) {
    HWND found = NULL;
    if (FindWindows(process, "#32770", kSettingsCaption, &found, 1) == 1 &&
        IsWindowVisible(found)) {
      return found;
    }
    if (waited >= wait_ms) return NULL;
    Sleep(100);
  }
}

// Text of another process's control, as UTF-8.
void ControlText(HWND control, char* out, int size) {
  wchar_t wide[2048];
  wide[0] = L'\0';
  SendMessageW(control, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(wide));
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, size, NULL, NULL) == 0) out[0] = '\0';
}

int Settings(DWORD process, DWORD wait_ms) {
  HWND window = FindSettings(process, wait_ms);
  if (window == NULL) {
    printf("no settings window\n");
    return 1;
  }
  const struct {
    int id;
    const char* name;
  } boxes[] = {{IDC_CUSTOM, "custom"}, {IDC_DATE_TAG, "date"}, {IDC_MODERN, "modern"},
               {IDC_NOTIFY, "notify"}, {IDC_STARTUP, "startup"}};
  for (const auto& box : boxes) {
    printf("%s=%d\n", box.name,
           SendDlgItemMessageA(window, box.id, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
  }
  char text[4096];
  ControlText(GetDlgItem(window, IDC_TEMPLATE), text, sizeof text);
  printf("template=%s\n", text);
  ControlText(GetDlgItem(window, IDC_PREVIEW_LABEL), text, sizeof text);
  printf("label=%s\n", text);
  ControlText(GetDlgItem(window, IDC_PREVIEW), text, sizeof text);
  printf("preview=%s\n", text);
  printf("ok=%d\n", IsWindowEnabled(GetDlgItem(window, IDOK)) ? 1 : 0);
  return 0;
}

int SetTemplate(DWORD process, const char* text) {
  HWND window = FindSettings(process, 5000);
  if (window == NULL) return 1;
  // As typed: the edit control tells the window of the change.
  wchar_t wide[1024];
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 1024) == 0) return 2;
  return SendMessageW(GetDlgItem(window, IDC_TEMPLATE), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(wide))
             ? 0
             : 1;
}

int TickBox(DWORD process, const char* which) {
  HWND window = FindSettings(process, 5000);
  if (window == NULL) return 1;
  const int id = strcmp(which, "custom") == 0   ? IDC_CUSTOM
                 : strcmp(which, "date") == 0   ? IDC_DATE_TAG
                 : strcmp(which, "modern") == 0 ? IDC_MODERN
                 : strcmp(which, "notify") == 0 ? IDC_NOTIFY
                                                : IDC_STARTUP;
  // A click as the box itself handles it.
  SendMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0);
  return 0;
}

int PressOk(DWORD process) {
  HWND window = FindSettings(process, 5000);
  if (window == NULL) return 1;
  HWND ok = GetDlgItem(window, IDOK);
  if (!IsWindowEnabled(ok)) {
    printf("OK is disabled\n");
    return 1;
  }
  PostMessageA(ok, BM_CLICK, 0, 0);
  for (int waited = 0; waited < 10000; waited += 50) {
    if (!IsWindow(window)) return 0;
    Sleep(50);
  }
  printf("the window stayed\n");
  return 1;
}

struct Balloon {
  HWND found;
};

// The shell draws a notification as a balloon tooltip of its own (Windows before
// 10, and Wine's explorer): a visible tooltips_class32 window with a title.
BOOL CALLBACK FindBalloon(HWND window, LPARAM lparam) {
  char class_name[64];
  if (GetClassNameA(window, class_name, sizeof class_name) == 0 ||
      strcmp(class_name, "tooltips_class32") != 0 || !IsWindowVisible(window) ||
      (GetWindowLongA(window, GWL_STYLE) & TTS_BALLOON) == 0) {
    return TRUE;
  }
  reinterpret_cast<Balloon*>(lparam)->found = window;
  return FALSE;
}

int Balloons(DWORD wait_ms) {
  Balloon balloon = {NULL};
  for (DWORD waited = 0; balloon.found == NULL; waited += 100) {
    EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&balloon));
    if (balloon.found != NULL) break;
    if (waited >= wait_ms) {
      printf("no balloon\n");
      return 1;
    }
    Sleep(100);
  }
  // Its title, through the tooltip's own message (it copies into this process's
  // memory only within the process, so the window text is what is read across).
  char text[2048];
  ControlText(balloon.found, text, sizeof text);
  printf("balloon=%s\n", text);
  RECT rect;
  GetWindowRect(balloon.found, &rect);
  printf("rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
  return 0;
}

// A PNG of screen pixels: 8-bit RGB rows, each with filter byte 0.
bool WritePng(const char* path, const unsigned char* rgb, int width, int height) {
  auto chunk = [](FILE* out, const char* type, const unsigned char* data, uLong length) {
    unsigned char head[8] = {static_cast<unsigned char>(length >> 24),
                             static_cast<unsigned char>(length >> 16),
                             static_cast<unsigned char>(length >> 8),
                             static_cast<unsigned char>(length), 0, 0, 0, 0};
    memcpy(head + 4, type, 4);
    fwrite(head, 1, 8, out);
    if (length > 0) fwrite(data, 1, length, out);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (length > 0) crc = crc32(crc, data, length);
    unsigned char tail[4] = {static_cast<unsigned char>(crc >> 24),
                             static_cast<unsigned char>(crc >> 16),
                             static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    fwrite(tail, 1, 4, out);
  };
  const size_t row = static_cast<size_t>(width) * 3 + 1;
  Bytes raw(row * height);
  for (int y = 0; y < height; ++y) {
    raw[y * row] = 0;
    memcpy(&raw[y * row + 1], rgb + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
  }
  uLongf packed_size = compressBound(raw.size());
  Bytes packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), raw.size(), 9) != Z_OK) return false;
  FILE* out = fopen(path, "wb");
  if (out == NULL) return false;
  const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  fwrite(signature, 1, 8, out);
  unsigned char header[13] = {static_cast<unsigned char>(width >> 24),
                              static_cast<unsigned char>(width >> 16),
                              static_cast<unsigned char>(width >> 8),
                              static_cast<unsigned char>(width),
                              static_cast<unsigned char>(height >> 24),
                              static_cast<unsigned char>(height >> 16),
                              static_cast<unsigned char>(height >> 8),
                              static_cast<unsigned char>(height), 8, 2, 0, 0, 0};
  chunk(out, "IHDR", header, 13);
  chunk(out, "IDAT", packed.data(), packed_size);
  chunk(out, "IEND", nullptr, 0);
  return fclose(out) == 0;
}

BOOL CALLBACK FindTitled(HWND window, LPARAM lparam) {
  const char** wanted = reinterpret_cast<const char**>(lparam);
  char title[256];
  if (IsWindowVisible(window) && GetWindowTextA(window, title, sizeof title) > 0 &&
      strcmp(title, wanted[0]) == 0) {
    wanted[1] = reinterpret_cast<const char*>(window);
    return FALSE;
  }
  return TRUE;
}

int Shot(const char* path, const char* title) {
  RECT rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  long x = 0, y = 0, w = 0, h = 0;
  if (title != NULL && sscanf(title, "%ld,%ld,%ld,%ld", &x, &y, &w, &h) == 4) {
    rect = {x, y, x + w, y + h};
  } else if (title != NULL) {
    const char* wanted[2] = {title, NULL};
    EnumWindows(FindTitled, reinterpret_cast<LPARAM>(wanted));
    if (wanted[1] == NULL) {
      printf("no window %s\n", title);
      return 1;
    }
    GetWindowRect(reinterpret_cast<HWND>(const_cast<char*>(wanted[1])), &rect);
  }
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return 1;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  Bytes rgb(static_cast<size_t>(width) * height * 3);
  const unsigned char* bgra = static_cast<const unsigned char*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  const bool written = WritePng(path, rgb.data(), width, height);
  printf("%s %dx%d\n", written ? "shot" : "not written", width, height);
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "launch") == 0) return Launch(argc, argv);
  if (argc == 2 && strcmp(argv[1], "warm") == 0) return Warm();
  if (argc >= 2 && strcmp(argv[1], "balloons") == 0) {
    return Balloons(argc > 2 ? Number(argv[2]) : 0);
  }
  if (argc >= 3 && strcmp(argv[1], "explorer") == 0) {
    return Explorer(argv[2], argc > 3 ? Number(argv[3]) : 0);
  }
  if (argc >= 3 && strcmp(argv[1], "shot") == 0) return Shot(argv[2], argc > 3 ? argv[3] : NULL);
  if (argc < 3) {
    fprintf(stderr, "usage: brindlecap-driver COMMAND ARGS (see the source)\n");
    return 2;
  }
  const char* command = argv[1];
  const DWORD target = Number(argv[2]);
  if (strcmp(command, "window") == 0) return Window(target, argc > 3 ? Number(argv[3]) : 0);
  if (strcmp(command, "tray") == 0) {
    return Tray(reinterpret_cast<HWND>(static_cast<UINT_PTR>(target)));
  }
  if (strcmp(command, "untray") == 0) {
    return Untray(reinterpret_cast<HWND>(static_cast<UINT_PTR>(target)));
  }
  if (strcmp(command, "taskbar") == 0) {
    return Taskbar(reinterpret_cast<HWND>(static_cast<UINT_PTR>(target)));
  }
  if (strcmp(command, "click") == 0 && argc >= 4) {
    return Click(target, argv[3], argc > 4 ? Number(argv[4]) : kTrayId);
  }
  if (strcmp(command, "key") == 0) return Key(target);
  if (strcmp(command, "boxes") == 0) return Boxes(target);
  if (strcmp(command, "box") == 0) return Box(target, argc > 3 ? Number(argv[3]) : 0);
  if (strcmp(command, "utf8-replay") == 0) return Utf8Replay(argv[2]);
  if (strcmp(command, "settings") == 0) return Settings(target, argc > 3 ? Number(argv[3]) : 0);
  if (strcmp(command, "set-template") == 0 && argc >= 4) return SetTemplate(target, argv[3]);
  if (strcmp(command, "tick") == 0 && argc >= 4) return TickBox(target, argv[3]);
  if (strcmp(command, "ok") == 0) return PressOk(target);
  if (strcmp(command, "opened") == 0 && argc >= 4) return Opened(argv[2], argv[3]);
  if (strcmp(command, "statistics") == 0) {
    return Statistics(target, argc > 3 ? Number(argv[3]) : 0);
  }
  if (strcmp(command, "stop") == 0 && argc >= 4) return Stop(target, argv[3]);
  if (strcmp(command, "press") == 0 && argc >= 4) {
    return Press(target, argv[3], argc > 4 ? Number(argv[4]) : 0);
  }
  fprintf(stderr, "unknown command %s\n", command);
  return 2;
}
