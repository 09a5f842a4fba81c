// What every destination the watcher composes must look like, whatever the replay
// held: used by the fuzz targets on every input and by the fault tests on every copy.
#ifndef BRINDLECAP_TESTS_DESTINATION_CHECK_H_
#define BRINDLECAP_TESTS_DESTINATION_CHECK_H_

#include <stddef.h>

// Checks candidate `counter` of a name composed under folder: it must start with
// folder and one of the six subfolders, carry date_tag, end in ".w3g"
// (after "[counter]" from 1 on), hold no further separator and no "..", keep every
// character naming replaces out of the body, fit the path buffer, the system's
// path limit and a 255-character file name. A custom game's body holds only ASCII
// letters, digits and underscores, and with any_alphabet (-modern) whole UTF-8
// characters beyond ASCII that are no blanks. Under a -name template (name_template other
// than the default) the template's own text may hold what naming replaces, so its body
// must only be free of what Windows refuses in a file name (control characters and
// \ / : * ? " < > |) and not be a device name. Returns NULL when all hold, else
// what failed.
const char* DestinationProblem(const char* path, const char* folder, bool custom, int counter,
                               const char* date_tag, const char* name_template,
                               bool any_alphabet = false);

// True when Windows would take a file name body (what stands before ".w3g") for a
// device: CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 (or with the superscript
// digits one to three, COM¹ to LPT³) in any case, before the first dot, trailing
// blanks dropped.
bool IsDeviceFileName(const char* body);

// Writes "d...d\" folders joined into out (out_size bytes) so that the result is
// exactly length characters long and ends in a backslash; no component exceeds
// 200 characters. Returns 0 when it does not fit out_size.
int LongFolderName(const char* base, size_t length, char* out, size_t out_size);

#endif  // BRINDLECAP_TESTS_DESTINATION_CHECK_H_
