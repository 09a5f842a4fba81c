// brindlecap-cli: the watcher's decoding and naming from a terminal.
#ifndef BRINDLECAP_CLI_CLI_H_
#define BRINDLECAP_CLI_CLI_H_

#include <stdio.h>

#include <atomic>

// What a program around the commands learns while stats or report finds and reads
// the replays, and how it ends them early (the Start menu's statistics window
// shows the one and offers the other). Every call comes on the thread that runs
// the command; either function may be NULL.
struct CliProgress {
  void* context;
  // Before each folder is walked: how many files were found so far, and the folder.
  void (*walking)(void* context, int found, const char* folder);
  // Once the walk is over (read 0, file NULL), then after each file is read and
  // counted: how many are read, of how many found, and the file.
  void (*reading)(void* context, int read, int found, const char* file);
  // Set from any thread: the command ends before the next folder or file, writes
  // nothing and returns kCliStopped. NULL: never.
  const std::atomic<bool>* stop;
};

enum {
  kCliStopped = 130,  // ended by CliProgress::stop, as a shell counts an interrupted command
};

// Runs one command line (argv[0] is the program). Returns the exit code:
// 0 success, 1 when a file could not be handled, 2 for a usage error; with
// progress given, stats and report tell it how far they are, and may be stopped.
int RunCli(int argc, char** argv, FILE* out, FILE* err, const CliProgress* progress = nullptr);

#endif  // BRINDLECAP_CLI_CLI_H_
