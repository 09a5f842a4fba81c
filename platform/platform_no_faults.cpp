// The programs players run: the seam never fails on purpose. Test programs define
// both functions themselves, and the linker then never takes this file.
#include "platform/platform_faults.h"

void PlatformFaultOpened(PlatformFile*, const char*) {}

int PlatformFaultInjected(PlatformCall, const char*, PlatformFile*) { return 0; }
