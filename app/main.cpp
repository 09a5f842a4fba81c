// Entry of the resident program: start-up in a fixed order, then the message loop
// until a quit message ends it.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "app/shell.h"
#include "gamefolders/game_folders.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show_state) {
  // Everything the program keeps, for as long as it runs; the window carries it.
  AppState* app = static_cast<AppState*>(malloc(sizeof(AppState)));
  if (app == NULL) return 1;
  InitAppState(app);
  app->instance = instance;
  // Held until the process ends, which releases it for the next start.
  HANDLE claim = NULL;
  if (!ClaimInstance(kInstanceName, &claim)) {
    MessageBoxA(NULL, kAlreadyRunningText, kPromptCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  // Creating the window adds the tray icon.
  CreateMainWindow(app, show_state);
  // The first tick can only arrive once the loop below runs, so the priming pass
  // further down always comes first.
  SetTimer(app->window, kTickTimerId, kTickMilliseconds, NULL);
  ReadSwitches(command_line, app);
  // Better no watcher than one that files where, or as, the player did not ask.
  if (app->switch_problem[0] != '\0') {
    char text[512];
    snprintf(text, sizeof text, "Brindlecap cannot start: %s.", app->switch_problem);
    MessageBoxA(NULL, text, kPromptCaption, MB_OK | MB_ICONERROR);
    RemoveTrayIcon(app->window, kTrayIconId);
    return 2;
  }
  // The settings the player chose in the settings window, below the switches; the
  // key is only read, and watched for changes from here on.
  RegistrySettings registry;
  OpenRegistrySettings(&registry, HKEY_CURRENT_USER, kSettingsKey);
  app->store = RegistrySeam(&registry);
  app->store.changed(app->store.context);
  ReadStoredSettings(&app->store, &app->stored);
  ApplyStoredSettings(app, &app->stored);
  ChooseWatchedFolders(app, HKEY_CURRENT_USER, kGameRegistryKey);
  // Whatever replay is there now was there before we started: record it, don't copy it.
  WatchTick(app, true);

  MSG message;
  message.wParam = 0;
  while (GetMessageA(&message, NULL, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
