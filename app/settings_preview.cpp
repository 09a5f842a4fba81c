#include "app/settings_preview.h"

#include <stdio.h>
#include <stdlib.h>

#include "naming/name_template.h"
#include "platform/platform.h"
#include "replay/decode.h"
#include "replay/game.h"
#include "watcher/watcher.h"

namespace {

// A replay folder of the length most players have, so that the preview is cut
// where their names would be.
const char kUsualFolder[] = "C:\\Users\\Player\\Documents\\Warcraft III\\Replay\\";

}  // namespace

void PreviewName(const unsigned char* replay, size_t length, const PreviewChoices* choices,
                 const NameDate* date, Preview* preview) {
  char problem[256];
  if (NameTemplateProblem(choices->name_template, problem, sizeof problem)) {
    preview->kind = kPreviewRefused;
    snprintf(preview->text, sizeof preview->text, "%s", problem);
    return;
  }
  WatchSettings settings;
  settings.save_custom = choices->custom;
  settings.reading = choices->modern ? kLengthReading : kFixedReading;
  settings.naming.date_tag = choices->date_tag;
  snprintf(settings.naming.name_template, sizeof settings.naming.name_template, "%s",
           choices->name_template);
  DecodeScratch* scratch = static_cast<DecodeScratch*>(malloc(sizeof(DecodeScratch)));
  if (scratch == nullptr) {
    preview->kind = kPreviewNotKept;
    snprintf(preview->text, sizeof preview->text, "(not enough memory for a preview)");
    return;
  }
  DecodeResult result;
  const bool kept = DecodeForFiling(replay, length, &settings, scratch, &result);
  free(scratch);
  if (!kept) {
    preview->kind = kPreviewNotKept;
    snprintf(preview->text, sizeof preview->text,
             "not kept: a custom game (Keep custom games keeps it)");
    return;
  }
  ReplayGame* game = ReadGameForNames(&settings.naming, replay, length);
  ReplayName name;
  const bool fits = PrepareName(&result, &settings.naming, date, kUsualFolder,
                                kPlatformPathLimit, &name, game);
  free(game);
  if (!fits) {
    preview->kind = kPreviewNotKept;
    snprintf(preview->text, sizeof preview->text, "not kept: no name fits");
    return;
  }
  preview->kind = kPreviewName;
  snprintf(preview->text, sizeof preview->text, "%s%s%s.w3g", name.subfolder, name.date_tag,
           name.body);
}
