#include "record/report.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "replay/text.h"

namespace {

// The page's look: light and dark from the system's theme, one column on a
// phone, the figures side by side on a wide window; nothing wider than the
// window (long names wrap anywhere). Outcome colours: won, lost, draw, unknown.
const char kStyle[] =
    ":root{--bg:#f4f6f8;--card:#fff;--ink:#1c232b;--mute:#5b6673;--line:#dce1e7;"
    "--win:#2f9e5c;--loss:#d64848;--draw:#dca22a;--unk:#a3abb5;--link:#2f62c8}\n"
    "@media (prefers-color-scheme:dark){:root{--bg:#10141a;--card:#19202a;--ink:#e5e9ee;"
    "--mute:#9aa5b2;--line:#2b3440;--win:#3fbf73;--loss:#ee6262;--draw:#e7b53c;"
    "--unk:#67717d;--link:#86a8ff}}\n"
    "*{box-sizing:border-box}\n"
    "html{-webkit-text-size-adjust:100%;text-size-adjust:100%}\n"
    "body{margin:0;background:var(--bg);color:var(--ink);"
    "font:15px/1.45 system-ui,-apple-system,\"Segoe UI\",Roboto,sans-serif}\n"
    "main{max-width:1200px;margin:0 auto;padding:16px}\n"
    "header{margin:4px 2px 16px}\n"
    "h1{font-size:1.6rem;margin:0 0 4px}\n"
    "h2{font-size:1.05rem;margin:0 0 10px}\n"
    "h3{font-size:.9rem;margin:12px 0 4px;color:var(--mute);font-weight:600}\n"
    "p{margin:4px 0}\n"
    ".mute,.none{color:var(--mute)}\n"
    ".grid{display:grid;grid-template-columns:repeat(auto-fit,minmax(min(100%,500px),1fr));"
    "gap:16px;margin-bottom:16px}\n"
    "section{background:var(--card);border:1px solid var(--line);border-radius:10px;"
    "padding:14px 16px;min-width:0}\n"
    "main>section{margin-bottom:16px}\n"
    ".cards{display:flex;flex-wrap:wrap;gap:10px;margin-bottom:12px}\n"
    ".card{flex:1 1 88px;border:1px solid var(--line);border-radius:8px;padding:8px 10px}\n"
    ".card b{display:block;font-size:1.5rem;font-variant-numeric:tabular-nums}\n"
    ".card span{color:var(--mute);font-size:.85rem}\n"
    ".card.w b{color:var(--win)}.card.l b{color:var(--loss)}.card.d b{color:var(--draw)}"
    ".card.u b{color:var(--unk)}\n"
    "table{width:100%;border-collapse:collapse;font-size:.92rem}\n"
    "th,td{padding:5px 6px;text-align:left;border-bottom:1px solid var(--line);"
    "vertical-align:middle;overflow-wrap:anywhere}\n"
    "thead th{color:var(--mute);font-weight:600;font-size:.8rem}\n"
    "tbody th{font-weight:500;min-width:7em}\n"
    ".num{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap;"
    "overflow-wrap:normal}\n"
    "td.bars{width:35%;min-width:60px}\n"
    ".bar{display:flex;height:14px;border-radius:4px;overflow:hidden;background:var(--line)}\n"
    ".bar span{display:block;height:100%}\n"
    ".bar .w,.key .w{background:var(--win)}.bar .l,.key .l{background:var(--loss)}"
    ".bar .d,.key .d{background:var(--draw)}.bar .u,.key .u{background:var(--unk)}\n"
    ".big{height:22px;margin:6px 0 4px}\n"
    ".key{display:flex;flex-wrap:wrap;gap:4px 14px;font-size:.82rem;color:var(--mute);"
    "margin:6px 0}\n"
    ".key i{display:inline-block;width:10px;height:10px;border-radius:2px;"
    "margin-right:5px;vertical-align:-1px}\n"
    ".chart{position:relative;margin:4px 0}\n"
    ".chart svg{display:block;width:100%;height:150px;background:var(--bg);"
    "border-radius:6px}\n"
    "svg .w{fill:var(--win)}svg .l{fill:var(--loss)}svg .d{fill:var(--draw)}"
    "svg .u{fill:var(--unk)}\n"
    "svg .grid{stroke:var(--line);stroke-dasharray:4 4}\n"
    "svg .trend{stroke:var(--link);fill:none}\n"
    "svg .mark{stroke:var(--link)}\n"
    ".axis{display:flex;justify-content:space-between;gap:8px;color:var(--mute);"
    "font-size:.78rem}\n"
    ".top{position:absolute;top:2px;left:6px;color:var(--mute);font-size:.75rem}\n"
    "a{color:var(--link)}\n"
    "td.result{font-weight:600;white-space:nowrap}\n"
    "tr.win td.result{color:var(--win)}tr.loss td.result{color:var(--loss)}"
    "tr.draw td.result{color:var(--draw)}tr.unknown td.result{color:var(--unk)}\n"
    "details summary{cursor:pointer;color:var(--mute);font-size:.85rem;margin-top:8px}\n"
    "@media (max-width:640px){main{padding:8px}section{padding:10px 10px}"
    ".n{display:none}h1{font-size:1.3rem}"
    "table.games thead{display:none}"
    "table.games tr{display:block;padding:6px 0;border-bottom:1px solid var(--line)}"
    "table.games td{display:inline-block;border:0;padding:0 8px 0 0}"
    "table.games td.players{display:block}table.games td.apm::after{content:\" APM\"}}\n";

const char kOutcomeClass[kOutcomeCount][2] = {"w", "l", "d", "u"};
const char kOutcomeData[kOutcomeCount][8] = {"win", "loss", "draw", "unknown"};
const char kOutcomeWord[kOutcomeCount][8] = {"won", "lost", "draw", "unknown"};

bool Reserve(HtmlText* html, size_t more) {
  if (html->out_of_memory) return false;
  if (html->length + more + 1 <= html->capacity) return true;
  size_t capacity = html->capacity < 4096 ? 4096 : html->capacity;
  while (capacity < html->length + more + 1) capacity *= 2;
  char* grown = static_cast<char*>(realloc(html->text, capacity));
  if (grown == nullptr) {
    html->out_of_memory = true;
    return false;
  }
  html->text = grown;
  html->capacity = capacity;
  return true;
}

void AppendBytes(HtmlText* html, const char* bytes, size_t length) {
  if (!Reserve(html, length)) return;
  memcpy(html->text + html->length, bytes, length);
  html->length += length;
  html->text[html->length] = '\0';
}

void AppendFormat(HtmlText* html, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int written = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (written < 0) return;
  const size_t length = static_cast<size_t>(written) < sizeof buffer
                            ? static_cast<size_t>(written) : sizeof buffer - 1;
  AppendBytes(html, buffer, length);
}

// Games whose outcome the replays tell; a win rate is over these alone, so that
// replays that say nothing neither raise nor lower it.
int Known(const Tally& tally) {
  return tally.outcome[kOutcomeWin] + tally.outcome[kOutcomeLoss] +
         tally.outcome[kOutcomeDraw];
}

void AppendWinRate(HtmlText* html, const Tally& tally) {
  const int known = Known(tally);
  if (known == 0) {
    AppendRaw(html, "&ndash;");
  } else {
    AppendFormat(html, "%d%%", (tally.outcome[kOutcomeWin] * 200 + known) / (known * 2));
  }
}

// "18m11s", from an hour on "1h47m06s", as info writes lengths.
void AppendLength(HtmlText* html, int seconds) {
  if (seconds < 0) {
    AppendRaw(html, "&ndash;");
  } else if (seconds >= 3600) {
    AppendFormat(html, "%dh%02dm%02ds", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else if (seconds >= 60) {
    AppendFormat(html, "%dm%02ds", seconds / 60, seconds % 60);
  } else {
    AppendFormat(html, "%ds", seconds);
  }
}

// Local time kept as seconds since 1970 is read as if it were UTC: the days
// counted from 1970-01-01 to the civil date (the proleptic Gregorian calendar).
void AppendPlayed(HtmlText* html, int64_t played) {
  int64_t days = played / 86400;
  int64_t rest = played % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  AppendFormat(html, "%04lld-%02lld-%02lld %02lld:%02lld", static_cast<long long>(year),
               static_cast<long long>(month), static_cast<long long>(day),
               static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60));
}

// The cells of an APM and a length, a dash for what no replay tells.
void AppendApmAndLength(HtmlText* html, int apm, int length_s) {
  if (apm < 0) {
    AppendRaw(html, "<td class=\"num apm\">&ndash;</td>");
  } else {
    AppendFormat(html, "<td class=\"num apm\">%d</td>", apm);
  }
  AppendRaw(html, "<td class=\"num\">");
  AppendLength(html, length_s);
  AppendRaw(html, "</td>");
}

void AppendTallyData(HtmlText* html, const Tally& tally) {
  AppendFormat(html, " data-games=\"%d\" data-win=\"%d\" data-loss=\"%d\" data-draw=\"%d\""
               " data-unknown=\"%d\"", tally.games, tally.outcome[kOutcomeWin],
               tally.outcome[kOutcomeLoss], tally.outcome[kOutcomeDraw],
               tally.outcome[kOutcomeUnknown]);
}

// A bar split by outcome, each part as wide as its share of the games.
void AppendBar(HtmlText* html, const Tally& tally, const char* extra_class) {
  AppendFormat(html, "<div class=\"bar%s\">", extra_class);
  for (int outcome = 0; outcome < kOutcomeCount && tally.games > 0; ++outcome) {
    const int count = tally.outcome[outcome];
    if (count == 0) continue;
    AppendFormat(html, "<span class=\"%s\" style=\"width:%.3f%%\" title=\"%d %s\"></span>",
                 kOutcomeClass[outcome], 100.0 * count / tally.games, count,
                 kOutcomeWord[outcome]);
  }
  AppendRaw(html, "</div>");
}

void AppendKey(HtmlText* html) {
  AppendRaw(html, "<div class=\"key\"><span><i class=\"w\"></i>won</span>"
                  "<span><i class=\"l\"></i>lost</span><span><i class=\"d\"></i>draw</span>"
                  "<span><i class=\"u\"></i>unknown: the replay does not tell</span></div>");
}

void AppendTallyCells(HtmlText* html, const Tally& tally) {
  AppendFormat(html, "<td class=\"num\">%d</td>", tally.games);
  for (int outcome = 0; outcome < kOutcomeCount; ++outcome) {
    AppendFormat(html, "<td class=\"num n\">%d</td>", tally.outcome[outcome]);
  }
  AppendRaw(html, "<td class=\"num\">");
  AppendWinRate(html, tally);
  AppendRaw(html, "</td>");
}

const char kTallyHeads[] =
    "<th class=\"num\">games</th><th class=\"num n\">won</th><th class=\"num n\">lost</th>"
    "<th class=\"num n\">draw</th><th class=\"num n\">unknown</th>"
    "<th class=\"num\">win rate</th>";

// One figure of rows: a bar per row with its games and win rate beside it.
void AppendRowsFigure(HtmlText* html, const char* id, const char* figure, const char* title,
                      const char* key_head, const char* none, const RecordRow* rows,
                      int count) {
  AppendFormat(html, "<section id=\"%s\"><h2>%s</h2>", id, title);
  if (count == 0) AppendFormat(html, "<p class=\"none\">%s</p>", none);
  AppendFormat(html, "<table data-figure=\"%s\"><thead><tr><th>%s</th><th></th>%s</tr>"
               "</thead><tbody>", figure, key_head, kTallyHeads);
  for (int i = 0; i < count; ++i) {
    const RecordRow& row = rows[i];
    AppendRaw(html, "<tr data-key=\"");
    AppendEscaped(html, row.key);
    AppendRaw(html, "\"");
    AppendTallyData(html, row.tally);
    AppendRaw(html, "><th scope=\"row\">");
    AppendEscaped(html, row.key);
    AppendRaw(html, "</th><td class=\"bars\">");
    AppendBar(html, row.tally, "");
    AppendRaw(html, "</td>");
    AppendTallyCells(html, row.tally);
    AppendRaw(html, "</tr>");
  }
  AppendRaw(html, "</tbody></table></section>\n");
}

void AppendMonthLabel(HtmlText* html, const MonthRow& month) {
  AppendFormat(html, "%04d-%02d", month.year, month.month);
}

// The x axis of a chart by month: its first and last month.
void AppendMonthAxis(HtmlText* html, const MonthRow* months, int count) {
  if (count == 0) return;
  AppendRaw(html, "<div class=\"axis\"><span>");
  AppendMonthLabel(html, months[0]);
  AppendRaw(html, "</span><span>");
  if (count > 1) AppendMonthLabel(html, months[count - 1]);
  AppendRaw(html, "</span></div>");
}

// Charts stretch to the width of the window (preserveAspectRatio none, lines of
// a fixed width whatever the stretch); each month is 10 units wide, the height
// 100 units. Their text is HTML around them, so it never shrinks with them.
void OpenChart(HtmlText* html, const char* label, int count) {
  AppendFormat(html, "<div class=\"chart\"><svg viewBox=\"0 0 %d 100\" "
               "preserveAspectRatio=\"none\" role=\"img\" aria-label=\"%s\">",
               count * 10, label);
}

// A line through the months that have a value (value < 0: none), each value also
// marked with a short stroke so that a lone month shows.
void AppendTrend(HtmlText* html, const MonthRow* months, int count, int scale,
                 int (*value_of)(const MonthRow&)) {
  AppendRaw(html, "<polyline class=\"trend\" vector-effect=\"non-scaling-stroke\" "
                  "stroke-width=\"2\" points=\"");
  for (int i = 0; i < count; ++i) {
    const int value = value_of(months[i]);
    if (value < 0) continue;
    AppendFormat(html, "%d,%.2f ", i * 10 + 5, 100.0 - 96.0 * value / scale);
  }
  AppendRaw(html, "\"/>");
  for (int i = 0; i < count; ++i) {
    const int value = value_of(months[i]);
    if (value < 0) continue;
    const double y = 100.0 - 96.0 * value / scale;
    AppendFormat(html, "<line class=\"mark\" vector-effect=\"non-scaling-stroke\" "
                 "stroke-width=\"6\" x1=\"%d\" x2=\"%d\" y1=\"%.2f\" y2=\"%.2f\"><title>",
                 i * 10 + 3, i * 10 + 7, y, y);
    AppendMonthLabel(html, months[i]);
    AppendFormat(html, ": %d</title></line>", value);
  }
}

int WinRateOf(const MonthRow& month) {
  const int known = Known(month.tally);
  if (known == 0) return -1;
  return (month.tally.outcome[kOutcomeWin] * 200 + known) / (known * 2);
}

int ApmOf(const MonthRow& month) { return month.median_apm; }

void AppendMonths(HtmlText* html, const RecordView* view) {
  const MonthRow* months = view->by_month;
  const int count = view->by_month_count;
  AppendRaw(html, "<section id=\"months\"><h2>Over time</h2>");
  if (count == 0) AppendRaw(html, "<p class=\"none\">No games with a date.</p>");
  int most = 1;
  for (int i = 0; i < count; ++i) {
    if (months[i].tally.games > most) most = months[i].tally.games;
  }
  if (count > 0) {
    AppendRaw(html, "<h3>Games by month</h3>");
    OpenChart(html, "games by month", count);
    for (int i = 0; i < count; ++i) {
      const Tally& tally = months[i].tally;
      AppendRaw(html, "<g><title>");
      AppendMonthLabel(html, months[i]);
      AppendFormat(html, ": %d games, %d won, %d lost, %d draw, %d unknown</title>",
                   tally.games, tally.outcome[kOutcomeWin], tally.outcome[kOutcomeLoss],
                   tally.outcome[kOutcomeDraw], tally.outcome[kOutcomeUnknown]);
      // Stacked from the bottom: won, lost, draw, unknown.
      double bottom = 100.0;
      for (int outcome = 0; outcome < kOutcomeCount; ++outcome) {
        const int part = tally.outcome[outcome];
        if (part == 0) continue;
        const double height = 96.0 * part / most;
        bottom -= height;
        AppendFormat(html, "<rect class=\"%s\" x=\"%d\" y=\"%.2f\" width=\"8\" "
                     "height=\"%.2f\"/>", kOutcomeClass[outcome], i * 10 + 1, bottom, height);
      }
      AppendRaw(html, "</g>");
    }
    AppendFormat(html, "</svg><span class=\"top\">%d</span></div>", most);
    AppendMonthAxis(html, months, count);
    AppendKey(html);

    AppendRaw(html, "<h3>Win rate by month (games with a known result)</h3>");
    OpenChart(html, "win rate by month", count);
    AppendRaw(html, "<line class=\"grid\" vector-effect=\"non-scaling-stroke\" x1=\"0\" "
                    "y1=\"52\" x2=\"100000\" y2=\"52\"/>");
    AppendTrend(html, months, count, 100, WinRateOf);
    AppendRaw(html, "</svg><span class=\"top\">100% &middot; dashed: 50%</span></div>");
    AppendMonthAxis(html, months, count);
  }
  AppendRaw(html, "<details><summary>The figures by month</summary>"
                  "<table data-figure=\"by_month\"><thead><tr><th>month</th>");
  AppendRaw(html, kTallyHeads);
  AppendRaw(html, "<th class=\"num\">APM</th><th class=\"num\">length</th></tr></thead><tbody>");
  for (int i = 0; i < count; ++i) {
    const MonthRow& month = months[i];
    AppendRaw(html, "<tr data-key=\"");
    AppendMonthLabel(html, month);
    AppendRaw(html, "\"");
    AppendTallyData(html, month.tally);
    AppendFormat(html, " data-median-apm=\"%d\" data-median-length=\"%d\"><th scope=\"row\">",
                 month.median_apm, month.median_length_s);
    AppendMonthLabel(html, month);
    AppendRaw(html, "</th>");
    AppendTallyCells(html, month.tally);
    AppendApmAndLength(html, month.median_apm, month.median_length_s);
    AppendRaw(html, "</tr>");
  }
  AppendRaw(html, "</tbody></table></details></section>\n");
}

void AppendApm(HtmlText* html, const RecordView* view) {
  const MonthRow* months = view->by_month;
  const int count = view->by_month_count;
  AppendRaw(html, "<section id=\"apm\"><h2>Actions per minute</h2>");
  int most = 0;
  for (int i = 0; i < count; ++i) {
    if (months[i].median_apm > most) most = months[i].median_apm;
  }
  if (most == 0) {
    AppendRaw(html, "<p class=\"none\">No game tells the player's APM.</p>");
  } else {
    // The scale's top is a round figure above the highest month.
    const int scale = (most / 50 + 1) * 50;
    AppendRaw(html, "<h3>Median APM by month</h3>");
    OpenChart(html, "median APM by month", count);
    AppendFormat(html, "<line class=\"grid\" vector-effect=\"non-scaling-stroke\" x1=\"0\" "
                 "y1=\"%.2f\" x2=\"100000\" y2=\"%.2f\"/>", 100.0 - 48.0, 100.0 - 48.0);
    AppendTrend(html, months, count, scale, ApmOf);
    AppendFormat(html, "</svg><span class=\"top\">%d APM &middot; dashed: %d</span></div>",
                 scale, scale / 2);
    AppendMonthAxis(html, months, count);
  }
  AppendRaw(html, "</section>\n");
}

void AppendCard(HtmlText* html, const char* kind, int value, const char* label) {
  AppendFormat(html, "<div class=\"card %s\"><b>%d</b><span>%s</span></div>", kind, value,
               label);
}

void AppendOverall(HtmlText* html, const RecordView* view) {
  const Tally& overall = view->overall;
  AppendRaw(html, "<section id=\"overall\"><h2>Overall</h2><div class=\"cards\">");
  AppendCard(html, "", overall.games, "games");
  for (int outcome = 0; outcome < kOutcomeCount; ++outcome) {
    AppendCard(html, kOutcomeClass[outcome], overall.outcome[outcome], kOutcomeWord[outcome]);
  }
  AppendRaw(html, "<div class=\"card\"><b>");
  AppendWinRate(html, overall);
  AppendRaw(html, "</b><span>win rate</span></div></div>");
  if (overall.games == 0) AppendRaw(html, "<p class=\"none\">No games of this player.</p>");
  AppendBar(html, overall, " big");
  AppendKey(html);
  AppendRaw(html, "<table data-figure=\"overall\"><tbody><tr data-key=\"overall\"");
  AppendTallyData(html, overall);
  AppendRaw(html, "><th scope=\"row\">all games</th>");
  AppendTallyCells(html, overall);
  AppendRaw(html, "</tr></tbody></table>");

  // What was passed over, so that a player sees why a game may be missing.
  struct Count {
    const char* key;
    int value;
    const char* label;
  };
  const Count counts[] = {
      {"files_seen", view->files_seen, "files looked at"},
      {"replays_read", view->replays_read, "replays read"},
      {"duplicates", view->duplicates, "copies of a game already counted, set aside"},
      {"not_replays", view->not_replays, "files that are no replay"},
      {"unreadable", view->unreadable, "replays that could not be read"},
      {"without_player", view->without_player, "games without the player"},
  };
  AppendRaw(html, "<details><summary>The files</summary><table data-figure=\"files\"><tbody>");
  for (const Count& count : counts) {
    AppendFormat(html, "<tr data-key=\"%s\" data-value=\"%d\"><th scope=\"row\">%s</th>"
                 "<td class=\"num\">%d</td></tr>", count.key, count.value, count.label,
                 count.value);
  }
  AppendRaw(html, "</tbody></table></details></section>\n");
}

void AppendGames(HtmlText* html, const RecordView* view) {
  AppendFormat(html, "<section id=\"games\"><h2>Games</h2>");
  if (view->game_count == 0) AppendRaw(html, "<p class=\"none\">No games.</p>");
  AppendRaw(html, "<table class=\"games\" data-figure=\"games\"><thead><tr><th>date</th>"
                  "<th>type</th><th>map</th><th>players</th><th>result</th>"
                  "<th class=\"num\">APM</th><th class=\"num\">length</th></tr></thead><tbody>");
  for (int i = 0; i < view->game_count; ++i) {
    const GameRow& game = view->games[i];
    const int outcome = game.outcome >= 0 && game.outcome < kOutcomeCount
                            ? game.outcome : kOutcomeUnknown;
    AppendFormat(html, "<tr class=\"%s\" data-outcome=\"%s\" data-played=\"",
                 kOutcomeData[outcome], kOutcomeData[outcome]);
    AppendPlayed(html, game.played);
    AppendRaw(html, "\" data-type=\"");
    AppendEscaped(html, game.type);
    AppendRaw(html, "\" data-map=\"");
    AppendEscaped(html, game.map);
    AppendFormat(html, "\" data-apm=\"%d\" data-length=\"%d\"><td class=\"num\">", game.apm,
                 game.length_s);
    AppendPlayed(html, game.played);
    AppendRaw(html, "</td><td>");
    AppendEscaped(html, game.type);
    AppendRaw(html, "</td><td>");
    AppendEscaped(html, game.map);
    AppendRaw(html, "</td><td class=\"players\">");
    if (game.path != nullptr && game.path[0] != '\0') {
      AppendRaw(html, "<a href=\"");
      AppendFileUrl(html, game.path);
      AppendRaw(html, "\" title=\"");
      AppendEscaped(html, game.path);
      AppendRaw(html, "\">");
      AppendEscaped(html, game.players);
      AppendRaw(html, "</a>");
    } else {
      AppendEscaped(html, game.players);
    }
    AppendFormat(html, "</td><td class=\"result\">%s</td>", kOutcomeWord[outcome]);
    AppendApmAndLength(html, game.apm, game.length_s);
    AppendRaw(html, "</tr>\n");
  }
  AppendRaw(html, "</tbody></table></section>\n");
}

}  // namespace

void FreeHtmlText(HtmlText* html) {
  free(html->text);
  html->text = nullptr;
  html->length = 0;
  html->capacity = 0;
  html->out_of_memory = false;
}

void AppendRaw(HtmlText* html, const char* text) { AppendBytes(html, text, strlen(text)); }

void AppendEscaped(HtmlText* html, const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned c = *p;
    const char* reference = nullptr;
    switch (c) {
      case '&': reference = "&amp;"; break;
      case '<': reference = "&lt;"; break;
      case '>': reference = "&gt;"; break;
      case '"': reference = "&quot;"; break;
      case '\'': reference = "&#39;"; break;
      default: break;
    }
    if (reference != nullptr) {
      AppendRaw(html, reference);
      ++p;
      continue;
    }
    if (c < 0x20 || c == 0x7F) {  // nothing a name shows
      ++p;
      continue;
    }
    const size_t length = Utf8CharacterLength(p);
    if (length == 0) {
      AppendRaw(html, "\xEF\xBF\xBD");  // U+FFFD
      ++p;
    } else {
      AppendBytes(html, reinterpret_cast<const char*>(p), length);
      p += length;
    }
  }
}

void AppendFileUrl(HtmlText* html, const char* path) {
  AppendRaw(html, "file://");
  // C:\x gives file:///C:/x; a POSIX path brings its own leading slash.
  if (path[0] != '/' && path[0] != '\\') AppendRaw(html, "/");
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p != 0; ++p) {
    const unsigned c = *p;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/' || c == ':';
    if (plain) {
      AppendBytes(html, reinterpret_cast<const char*>(p), 1);
    } else if (c == '\\') {
      AppendRaw(html, "/");
    } else {
      const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 15]};
      AppendBytes(html, escaped, 3);
    }
  }
}

bool RenderRecordHtml(const RecordView* view, HtmlText* html) {
  AppendRaw(html, "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                  "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
                  "<meta name=\"color-scheme\" content=\"light dark\">\n");
  // The page may load nothing and run nothing, whatever a name in it says.
  AppendRaw(html, "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                  "style-src 'unsafe-inline'\">\n<title>");
  AppendEscaped(html, view->player);
  AppendRaw(html, "&rsquo;s record &ndash; Brindlecap</title>\n<style>");
  AppendRaw(html, kStyle);
  AppendRaw(html, "</style></head>\n<body><main>\n<header><h1 data-player=\"");
  AppendEscaped(html, view->player);
  AppendRaw(html, "\">");
  AppendEscaped(html, view->player);
  AppendRaw(html, "&rsquo;s record</h1><p class=\"mute\">");
  AppendFormat(html, "%d %s", view->overall.games, view->overall.games == 1 ? "game" : "games");
  if (view->duplicates > 0) {
    AppendFormat(html, ", each counted once (%d %s set aside)", view->duplicates,
                 view->duplicates == 1 ? "copy" : "copies");
  }
  AppendRaw(html, ".");
  if (!view->player_chosen) {
    AppendRaw(html, " The player found in the most games; "
                    "<code>--player NAME</code> chooses another.");
  }
  AppendRaw(html, "</p></header>\n");
  AppendOverall(html, view);
  AppendMonths(html, view);
  AppendApm(html, view);
  AppendRaw(html, "<div class=\"grid\">\n");
  AppendRowsFigure(html, "matchups", "by_matchup", "1v1 by matchup", "matchup",
                   "No 1v1 games.", view->by_matchup, view->by_matchup_count);
  AppendRowsFigure(html, "maps", "by_map", "By map", "map", "No games.", view->by_map,
                   view->by_map_count);
  AppendRowsFigure(html, "opponents", "by_opponent", "Most played opponents", "opponent",
                   "No opponents.", view->by_opponent, view->by_opponent_count);
  AppendRowsFigure(html, "types", "by_type", "By game type", "type", "No games.",
                   view->by_type, view->by_type_count);
  AppendRaw(html, "</div>\n");
  AppendGames(html, view);
  AppendRaw(html, "<p class=\"mute\">Made by Brindlecap from the replays on this computer. "
                  "A result is unknown when the replay does not tell who won, or the player "
                  "watched; win rates count the games with a known result.</p>\n"
                  "</main></body></html>\n");
  return !html->out_of_memory;
}
