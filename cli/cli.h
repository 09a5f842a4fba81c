// brindlecap-cli: the watcher's decoding and naming from a terminal.
#ifndef BRINDLECAP_CLI_CLI_H_
#define BRINDLECAP_CLI_CLI_H_

#include <stdio.h>

// Runs one command line (argv[0] is the program). Returns the exit code:
// 0 success, 1 when a file could not be handled, 2 for a usage error.
int RunCli(int argc, char** argv, FILE* out, FILE* err);

#endif  // BRINDLECAP_CLI_CLI_H_
