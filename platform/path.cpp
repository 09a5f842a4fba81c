#include "platform/path.h"

#include <stdio.h>
#include <string.h>

int JoinPath(char* out, size_t size, const char* first, const char* second, char separator) {
  const size_t length = strlen(first);
  const bool separated = length == 0 || IsPathSeparator(first[length - 1]);
  const char joint[2] = {separated ? '\0' : separator, '\0'};
  const int n = snprintf(out, size, "%s%s%s", first, joint, second);
  return n >= 0 && static_cast<size_t>(n) < size;
}

namespace {

unsigned char FoldForPath(char c) {
  if (IsPathSeparator(c)) return '\\';
#ifdef _WIN32
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
#endif
  return static_cast<unsigned char>(c);
}

}  // namespace

bool SamePathSpelling(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldForPath(*a) != FoldForPath(*b)) return false;
  }
  return *a == *b;
}

const char* BelowFolder(const char* path, const char* folder) {
  const size_t length = strlen(folder);
  return strncmp(path, folder, length) == 0 ? path + length : path;
}
