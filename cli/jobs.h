// Many files read on worker threads, each read taken on the calling thread in the
// order of the files: what lets stats, report and info use every core and still
// print, count and merge exactly as one thread would. The walk that finds the
// files is the caller's; this is only the reading's order and its threads.
#ifndef BRINDLECAP_CLI_JOBS_H_
#define BRINDLECAP_CLI_JOBS_H_

enum {
  kMaxJobs = 64,
  // Results a worker may finish ahead of the one the caller waits for: they are
  // what memory holds beyond the workers' own buffers, whatever the number of
  // files. Enough that a long file read on one worker seldom holds up the others
  // (with 4, two workers over the real replays waited a sixth of the time).
  kSlotsPerJob = 16,
};

// The number of cores this machine has, from 1 to kMaxJobs: --jobs's default.
int DefaultJobs();

// N of "--jobs N": a whole number from 1 to kMaxJobs, digits only. 0 when the text
// is anything else.
int ParseJobs(const char* text);

// What --jobs's usage error says.
extern const char kJobsProblem[];

// How many result slots the reading of count files on jobs workers uses: the caller
// keeps one result per slot, indexed 0 to SlotsFor - 1.
int SlotsFor(int jobs, int count);

// The reading of items 0 to count - 1.
struct OrderedWork {
  int count;
  int jobs;  // workers; 1 reads on the calling thread, with no thread started
  void* context;
  // Reads item into slot, on a worker's thread: worker (0 to jobs - 1) names the
  // worker's own scratch, which no other thread touches meanwhile. Never called
  // for a slot whose earlier item has not been taken yet.
  void (*read)(void* context, int worker, int item, int slot);
  // Takes what read left in slot, on the calling thread, in item order. Returns
  // false to end the reading: nothing after item is read further or taken.
  bool (*take)(void* context, int item, int slot);
};

// Reads and takes every item in order, on work.jobs threads (fewer when there are
// fewer items), and returns once every worker has ended. Returns how many items
// were taken: count, unless take ended it earlier.
int RunOrdered(const OrderedWork& work);

#endif  // BRINDLECAP_CLI_JOBS_H_
