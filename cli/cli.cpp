#include "cli/cli.h"

#include <stdlib.h>
#include <string.h>

#include "watcher/decode.h"
#include "watcher/filing.h"
#include "watcher/watcher.h"

namespace {

const char kUsage[] =
    "usage: brindlecap-cli name [-custom] [-nodate] FILE...\n"
    "\n"
    "  name   print, for each replay FILE, where the watcher would file it below an\n"
    "         empty replay folder, or '-' and the reason it would not\n"
    "\n"
    "  -custom  also file games that are not ladder games\n"
    "  -nodate  leave the [BCmmdd] date tag out of names\n";

int Usage(FILE* err, const char* problem) {
  if (problem != nullptr) fprintf(err, "brindlecap-cli: %s\n", problem);
  fputs(kUsage, err);
  return 2;
}

// Reads the switches that lead a command's arguments; returns the index of the
// first other argument, or -1 after reporting an unknown switch.
int ParseSwitches(int argc, char** argv, int first, FILE* err) {
  int i = first;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
    if (strcmp(argv[i], "--") == 0) return i + 1;
    if (strcmp(argv[i], "-custom") == 0) {
      SaveCustomGames = true;
    } else if (strcmp(argv[i], "-nodate") == 0) {
      DateTagEnabled = false;
    } else {
      fprintf(err, "brindlecap-cli: unknown switch '%s'\n", argv[i]);
      return -1;
    }
  }
  return i;
}

// Prints where one replay would go. Returns 0, or 1 when the file cannot be read.
int NameOne(const char* path, FILE* out, FILE* err) {
  unsigned char* bytes = nullptr;
  size_t length = 0;
  switch (ReadReplayFile(path, &bytes, &length)) {
    case kReadFailed:
      fprintf(err, "brindlecap-cli: cannot read '%s'\n", path);
      return 1;
    case kReadTooShort:
      fprintf(out, "%s\t- shorter than %d bytes\n", path, kReplayMinimumLength);
      return 0;
    case kReadWhole:
      break;
  }
  DecodeResult result;
  Decode(bytes, length, &result);
  free(bytes);
  if (!result.ladder && !SaveCustomGames) {
    fprintf(out, "%s\t- not a ladder game\n", path);
    return 0;
  }
  char body[kPathSize];
  char name[kPathSize];
  const char* subfolder = PrepareName(&result, "", body, sizeof body);
  if (subfolder == nullptr || !ComposeCandidate(name, sizeof name, "", subfolder, body, 0)) {
    fprintf(out, "%s\t- no name fits\n", path);
    return 0;
  }
  fprintf(out, "%s\t%s\n", path, name);
  return 0;
}

int CommandName(int argc, char** argv, FILE* out, FILE* err) {
  int first = ParseSwitches(argc, argv, 2, err);
  if (first < 0) return Usage(err, nullptr);
  if (first >= argc) return Usage(err, "name needs at least one FILE");
  int status = 0;
  for (int i = first; i < argc; ++i) status |= NameOne(argv[i], out, err);
  return status;
}

}  // namespace

int RunCli(int argc, char** argv, FILE* out, FILE* err) {
  if (argc < 2) return Usage(err, "no command given");
  const char* command = argv[1];
  if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
      strcmp(command, "help") == 0) {
    fputs(kUsage, out);
    return 0;
  }
  if (strcmp(command, "name") == 0) return CommandName(argc, argv, out, err);
  fprintf(err, "brindlecap-cli: unknown command '%s'\n", command);
  return Usage(err, nullptr);
}
