#include "cli/cli.h"

#ifdef _WIN32
#include <windows.h>

// cmd.exe and PowerShell hand "*.w3g" over as it is; have the C runtime expand it,
// as a Unix shell would, so that `sort FOLDER old\*.w3g` works there too.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // Names are UTF-8 (the manifest makes that the process code page); have a
  // console show them as such rather than in its own OEM code page.
  SetConsoleOutputCP(CP_UTF8);
#endif
  return RunCli(argc, argv, stdout, stderr);
}
