// The settings window's preview: the name a replay would be filed under with the
// settings as the window shows them, or why it would not be (a template that is
// refused, a custom game not kept). Pure, but for the decode's scratch it takes.
#ifndef BRINDLECAP_APP_SETTINGS_PREVIEW_H_
#define BRINDLECAP_APP_SETTINGS_PREVIEW_H_

#include <stddef.h>

#include "naming/name.h"

enum PreviewKind {
  kPreviewName,        // text: the path below the replay folder, "1v1\...w3g"
  kPreviewRefused,     // text: the template's problem, the words the CLI gives
  kPreviewNotKept,     // text: why the replay would not be kept
};

struct Preview {
  PreviewKind kind;
  char text[kPathSize + 256];
};

// What the window's boxes and template say.
struct PreviewChoices {
  bool custom;
  bool date_tag;
  bool modern;
  const char* name_template;
};

// The name replay[0, length) gets below a replay folder of a usual length, on
// date, with the choices.
void PreviewName(const unsigned char* replay, size_t length, const PreviewChoices* choices,
                 const NameDate* date, Preview* preview);

#endif  // BRINDLECAP_APP_SETTINGS_PREVIEW_H_
