#include "tests/cli_run.h"

#include "cli/cli.h"
#include "tests/test_support.h"

std::string Drain(FILE* file) {
  std::string text;
  rewind(file);
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

CliRun RunWith(std::vector<std::string> args) {
  ResetWatcher("");
  args.insert(args.begin(), "brindlecap-cli");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return CliRun{code, Drain(out), Drain(err)};
}
