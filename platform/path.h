// Joining and splitting the paths the program builds: pure text, no seam call.
#ifndef BRINDLECAP_PLATFORM_PATH_H_
#define BRINDLECAP_PLATFORM_PATH_H_

#include <stddef.h>

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// out = first, separator unless first is empty or ends in a separator already,
// then second. Returns 0 when it does not fit in size bytes.
int JoinPath(char* out, size_t size, const char* first, const char* second,
             char separator = '\\');

// Whether two paths are spelt as one by this system: '\\' and '/' alike and, on
// Windows, whose names ignore ASCII case, "A.w3g" and "a.w3g" alike.
bool SamePathSpelling(const char* a, const char* b);

// The part of path below folder (path itself when it does not start there).
const char* BelowFolder(const char* path, const char* folder);

#endif  // BRINDLECAP_PLATFORM_PATH_H_
