#include "cli/cli.h"

#ifdef _WIN32
// cmd.exe and PowerShell hand "*.w3g" over as it is; have the C runtime expand it,
// as a Unix shell would, so that `sort FOLDER old\*.w3g` works there too.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) { return RunCli(argc, argv, stdout, stderr); }
