// Faults injected at the file seam, for tests of what the watcher does when the
// system fails it. Only test programs carry this; see platform/platform_faults.h.
#ifndef BRINDLECAP_TESTS_FAULT_INJECTION_H_
#define BRINDLECAP_TESTS_FAULT_INJECTION_H_

#include <functional>
#include <string>

#include "platform/platform_faults.h"

// Makes the next `count` calls of that kind fail. With a path, only calls on that
// path count: opens and creations that name it, and reads, writes and closes of a
// file opened or created under it. Paths are compared as the watcher writes them,
// a slash and a backslash alike.
void InjectFault(PlatformCall call, int count = 1, const std::string& path = "");

// How many of each kind to fail, on any path: a shorthand for tables of cases.
struct SeamFaults {
  int open_read;
  int short_read;
  int write;
  int close;
};
void InjectFaults(const SeamFaults& faults);

// Runs action once, just before the next call of that kind on path goes to the
// system: the world changing under the watcher at a chosen moment.
void DuringCall(PlatformCall call, const std::string& path, std::function<void()> action);

// Drops every fault and action not yet used.
void ClearFaults();

#endif  // BRINDLECAP_TESTS_FAULT_INJECTION_H_
