// brindlecap-cli report: the player's record as one HTML page to open in a browser.
#include <stdio.h>
#include <string.h>

#include "cli/commands.h"
#include "record/record.h"
#include "record/report.h"

const char kReportUsage[] =
    "usage: brindlecap-cli report [-modern] [--player NAME] [--verbose] [-o FILE]\n"
    "         [--jobs N] [FOLDER|FILE...]\n"
    "       brindlecap-cli report -modern [--player NAME] [-o FILE] [--prefix DIR]\n"
    "  The record that 'stats' prints, of the same replays, as one web page: the\n"
    "  record over time, win rates by matchup, map and opponent, APM by month and\n"
    "  every game with a link to its file. The page needs no network and no\n"
    "  script; open it in any browser. It is written to FILE (default\n"
    "  brindlecap-report.html in the current folder, replaced when there), and\n"
    "  FILE is printed. What stats would print on the way goes to standard error.\n"
    "  --jobs N reads N files at a time, as stats does (default: the number of\n"
    "  cores); the page is the same for any N.\n";

namespace {

const char kDefaultReport[] = "brindlecap-report.html";

// Takes "SWITCH VALUE" out of argv (after the command), as TakePrefixSwitch
// does, for each spelling in names; the last one given counts. Returns 0 after
// saying why on err when the value is missing.
int TakeValueSwitch(int* argc, char** argv, const char (*names)[10], int name_count,
                    const char** value, FILE* err) {
  for (int i = 2; i < *argc; ++i) {
    if (strcmp(argv[i], "--") == 0) break;
    bool match = false;
    for (int n = 0; n < name_count; ++n) match = match || strcmp(argv[i], names[n]) == 0;
    if (!match) continue;
    if (i + 1 >= *argc) {
      fprintf(err, "brindlecap-cli: %s needs a value after it\n", argv[i]);
      return 0;
    }
    *value = argv[i + 1];
    for (int j = i; j + 2 < *argc; ++j) argv[j] = argv[j + 2];
    *argc -= 2;
    --i;
  }
  return 1;
}

// Writes the page whole, replacing an earlier report. Returns 0 after saying
// why on err.
int WriteReport(const char* path, const HtmlText* page, FILE* err) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) {
    fprintf(err, "brindlecap-cli: cannot write %s\n", path);
    return 0;
  }
  const bool written = fwrite(page->text, 1, page->length, file) == page->length;
  if (fclose(file) != 0 || !written) {
    fprintf(err, "brindlecap-cli: cannot write %s whole\n", path);
    return 0;
  }
  return 1;
}

}  // namespace

int CommandReport(int argc, char** argv, FILE* out, FILE* err, const CliProgress* progress) {
  const char* report_path = kDefaultReport;
  static const char kOutput[][10] = {"-o", "--output"};
  if (!TakeValueSwitch(&argc, argv, kOutput, 2, &report_path, err)) {
    return UsageError(err, kReportUsage, nullptr);
  }
  if (report_path[0] == '\0') return UsageError(err, kReportUsage, "-o needs a FILE name");
  // What is left (-modern, --player, --prefix, --verbose and the operands) is read
  // as stats reads it. Its report of the run goes to standard error: standard
  // output names the page.
  PlayerRecord* record = nullptr;
  RecordView view;
  const int collected =
      CollectRecord(argc, argv, kReportUsage, &record, &view, out, err, progress);
  if (collected == kHelpShown) return 0;
  if (collected == kReadingStopped) return kCliStopped;
  if (record == nullptr) return collected;
  // A record of no game yet is a page too: it says so, and the player who opens
  // it from the Start menu sees that rather than an error.
  HtmlText page = {};
  int code = 0;
  if (!RenderRecordHtml(&view, &page)) {
    fputs("brindlecap-cli: out of memory\n", err);
    code = 1;
  } else if (progress != nullptr && progress->stop != nullptr && progress->stop->load()) {
    // Stopped once every file was read: still no page, as promised.
    code = kCliStopped;
  } else if (!WriteReport(report_path, &page, err)) {
    code = 1;
  } else {
    fprintf(out, "%s\n", report_path);
  }
  FreeHtmlText(&page);
  FreePlayerRecord(record);
  return code;
}
