// Holds a file open with no sharing, as the game holds its replay while writing it,
// until standard input closes:   hold_open PATH
// Prints "held" once the file is held, or "failed N" with the system error.
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: hold_open PATH\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("failed %lu\n", GetLastError());
    fflush(stdout);
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  char c;
  while (fread(&c, 1, 1, stdin) == 1) {
  }
  CloseHandle(file);
  return 0;
}
