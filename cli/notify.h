// The desktop's notifications for brindlecap-cli watch --notify.
#ifndef BRINDLECAP_CLI_NOTIFY_H_
#define BRINDLECAP_CLI_NOTIFY_H_

#include <stdio.h>

#include "watcher/news.h"

struct Notifier {
  bool ready;  // notify-send can be run
  FILE* err;   // where a failure is said
};

// Looks for notify-send on PATH; says once on err when it is not there (and on
// Windows, where the tray program notifies, that it is for Linux). Returns
// whether notifications can be sent.
bool StartNotifier(Notifier* notifier, FILE* err);

// A NewsTeller: shows news through notify-send, title and text as its two words.
void SendNewsNotification(void* context, const News* news);

#endif  // BRINDLECAP_CLI_NOTIFY_H_
