// What every destination the watcher composes must look like, whatever the replay
// held: used by the fuzz targets on every input and by the fault tests on every copy.
#ifndef BRINDLECAP_TESTS_DESTINATION_CHECK_H_
#define BRINDLECAP_TESTS_DESTINATION_CHECK_H_

#include <stddef.h>

// Checks candidate `counter` of a name composed under folder: it must start with
// folder and one of the six subfolders, carry the current DateTag, end in ".w3g"
// (after "[counter]" from 1 on), hold no further separator and no "..", keep every
// character naming replaces out of the body, fit the path buffer, the system's
// path limit and a 255-character file name. A custom game's body holds only ASCII
// letters, digits and underscores. Returns NULL when all hold, else what failed.
const char* DestinationProblem(const char* path, const char* folder, bool custom, int counter);

// Writes "d...d\" folders joined into out (out_size bytes) so that the result is
// exactly length characters long and ends in a backslash; no component exceeds
// 200 characters. Returns 0 when it does not fit out_size.
int LongFolderName(const char* base, size_t length, char* out, size_t out_size);

#endif  // BRINDLECAP_TESTS_DESTINATION_CHECK_H_
