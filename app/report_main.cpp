// brindlecap-report.exe, the Start menu's "Brindlecap statistics": writes the
// report of every folder the tray program watches with -modern into the user's
// local application data and opens it in the default browser. It runs the same
// code as `brindlecap-cli report`, in this process, on a thread of its own, while
// a small window shows how far it has got and offers Cancel; being a GUI program,
// it opens no console window on the way.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <thread>

#include "app/report_window.h"
#include "cli/cli.h"

namespace {

const char kCaption[] = "Brindlecap statistics";

// What went wrong, in a box: the command's own words when it left any.
void Complain(const char* what, const char* log_path) {
  char text[4096];
  int used = snprintf(text, sizeof text, "%s", what);
  FILE* log = log_path != nullptr ? fopen(log_path, "rb") : nullptr;
  if (log != nullptr && used > 0 && static_cast<size_t>(used) + 2 < sizeof text) {
    text[used++] = '\n';
    text[used++] = '\n';
    const size_t read = fread(text + used, 1, sizeof text - used - 1, log);
    text[used + read] = '\0';
    fclose(log);
  }
  MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The manifest makes UTF-8 the code page, so the A calls take any user name.
  char local[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                              local))) {
    Complain("The local application data folder could not be found.", nullptr);
    return 2;
  }
  char folder[MAX_PATH + 16];
  char report[MAX_PATH + 32];
  char log_path[MAX_PATH + 32];
  snprintf(folder, sizeof folder, "%s\\Brindlecap", local);
  snprintf(report, sizeof report, "%s\\report.html", folder);
  snprintf(log_path, sizeof log_path, "%s\\report.log", folder);
  CreateDirectoryA(folder, nullptr);  // there already after the first run

  // What the command says on the way goes to the log, where a failure's box
  // reads it; the path it prints is known already.
  FILE* out = fopen("NUL", "w");
  FILE* err = fopen(log_path, "w");
  if (out == nullptr || err == nullptr) {
    if (out != nullptr) fclose(out);
    if (err != nullptr) fclose(err);
    char what[MAX_PATH + 64];
    snprintf(what, sizeof what, "The report could not be written in\n%s", folder);
    Complain(what, nullptr);
    return 1;
  }
  char program[] = "brindlecap-report";
  char command[] = "report";
  char modern[] = "-modern";
  char output[] = "-o";
  char* argv[] = {program, command, modern, output, report, nullptr};
  // The reading on a thread of its own, the window on this one; without a window
  // (the system would not make one), the reading alone, as before.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  ReadingShown shown;
  int code = 1;
  HWND window = CreateProgressWindow(instance, &shown);
  if (window == nullptr) {
    code = RunCli(5, argv, out, err);
  } else {
    const CliProgress progress = {&shown, ShowWalking, ShowReading, &shown.stop};
    std::thread reading([&] {
      code = RunCli(5, argv, out, err, &progress);
      PostMessageA(window, kReadingDoneMessage, 0, 0);
    });
    RunProgressWindow(window);
    reading.join();
  }
  fclose(out);
  fclose(err);
  if (shown.stop) {
    // Cancelled: no page was written (one cancelled as it was being written is
    // left unopened), an earlier page stays as it was, nothing is opened.
    return kCliStopped;
  }
  if (code != 0 && GetFileAttributesA(report) == INVALID_FILE_ATTRIBUTES) {
    Complain("The report could not be made.", log_path);
    return code;
  }
  // The tests check the page and leave the browser alone.
  const char* no_open = getenv("BRINDLECAP_REPORT_NO_OPEN");
  if (no_open != nullptr && no_open[0] != '\0') return code;
  const INT_PTR opened = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", report, nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) {
    char what[MAX_PATH + 128];
    snprintf(what, sizeof what, "The report was written, but no browser opened it:\n%s",
             report);
    Complain(what, nullptr);
    return 1;
  }
  return code;
}
