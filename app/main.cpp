// Entry of the resident program: start-up in a fixed order, then the message loop
// until a quit message ends it.
#include <stdio.h>
#include <windows.h>

#include "app/shell.h"
#include "watcher/replay_folder.h"
#include "watcher/watcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show_state) {
  AppInstance = instance;
  // Held until the process ends, which releases it for the next start.
  HANDLE claim = NULL;
  if (!ClaimInstance(kInstanceName, &claim)) {
    MessageBoxA(NULL, kAlreadyRunningText, kPromptCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  // Creating the window adds the tray icon.
  CreateMainWindow(show_state);
  // The first tick can only arrive once the loop below runs, so the priming pass
  // further down always comes first.
  SetTimer(MainWindow, kTickTimerId, kTickMilliseconds, NULL);
  ReadSwitches(command_line);
  // Better no watcher than one that files where, or as, the player did not ask.
  if (SwitchProblem[0] != '\0') {
    char text[512];
    snprintf(text, sizeof text, "Brindlecap cannot start: %s.", SwitchProblem);
    MessageBoxA(NULL, text, kPromptCaption, MB_OK | MB_ICONERROR);
    RemoveTrayIcon(MainWindow, kTrayIconId);
    return 2;
  }
  DiscoverReplayFolder(HKEY_CURRENT_USER, kGameRegistryKey, ReplayFolder, sizeof ReplayFolder);
  ChooseWatchedFolders();
  // Whatever replay is there now was there before we started: record it, don't copy it.
  WatchTick(true);

  MSG message;
  message.wParam = 0;
  while (GetMessageA(&message, NULL, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
