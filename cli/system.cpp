// The command-line tool's own system calls: whether a stream is a terminal, and
// stopping the watch loop cleanly on Ctrl-C or SIGTERM.
#include <string.h>

#include "cli/commands.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <pthread.h>
#include <sys/select.h>
#include <unistd.h>
#endif

std::atomic<int> CliStopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from signal handlers");

#ifdef _WIN32

namespace {

HANDLE WakeEvent = nullptr;      // set by the control handler to cut a wait short
HANDLE StoppedEvent = nullptr;   // set once the loop has ended

BOOL WINAPI OnConsoleEvent(DWORD type) {
  CliStopRequested = 1;
  if (WakeEvent != nullptr) SetEvent(WakeEvent);
  // After a close, log-off or shut-down event the system ends the process as soon
  // as this returns; wait (a little) for the pass in progress, so no copy is left
  // half written.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    if (StoppedEvent != nullptr) WaitForSingleObject(StoppedEvent, 4000);
  }
  return TRUE;
}

}  // namespace

int IsTerminal(FILE* stream) {
  // _isatty also says yes for NUL; only a real console takes a console mode.
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void InstallStopHandlers() {
  if (WakeEvent == nullptr) WakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (StoppedEvent == nullptr) StoppedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (StoppedEvent != nullptr) ResetEvent(StoppedEvent);
  // A process started in a new process group has Ctrl-C turned off; turn it on.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RemoveStopHandlers() {
  if (StoppedEvent != nullptr) SetEvent(StoppedEvent);
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  CliStopRequested = 0;
}

int WaitForStop(long milliseconds) {
  if (CliStopRequested) return 1;
  if (WakeEvent != nullptr) {
    WaitForSingleObject(WakeEvent, static_cast<DWORD>(milliseconds));
  } else {
    Sleep(static_cast<DWORD>(milliseconds));
  }
  return CliStopRequested != 0;
}

#else  // POSIX

namespace {

struct sigaction PreviousInt;
struct sigaction PreviousTerm;
sigset_t PreviousMask;

extern "C" void OnStopSignal(int) { CliStopRequested = 1; }

}  // namespace

int IsTerminal(FILE* stream) { return isatty(fileno(stream)); }

void InstallStopHandlers() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &PreviousInt);
  sigaction(SIGTERM, &action, &PreviousTerm);
  // The two signals are held back outside the wait and let in only while
  // pselect sleeps, so one that arrives just before the wait still ends it at once.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, &PreviousMask);
}

void RemoveStopHandlers() {
  // Unblock first: a second Ctrl-C still pending then meets our handler, not the
  // default action, and the exit code stays 0.
  pthread_sigmask(SIG_SETMASK, &PreviousMask, nullptr);
  sigaction(SIGINT, &PreviousInt, nullptr);
  sigaction(SIGTERM, &PreviousTerm, nullptr);
  CliStopRequested = 0;
}

int WaitForStop(long milliseconds) {
  if (CliStopRequested) return 1;
  sigset_t open = PreviousMask;
  sigdelset(&open, SIGINT);
  sigdelset(&open, SIGTERM);
  struct timespec wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = (milliseconds % 1000) * 1000000L;
  pselect(0, nullptr, nullptr, nullptr, &wait, &open);
  return CliStopRequested != 0;
}

#endif
