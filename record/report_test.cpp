#include "record/report.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

Tally MakeTally(int win, int loss, int draw, int unknown) {
  Tally tally = {};
  tally.outcome[kOutcomeWin] = win;
  tally.outcome[kOutcomeLoss] = loss;
  tally.outcome[kOutcomeDraw] = draw;
  tally.outcome[kOutcomeUnknown] = unknown;
  tally.games = win + loss + draw + unknown;
  return tally;
}

RecordRow Row(const char* key, const Tally& tally) {
  RecordRow row = {};
  snprintf(row.key, sizeof row.key, "%s", key);
  row.tally = tally;
  return row;
}

GameRow Game(int64_t played, const char* type, const char* map, const char* players,
             GameOutcome outcome, int apm, int length_s, const char* path) {
  GameRow game = {};
  game.played = played;
  snprintf(game.type, sizeof game.type, "%s", type);
  snprintf(game.map, sizeof game.map, "%s", map);
  snprintf(game.players, sizeof game.players, "%s", players);
  game.outcome = outcome;
  game.apm = apm;
  game.length_s = length_s;
  game.path = path;
  return game;
}

// A record built by hand, as the record room would fill it; the vectors own
// what the view points into.
struct Sample {
  std::vector<RecordRow> types, matchups, maps, opponents;
  std::vector<MonthRow> months;
  std::vector<GameRow> games;
  RecordView view;
};

void Point(Sample* sample) {
  RecordView& view = sample->view;
  view.by_type = sample->types.data();
  view.by_type_count = static_cast<int>(sample->types.size());
  view.by_matchup = sample->matchups.data();
  view.by_matchup_count = static_cast<int>(sample->matchups.size());
  view.by_map = sample->maps.data();
  view.by_map_count = static_cast<int>(sample->maps.size());
  view.by_opponent = sample->opponents.data();
  view.by_opponent_count = static_cast<int>(sample->opponents.size());
  view.by_month = sample->months.data();
  view.by_month_count = static_cast<int>(sample->months.size());
  view.games = sample->games.data();
  view.game_count = static_cast<int>(sample->games.size());
}

// 2024-05-30 21:05 and 2000-02-29 12:00, local time kept as seconds since 1970.
const int64_t kMay30 = 1717103100;
const int64_t kLeapDay = 951825600;

void FillPlayed(Sample* sample) {
  memset(&sample->view, 0, sizeof sample->view);
  snprintf(sample->view.player, sizeof sample->view.player, "anXieTy");
  sample->view.player_chosen = true;
  sample->view.files_seen = 9;
  sample->view.replays_read = 8;
  sample->view.duplicates = 3;
  sample->view.not_replays = 1;
  sample->view.unreadable = 0;
  sample->view.without_player = 2;
  sample->view.overall = MakeTally(2, 1, 0, 0);
  sample->types = {Row("1v1", MakeTally(2, 0, 0, 0)), Row("2v2", MakeTally(0, 1, 0, 0))};
  sample->matchups = {Row("HvU", MakeTally(1, 0, 0, 0)), Row("HvO", MakeTally(1, 0, 0, 0))};
  sample->maps = {Row("Amazonia", MakeTally(2, 0, 0, 0)),
                  Row("Turtle Rock", MakeTally(0, 1, 0, 0))};
  sample->opponents = {Row("IroNSoul", MakeTally(1, 0, 0, 0)),
                       Row("Grubby", MakeTally(1, 1, 0, 0))};
  MonthRow feb = {2000, 2, MakeTally(0, 1, 0, 0), 151, 1805};
  MonthRow may = {2024, 5, MakeTally(2, 0, 0, 0), 215, 1091};
  sample->months = {feb, may};
  sample->games = {
      Game(kMay30, "1v1", "Amazonia", "anXieTy(h) vs IroNSoul(u)", kOutcomeWin, 215, 1091,
           "C:\\Users\\me\\Documents\\Warcraft III\\BattleNet\\1\\Replays\\a b.w3g"),
      Game(kMay30 - 3600, "1v1", "Amazonia", "anXieTy(h) vs Grubby(o)", kOutcomeWin, 220, 65,
           "/home/me/replays/x.w3g"),
      Game(kLeapDay, "2v2", "Turtle Rock", "anXieTy(h) + Foo(n) vs Grubby(o) + Bar(e)",
           kOutcomeLoss, 151, 3725, nullptr)};
  Point(sample);
}

std::string Render(const RecordView* view) {
  HtmlText html = {};
  EXPECT_TRUE(RenderRecordHtml(view, &html));
  std::string page = html.text != nullptr ? html.text : "";
  FreeHtmlText(&html);
  return page;
}

std::string Escaped(const char* text) {
  HtmlText html = {};
  AppendEscaped(&html, text);
  std::string result = html.text != nullptr ? html.text : "";
  FreeHtmlText(&html);
  return result;
}

std::string FileUrl(const char* path) {
  HtmlText html = {};
  AppendFileUrl(&html, path);
  std::string result = html.text != nullptr ? html.text : "";
  FreeHtmlText(&html);
  return result;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The start tag of the row of figure whose data-key is key, or "" when there is
// none; each figure is a table of its own.
std::string RowOf(const std::string& page, const std::string& figure, const std::string& key) {
  const size_t table = page.find("data-figure=\"" + figure + "\"");
  if (table == std::string::npos) return "";
  const size_t end = page.find("</table>", table);
  const size_t row = page.find("<tr data-key=\"" + key + "\"", table);
  if (row == std::string::npos || row > end) return "";
  return page.substr(row, page.find('>', row) - row + 1);
}

std::string TallyData(const Tally& tally) {
  char text[160];
  snprintf(text, sizeof text, "data-games=\"%d\" data-win=\"%d\" data-loss=\"%d\" "
           "data-draw=\"%d\" data-unknown=\"%d\"", tally.games, tally.outcome[kOutcomeWin],
           tally.outcome[kOutcomeLoss], tally.outcome[kOutcomeDraw],
           tally.outcome[kOutcomeUnknown]);
  return text;
}

TEST(ReportEscapeTest, TextIsShownNeverRead) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"anXieTy", "anXieTy"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a&b", "a&amp;b"},
      {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
      {"it's", "it&#39;s"},
      {"&amp;", "&amp;amp;"},
      {"tab\there\nnew\x7F", "tabherenew"},
      {"\xD0\x9A\xD0\xBE\xD1\x82", "\xD0\x9A\xD0\xBE\xD1\x82"},         // Cyrillic, whole
      {"\xE6\x98\x9F", "\xE6\x98\x9F"},                                   // CJK, whole
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                           // outside the BMP
      {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},                                 // no UTF-8 at all
      {"\xD0", "\xEF\xBF\xBD"},                                           // cut at the end
      {"\xE6\x98<", "\xEF\xBF\xBD\xEF\xBF\xBD&lt;"},                      // cut by a '<'
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                           // overlong '/'
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Escaped(c.text), c.shown) << c.text;
  }
}

TEST(ReportEscapeTest, FileUrlsLeadToTheFileAndStayInTheirAttribute) {
  const struct {
    const char* path;
    const char* url;
  } cases[] = {
      {"C:\\Users\\me\\Replays\\a.w3g", "file:///C:/Users/me/Replays/a.w3g"},
      {"/home/me/replays/a.w3g", "file:///home/me/replays/a.w3g"},
      {"C:\\My Replays\\1v1\\x(h) vs y(u).w3g",
       "file:///C:/My%20Replays/1v1/x%28h%29%20vs%20y%28u%29.w3g"},
      {"/r/\" onmouseover=\"x", "file:///r/%22%20onmouseover%3D%22x"},
      {"/r/<b>&#'?", "file:///r/%3Cb%3E%26%23%27%3F"},
      {"/r/100%.w3g", "file:///r/100%25.w3g"},
      {"/r/\xD0\x9A.w3g", "file:///r/%D0%9A.w3g"},
      {"\\\\server\\share\\a.w3g", "file:////server/share/a.w3g"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileUrl(c.path), c.url) << c.path;
  }
}

TEST(ReportPageTest, HostileNamesMapsAndPathsShowAsText) {
  const char* const hostile[] = {
      "<script>alert(1)</script>", "\"><img src=x onerror=alert(1)>",
      "</table></section><h1>x", "a' onmouseover='alert(1)"};
  for (const char* name : hostile) {
    Sample sample;
    FillPlayed(&sample);
    snprintf(sample.view.player, sizeof sample.view.player, "%s", name);
    snprintf(sample.maps[0].key, sizeof sample.maps[0].key, "%s", name);
    snprintf(sample.opponents[0].key, sizeof sample.opponents[0].key, "%s", name);
    snprintf(sample.games[0].map, sizeof sample.games[0].map, "%s", name);
    snprintf(sample.games[0].players, sizeof sample.games[0].players, "%s vs %s", name, name);
    std::string path = std::string("C:\\") + name + ".w3g";
    sample.games[0].path = path.c_str();
    const std::string page = Render(&sample.view);
    const std::string shown = Escaped(name);
    EXPECT_EQ(page.find(name), std::string::npos) << name;
    EXPECT_EQ(page.find("<script"), std::string::npos) << name;
    EXPECT_EQ(page.find("<img"), std::string::npos) << name;
    EXPECT_EQ(Count(page, "<table"), Count(page, "</table>")) << name;
    EXPECT_EQ(Count(page, "<section"), Count(page, "</section>")) << name;
    EXPECT_EQ(Count(page, "<h1"), 1u) << name;
    // Title, heading and its attribute, map row, opponent row, game's map,
    // players (twice), the path's title.
    EXPECT_GE(Count(page, shown), 9u) << name;
    EXPECT_NE(page.find("href=\"" + FileUrl(path.c_str()) + "\""), std::string::npos) << name;
  }
}

TEST(ReportPageTest, EverySectionAndFigureIsThereWhateverTheRecord) {
  Sample played;
  FillPlayed(&played);
  Sample empty;
  memset(&empty.view, 0, sizeof empty.view);
  snprintf(empty.view.player, sizeof empty.view.player, "Nobody");
  Point(&empty);
  Sample unknown;
  memset(&unknown.view, 0, sizeof unknown.view);
  snprintf(unknown.view.player, sizeof unknown.view.player, "Watcher");
  unknown.view.overall = MakeTally(0, 0, 0, 4);
  unknown.types = {Row("1v1", MakeTally(0, 0, 0, 4))};
  unknown.maps = {Row("EchoIsles", MakeTally(0, 0, 0, 4))};
  unknown.months = {{2021, 11, MakeTally(0, 0, 0, 4), -1, 600}};
  unknown.games = {Game(kMay30, "1v1", "EchoIsles", "x(h) vs y(o)", kOutcomeUnknown, -1, 600,
                        "/r/x.w3g")};
  Point(&unknown);

  const struct {
    const char* what;
    const RecordView* view;
  } records[] = {{"played", &played.view}, {"empty", &empty.view}, {"unknown", &unknown.view}};
  const char* const sections[] = {"overall", "months", "apm", "matchups", "maps",
                                  "opponents", "types", "games"};
  const char* const figures[] = {"overall", "files", "by_month", "by_matchup", "by_map",
                                 "by_opponent", "by_type", "games"};
  for (const auto& record : records) {
    const std::string page = Render(record.view);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u) << record.what;
    EXPECT_NE(page.find("</html>"), std::string::npos) << record.what;
    EXPECT_NE(page.find("prefers-color-scheme:dark"), std::string::npos) << record.what;
    EXPECT_NE(page.find("name=\"viewport\""), std::string::npos) << record.what;
    for (const char* section : sections) {
      EXPECT_EQ(Count(page, std::string("<section id=\"") + section + "\""), 1u)
          << record.what << " " << section;
    }
    for (const char* figure : figures) {
      EXPECT_EQ(Count(page, std::string("data-figure=\"") + figure + "\""), 1u)
          << record.what << " " << figure;
    }
    // Nothing from elsewhere: no script, no stylesheet or image by address.
    EXPECT_EQ(page.find("<script"), std::string::npos) << record.what;
    EXPECT_EQ(page.find("http:"), std::string::npos) << record.what;
    EXPECT_EQ(page.find("https:"), std::string::npos) << record.what;
    EXPECT_EQ(page.find("src="), std::string::npos) << record.what;
    EXPECT_EQ(page.find("<link"), std::string::npos) << record.what;
  }

  const std::string none = Render(&empty.view);
  EXPECT_NE(none.find("No games of this player."), std::string::npos);
  EXPECT_EQ(none.find("<svg"), std::string::npos);  // no chart of nothing
  EXPECT_EQ(none.find("<tr data-outcome"), std::string::npos);
  EXPECT_NE(RowOf(none, "overall", "overall").find(TallyData(MakeTally(0, 0, 0, 0))),
            std::string::npos);

  // A record of games that tell no result: all of it unknown, no win rate, no
  // chart of APM, and no part of any bar drawn as won or lost.
  const std::string dark = Render(&unknown.view);
  EXPECT_NE(RowOf(dark, "overall", "overall").find(TallyData(MakeTally(0, 0, 0, 4))),
            std::string::npos);
  EXPECT_NE(dark.find("<b>&ndash;</b><span>win rate</span>"), std::string::npos);
  EXPECT_NE(dark.find("No game tells the player's APM."), std::string::npos);
  EXPECT_EQ(dark.find("<span class=\"w\""), std::string::npos);
  EXPECT_EQ(dark.find("<span class=\"l\""), std::string::npos);
  EXPECT_EQ(dark.find("<rect class=\"w\""), std::string::npos);
  EXPECT_NE(dark.find("<span class=\"u\" style=\"width:100.000%\""), std::string::npos);
  EXPECT_NE(dark.find("<rect class=\"u\""), std::string::npos);
  EXPECT_NE(dark.find("data-outcome=\"unknown\""), std::string::npos);
  EXPECT_NE(dark.find("<td class=\"result\">unknown</td>"), std::string::npos);
}

TEST(ReportPageTest, FiguresAreWrittenExactly) {
  Sample sample;
  FillPlayed(&sample);
  const std::string page = Render(&sample.view);
  const struct {
    const char* figure;
    const std::vector<RecordRow>* rows;
  } figures[] = {{"by_type", &sample.types}, {"by_matchup", &sample.matchups},
                 {"by_map", &sample.maps}, {"by_opponent", &sample.opponents}};
  for (const auto& figure : figures) {
    size_t last = 0;
    for (const RecordRow& row : *figure.rows) {
      const std::string tag = RowOf(page, figure.figure, row.key);
      EXPECT_NE(tag.find(TallyData(row.tally)), std::string::npos)
          << figure.figure << " " << row.key << ": " << tag;
      // In the record's order.
      const size_t at = page.find(tag);
      EXPECT_GT(at, last) << figure.figure << " " << row.key;
      last = at;
    }
  }
  EXPECT_NE(RowOf(page, "overall", "overall").find(TallyData(sample.view.overall)),
            std::string::npos);
  EXPECT_NE(RowOf(page, "by_month", "2000-02").find(
                TallyData(sample.months[0].tally) +
                " data-median-apm=\"151\" data-median-length=\"1805\""),
            std::string::npos);
  EXPECT_NE(RowOf(page, "by_month", "2024-05").find(
                TallyData(sample.months[1].tally) +
                " data-median-apm=\"215\" data-median-length=\"1091\""),
            std::string::npos);
  const struct {
    const char* key;
    int value;
  } files[] = {{"files_seen", 9}, {"replays_read", 8}, {"duplicates", 3},
               {"not_replays", 1}, {"unreadable", 0}, {"without_player", 2}};
  for (const auto& file : files) {
    EXPECT_NE(RowOf(page, "files", file.key).find(
                  "data-value=\"" + std::to_string(file.value) + "\""),
              std::string::npos) << file.key;
  }
  // Win rates over the games with a known result, rounded half up: 2 of 3.
  EXPECT_NE(page.find("<b>67%</b><span>win rate</span>"), std::string::npos);
  EXPECT_NE(page.find("3 games, each counted once (3 copies set aside)."), std::string::npos);

  // The games, newest first as handed in, each with its date, length and link.
  const char* const rows[] = {
      "<tr class=\"win\" data-outcome=\"win\" data-played=\"2024-05-30 21:05\" "
      "data-type=\"1v1\" data-map=\"Amazonia\" data-apm=\"215\" data-length=\"1091\">",
      "<tr class=\"win\" data-outcome=\"win\" data-played=\"2024-05-30 20:05\" "
      "data-type=\"1v1\" data-map=\"Amazonia\" data-apm=\"220\" data-length=\"65\">",
      "<tr class=\"loss\" data-outcome=\"loss\" data-played=\"2000-02-29 12:00\" "
      "data-type=\"2v2\" data-map=\"Turtle Rock\" data-apm=\"151\" data-length=\"3725\">"};
  size_t last = 0;
  for (const char* row : rows) {
    const size_t at = page.find(row);
    EXPECT_NE(at, std::string::npos) << row;
    EXPECT_GT(at, last) << row;
    last = at;
  }
  const char* const shown[] = {
      "<td class=\"num\">18m11s</td>", "<td class=\"num\">1m05s</td>",
      "<td class=\"num\">1h02m05s</td>",
      "href=\"file:///C:/Users/me/Documents/Warcraft%20III/BattleNet/1/Replays/a%20b.w3g\"",
      "href=\"file:///home/me/replays/x.w3g\"",
      "<td class=\"players\">anXieTy(h) + Foo(n) vs Grubby(o) + Bar(e)</td>"};
  for (const char* part : shown) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(Count(page, "<a href="), 2u);  // the game without a file has no link
}

TEST(ReportPageTest, WhoseRecordItIsAndHowToChooseAnother) {
  Sample sample;
  FillPlayed(&sample);
  const std::string chosen = Render(&sample.view);
  EXPECT_EQ(chosen.find("--player NAME"), std::string::npos);
  sample.view.player_chosen = false;
  const std::string found = Render(&sample.view);
  EXPECT_NE(found.find("The player found in the most games; <code>--player NAME</code>"),
            std::string::npos);
  EXPECT_NE(found.find("<title>anXieTy&rsquo;s record"), std::string::npos);
}

TEST(ReportPageTest, AppendsToWhatTheTextHolds) {
  HtmlText html = {};
  AppendRaw(&html, "before");
  Sample sample;
  FillPlayed(&sample);
  ASSERT_TRUE(RenderRecordHtml(&sample.view, &html));
  EXPECT_EQ(std::string(html.text).rfind("before<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(strlen(html.text), html.length);
  EXPECT_LT(html.length, html.capacity);
  FreeHtmlText(&html);
  EXPECT_EQ(html.text, nullptr);
  EXPECT_EQ(html.length, 0u);
}

}  // namespace
