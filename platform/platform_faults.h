// How test programs make the file seam fail the way the system can. The seam asks
// these two functions around every call that can fail; the programs players run
// link the versions in platform_no_faults.cpp, which never fail anything, and the
// test programs link their own (tests/fault_injection.cpp) in their place.
#ifndef BRINDLECAP_PLATFORM_PLATFORM_FAULTS_H_
#define BRINDLECAP_PLATFORM_PLATFORM_FAULTS_H_

#include "platform/platform.h"

enum PlatformCall {
  kPlatformCallOpenRead,   // refused: a file the game holds with no sharing
  kPlatformCallCreateNew,  // refused: no permission to create it
  kPlatformCallRead,       // delivers half of what was asked: the file shrank
  kPlatformCallWrite,      // stores half and reports it: a full disk
  kPlatformCallClose,      // reports a failed close (a delayed write failure)
  kPlatformCallList,       // refused: a folder that may not be listed
};

// Told which path a file just opened or created names, so that later calls on the
// file can be matched to it.
void PlatformFaultOpened(PlatformFile* file, const char* path);

// Asked before a call that can fail, with the path it names (for open and create)
// or the file it works on (NULL for open, create and list; list names its folder). Nonzero: fail this call.
int PlatformFaultInjected(PlatformCall call, const char* path, PlatformFile* file);

#endif  // BRINDLECAP_PLATFORM_PLATFORM_FAULTS_H_
