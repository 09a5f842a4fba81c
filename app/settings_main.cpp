// brindlecap-settings.exe, the Start menu's "Brindlecap settings": the settings
// window over the user's settings key. A second start brings the open window
// forward rather than opening another.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "app/settings_window.h"
#include "app/stored_settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HWND open = FindWindowA("#32770", "Brindlecap settings");
  if (open != NULL) {
    SetForegroundWindow(open);
    return 0;
  }
  // The manifest asks for common controls 6; this loads them.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  char program_folder[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, program_folder, sizeof program_folder);
  if (length == 0 || length >= sizeof program_folder) return 1;
  char* last = strrchr(program_folder, '\\');
  if (last != NULL) *last = '\0';

  RegistrySettings registry;
  OpenRegistrySettings(&registry, HKEY_CURRENT_USER, kSettingsKey);
  // Large (two copies of the settings): not on the stack.
  static SettingsWindow window;
  InitSettingsWindow(&window, instance, RegistrySeam(&registry), program_folder);
  const INT_PTR result = RunSettingsWindow(&window, NULL);
  ReleaseSettingsWindow(&window);
  CloseRegistrySettings(&registry);
  return result == IDOK ? 0 : result == IDCANCEL ? 0 : 1;
}
