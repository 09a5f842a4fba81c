// brindlecap-cli watch --notify: the tray program's word after each game, for the
// game under Wine, through the desktop's notifications (notify-send, of
// libnotify). Run as a program of its own with its words as arguments, never
// through a shell, so that no name in them is read as anything but text.
#include "cli/notify.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace {

const char kNotifySend[] = "notify-send";

#ifndef _WIN32
// True when a program called name can be run from a folder of PATH.
bool OnPath(const char* name) {
  const char* path = getenv("PATH");
  if (path == nullptr) return false;
  char candidate[4096];
  for (const char* at = path;;) {
    const char* end = strchr(at, ':');
    const size_t length = end != nullptr ? static_cast<size_t>(end - at) : strlen(at);
    // An empty entry is the current folder, as the shell takes it.
    const int n = length == 0 ? snprintf(candidate, sizeof candidate, "%s", name)
                              : snprintf(candidate, sizeof candidate, "%.*s/%s",
                                         static_cast<int>(length), at, name);
    if (n > 0 && static_cast<size_t>(n) < sizeof candidate && access(candidate, X_OK) == 0) {
      return true;
    }
    if (end == nullptr) return false;
    at = end + 1;
  }
}
#endif

}  // namespace

bool StartNotifier(Notifier* notifier, FILE* err) {
#ifdef _WIN32
  (void)notifier;
  fputs("brindlecap-cli: --notify shows notifications on Linux, through notify-send; on "
        "Windows the tray program shows them\n",
        err);
  return false;
#else
  notifier->ready = OnPath(kNotifySend);
  if (!notifier->ready) {
    fputs("brindlecap-cli: notify-send is not installed (Debian and Ubuntu: libnotify-bin), "
          "so no notifications are shown\n",
          err);
  }
  notifier->err = err;
  return notifier->ready;
#endif
}

void SendNewsNotification(void* context, const News* news) {
#ifdef _WIN32
  (void)context;
  (void)news;
#else
  Notifier* notifier = static_cast<Notifier*>(context);
  if (!notifier->ready) return;
  char program[] = "notify-send";
  char app_name[] = "--app-name=Brindlecap";
  char urgency[] = "--urgency=normal";
  char title[kNewsTitleSize];
  char text[kNewsTextSize];
  snprintf(title, sizeof title, "%s", news->title);
  snprintf(text, sizeof text, "%s", news->text);
  char* argv[] = {program, app_name, urgency, title, text, nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, kNotifySend, nullptr, nullptr, argv, environ) != 0) {
    // Gone since the start: said once, then left alone.
    fputs("brindlecap-cli: notify-send could not be started; no more notifications\n",
          notifier->err);
    notifier->ready = false;
    return;
  }
  // It hands the words to the desktop and ends at once.
  int status = 0;
  waitpid(child, &status, 0);
#endif
}
