// Runs brindlecap-cli command lines in the test process, as a terminal would, and
// collects what they print.
#ifndef BRINDLECAP_TESTS_CLI_RUN_H_
#define BRINDLECAP_TESTS_CLI_RUN_H_

#include <stdio.h>

#include <string>
#include <vector>

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

// Everything written to a temporary file, which it then closes.
std::string Drain(FILE* file);

// Runs "brindlecap-cli ARGS..." through RunCli with the watcher reset first.
CliRun RunWith(std::vector<std::string> args);

#endif  // BRINDLECAP_TESTS_CLI_RUN_H_
