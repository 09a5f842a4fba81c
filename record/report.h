// The record as one HTML page a player opens in any browser, offline: inline CSS
// and SVG, no script, nothing loaded from elsewhere. Every figure also stands in
// the page as data- attributes (data-figure on its table, data-key, data-games,
// data-win, data-loss, data-draw, data-unknown on its rows), so that tools and
// tests read the same numbers the pictures show. Pure: text in memory only.
#ifndef BRINDLECAP_RECORD_REPORT_H_
#define BRINDLECAP_RECORD_REPORT_H_

#include <stddef.h>

#include "record/record.h"

// Text that grows as it is written. A write that finds no memory sets
// out_of_memory and drops the rest, so a caller checks once at the end.
struct HtmlText {
  char* text;  // NUL-terminated, NULL until something is written
  size_t length;
  size_t capacity;
  bool out_of_memory;
};

// Releases the text and leaves an empty one.
void FreeHtmlText(HtmlText* html);

// Appends text as it is.
void AppendRaw(HtmlText* html, const char* text);

// Appends text as HTML shows it, fit for an element or a quoted attribute:
// & < > " ' as references, control characters left out, and every byte that is
// no part of a well-formed UTF-8 character as U+FFFD.
void AppendEscaped(HtmlText* html, const char* text);

// Appends a file: URL of path (a Windows path with a drive letter or a POSIX
// one), each byte outside letters, digits and -._~/: percent-encoded, so that it
// is safe inside a quoted attribute as it stands.
void AppendFileUrl(HtmlText* html, const char* path);

// Renders view as a whole page, appended to html. Returns false when memory ran
// out (html then holds a cut page; free it).
bool RenderRecordHtml(const RecordView* view, HtmlText* html);

#endif  // BRINDLECAP_RECORD_REPORT_H_
