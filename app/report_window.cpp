#include "app/report_window.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

const char kProgressClassName[] = "BrindlecapStatistics";
const char kProgressTitle[] = "Brindlecap statistics";

namespace {

const int kIconId = 101;

// Tells the window, unless news is already on its way: it reads the latest when
// the message comes, so one message stands for any number of changes.
void Tell(ReadingShown* shown) {
  if (!shown->posted.exchange(true)) PostMessageA(shown->window, kProgressMessage, 0, 0);
}

// The folder part of a path: up to its last separator.
void CopyFolderOf(const char* path, char* out, size_t size) {
  size_t end = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '\\' || path[i] == '/') end = i;
  }
  snprintf(out, size, "%.*s", static_cast<int>(end), path);
}

int Scaled(int value, int dpi) { return MulDiv(value, dpi, 96); }

RECT Box(int left, int top, int width, int height, int dpi) {
  RECT r;
  r.left = Scaled(left, dpi);
  r.top = Scaled(top, dpi);
  r.right = r.left + Scaled(width, dpi);
  r.bottom = r.top + Scaled(height, dpi);
  return r;
}

// Newer systems' per-monitor calls, looked up so that the program still starts
// where they are missing (Windows before 10 version 1607).
typedef UINT(WINAPI* DpiForWindow)(HWND);
typedef BOOL(WINAPI* AdjustForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT);

// The function of user32 of that name, as a Function, or NULL. (Through the one
// function type every other converts from without a warning.)
template <typename Function>
Function User32(const char* name) {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int DpiOf(HWND window) {
  DpiForWindow dpi_for_window = User32<DpiForWindow>("GetDpiForWindow");
  const UINT dpi = dpi_for_window != nullptr ? dpi_for_window(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

// The system's message font at dpi: as the system gives it for its own DPI,
// scaled to the window's. (Not SystemParametersInfoForDpi: Wine's writes past the
// metrics it is given.)
HFONT MessageFont(int dpi) {
  NONCLIENTMETRICSW metrics;
  memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

const DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The outer size of a window whose client area is client, at dpi.
SIZE OuterSize(SIZE client, int dpi) {
  RECT r = {0, 0, client.cx, client.cy};
  AdjustForDpi adjust = User32<AdjustForDpi>("AdjustWindowRectExForDpi");
  if (adjust == nullptr || !adjust(&r, kStyle, FALSE, 0, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  }
  SIZE outer = {r.right - r.left, r.bottom - r.top};
  return outer;
}

// What the window keeps beside the shared news.
struct WindowState {
  ReadingShown* shown;
  HFONT font;
  bool owns_font;
};

void UseFont(HWND window, WindowState* state, int dpi) {
  HFONT font = MessageFont(dpi);
  for (int id : {kCountTextId, kFolderTextId, kCancelId}) {
    SendMessageA(GetDlgItem(window, id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (state->owns_font) DeleteObject(state->font);
  state->font = font;
  state->owns_font = font != GetStockObject(DEFAULT_GUI_FONT);
}

void PlaceControls(HWND window, int dpi) {
  const ProgressLayout layout = LayOutProgress(dpi);
  const struct {
    int id;
    RECT r;
  } places[] = {{kCountTextId, layout.count},
                {kProgressBarId, layout.bar},
                {kFolderTextId, layout.folder},
                {kCancelId, layout.cancel}};
  for (const auto& place : places) {
    MoveWindow(GetDlgItem(window, place.id), place.r.left, place.r.top,
               place.r.right - place.r.left, place.r.bottom - place.r.top, TRUE);
  }
}

// Sizes the window for dpi and centres it on the work area of its monitor.
void FitWindow(HWND window, int dpi) {
  const SIZE outer = OuterSize(LayOutProgress(dpi).client, dpi);
  RECT area;
  MONITORINFO monitor;
  memset(&monitor, 0, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    area = monitor.rcWork;
  } else if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    area = RECT{0, 0, outer.cx, outer.cy};
  }
  const int left = area.left + (area.right - area.left - outer.cx) / 2;
  const int top = area.top + (area.bottom - area.top - outer.cy) / 2;
  SetWindowPos(window, nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceControls(window, dpi);
}

void ShowNews(HWND window, ReadingShown* shown) {
  // Cleared before reading, so that news after this read brings another message.
  shown->posted = false;
  bool walking;
  int read, found;
  char folder[kShownFolderSize];
  {
    std::lock_guard<std::mutex> hold(shown->lock);
    walking = shown->walking;
    read = shown->read;
    found = shown->found;
    memcpy(folder, shown->folder, sizeof folder);
  }
  if (shown->stop) return;  // "Stopping..." stays
  char count[128];
  HWND bar = GetDlgItem(window, kProgressBarId);
  if (walking) {
    snprintf(count, sizeof count, "Looking for replays... %d found", found);
    SendMessageA(bar, PBM_SETRANGE32, 0, 1);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
  } else {
    snprintf(count, sizeof count, "Reading replay %d of %d", read, found);
    SendMessageA(bar, PBM_SETRANGE32, 0, found > 0 ? found : 1);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(read), 0);
  }
  SetDlgItemTextA(window, kCountTextId, count);
  SetDlgItemTextA(window, kFolderTextId, folder);
}

// Cancel, Escape, Enter or the close box: the reading stops at its next file; the
// window stays, saying so, until it has.
void AskToStop(HWND window, ReadingShown* shown) {
  if (shown->stop.exchange(true)) return;
  SetDlgItemTextA(window, kCountTextId, "Stopping...");
  EnableWindow(GetDlgItem(window, kCancelId), FALSE);
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowState* state = reinterpret_cast<WindowState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case kProgressMessage:
      if (state != nullptr) ShowNews(window, state->shown);
      return 0;
    case kReadingDoneMessage:
      DestroyWindow(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCancelId && state != nullptr) AskToStop(window, state->shown);
      return 0;
    case WM_CLOSE:
      if (state != nullptr) AskToStop(window, state->shown);
      return 0;
    case WM_DPICHANGED: {
      // The window moved to a monitor of another scale: the system's suggested
      // place, then the font and the controls at the new DPI.
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      if (state != nullptr) UseFont(window, state, HIWORD(wparam));
      PlaceControls(window, HIWORD(wparam));
      return 0;
    }
    case WM_DESTROY:
      if (state != nullptr && state->owns_font) DeleteObject(state->font);
      delete state;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

void ShowWalking(void* context, int found, const char* folder) {
  ReadingShown* shown = static_cast<ReadingShown*>(context);
  {
    std::lock_guard<std::mutex> hold(shown->lock);
    shown->walking = true;
    shown->found = found;
    snprintf(shown->folder, sizeof shown->folder, "%s", folder);
  }
  Tell(shown);
}

void ShowReading(void* context, int read, int found, const char* file) {
  ReadingShown* shown = static_cast<ReadingShown*>(context);
  {
    std::lock_guard<std::mutex> hold(shown->lock);
    shown->walking = false;
    shown->read = read;
    shown->found = found;
    if (file != nullptr) CopyFolderOf(file, shown->folder, sizeof shown->folder);
  }
  Tell(shown);
}

ProgressLayout LayOutProgress(int dpi) {
  // At 100%: a line of text, the bar, the folder's line, Cancel at the right.
  ProgressLayout layout;
  layout.count = Box(12, 12, 396, 20, dpi);
  layout.bar = Box(12, 36, 396, 18, dpi);
  layout.folder = Box(12, 60, 396, 20, dpi);
  layout.cancel = Box(320, 90, 88, 26, dpi);
  layout.client.cx = Scaled(420, dpi);
  layout.client.cy = Scaled(128, dpi);
  return layout;
}

HWND CreateProgressWindow(HINSTANCE instance, ReadingShown* shown) {
  WNDCLASSEXA type;
  memset(&type, 0, sizeof type);
  type.cbSize = sizeof type;
  type.lpfnWndProc = ProgressProc;
  type.hInstance = instance;
  type.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
  type.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = kProgressClassName;
  if (!RegisterClassExA(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

  WindowState* state = new WindowState{shown, nullptr, false};
  const int dpi = SystemDpi();
  const SIZE outer = OuterSize(LayOutProgress(dpi).client, dpi);
  HWND window = CreateWindowExA(0, kProgressClassName, kProgressTitle, kStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, outer.cx, outer.cy, nullptr, nullptr, instance,
                                state);
  if (window == nullptr) {
    delete state;
    return nullptr;
  }
  const DWORD child = WS_CHILD | WS_VISIBLE;
  const struct {
    const char* type;
    const char* text;
    DWORD style;
    int id;
  } controls[] = {
      {"STATIC", "Looking for replays...", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kCountTextId},
      {PROGRESS_CLASSA, "", PBS_SMOOTH, kProgressBarId},
      // A long folder keeps its start and its end, with "..." between.
      {"STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_PATHELLIPSIS, kFolderTextId},
      {"BUTTON", "Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON, kCancelId},
  };
  for (const auto& c : controls) {
    if (CreateWindowExA(0, c.type, c.text, child | c.style, 0, 0, 0, 0, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance,
                        nullptr) == nullptr) {
      DestroyWindow(window);
      // The quit message WM_DESTROY posted is not for the caller.
      MSG quit;
      PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
      return nullptr;
    }
  }
  const int window_dpi = DpiOf(window);
  UseFont(window, state, window_dpi);
  FitWindow(window, window_dpi);
  shown->window = window;
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetFocus(GetDlgItem(window, kCancelId));
  UpdateWindow(window);
  return window;
}

void RunProgressWindow(HWND window) {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    const bool ours = message.hwnd == window || IsChild(window, message.hwnd);
    if (ours && message.message == WM_KEYDOWN &&
        (message.wParam == VK_ESCAPE || message.wParam == VK_RETURN)) {
      SendMessageA(window, WM_COMMAND, MAKEWPARAM(kCancelId, BN_CLICKED), 0);
      continue;
    }
    // Tab and the arrow keys move between controls, Space presses Cancel.
    if (ours && IsDialogMessageA(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
