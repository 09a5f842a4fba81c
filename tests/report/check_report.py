#!/usr/bin/env python3
"""Checks a report page as a browser rendered it (chromium --dump-dom) against
`brindlecap-cli stats --json` of the same replays, and that the page asked for
nothing from elsewhere and logged no error.

  check_report.py DOM_FILE STATS_JSON_FILE BROWSER_LOG

Each figure of the page is a table with data-figure; its rows carry data-key and
the tally as data-games, data-win, data-loss, data-draw, data-unknown, and the
numbers a reader sees in its cells must say the same."""
import html.parser
import json
import re
import sys

OUTCOMES = ("win", "loss", "draw", "unknown")
# Spellings a tally's fields may have in the JSON document.
FIELD_NAMES = {
    "games": ("games", "total"),
    "win": ("win", "wins", "won"),
    "loss": ("loss", "losses", "lost"),
    "draw": ("draw", "draws"),
    "unknown": ("unknown", "unknowns"),
}
FIGURES = ("by_type", "by_matchup", "by_map", "by_opponent", "by_month")
COUNTS = ("files_seen", "replays_read", "duplicates", "not_replays", "unreadable",
          "without_player")
EMBEDDED = ("script", "link", "img", "iframe", "object", "embed", "audio", "video",
            "source", "base", "frame")

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.figures = {}      # figure -> list of (attrs of the row, texts of its cells)
        self.figure = None
        self.row = None
        self.cell = None
        self.addresses = []    # (tag, attribute, value)
        self.embedded = []
        self.player = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("src", "href", "srcset", "action", "poster", "data", "xlink:href"):
            if name in attrs and attrs[name] is not None:
                self.addresses.append((tag, name, attrs[name]))
        if tag in EMBEDDED:
            self.embedded.append(tag)
        if tag == "h1" and "data-player" in attrs:
            self.player = attrs["data-player"]
        if tag == "table" and "data-figure" in attrs:
            self.figure = attrs["data-figure"]
            self.figures[self.figure] = []
        elif tag == "tr" and self.figure is not None and "data-key" in attrs or (
                tag == "tr" and self.figure == "games" and "data-outcome" in attrs):
            self.row = (attrs, [])
            self.figures[self.figure].append(self.row)
        elif tag in ("td", "th") and self.row is not None:
            self.cell = []

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.row[1].append("".join(self.cell).strip())
            self.cell = None
        elif tag == "tr":
            self.row = None
        elif tag == "table":
            self.figure = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)


def tally_of(obj, where):
    """A tally as a dict of games and the four outcomes, from the JSON's spelling."""
    if isinstance(obj, dict) and isinstance(obj.get("tally"), dict):
        obj = obj["tally"]
    if isinstance(obj, dict) and isinstance(obj.get("outcome"), dict):
        merged = dict(obj["outcome"])
        merged.setdefault("games", obj.get("games"))
        obj = merged
    tally = {}
    for field, names in FIELD_NAMES.items():
        found = [obj[name] for name in names if isinstance(obj, dict) and name in obj]
        if not found:
            fail("%s: stats --json gives no %s in %r" % (where, field, obj))
            return None
        tally[field] = int(found[0])
    return tally


def key_of(item, figure):
    for name in ("key", figure[3:], "name", "opponent", "map", "matchup", "type", "month"):
        if name in item and isinstance(item[name], str):
            return item[name]
    if "year" in item and "month" in item:
        return "%04d-%02d" % (int(item["year"]), int(item["month"]))
    return None


def rows_of(stats, figure):
    """The JSON's rows of a figure as {key: item}, in its order."""
    value = stats.get(figure)
    if value is None:
        fail("stats --json has no %s" % figure)
        return {}
    rows = {}
    if isinstance(value, dict):
        for key, item in value.items():
            rows[key] = item
    else:
        for item in value:
            key = key_of(item, figure)
            if key is None:
                fail("%s: a row without its key: %r" % (figure, item))
                continue
            rows[key] = item
    return rows


def page_tally(attrs):
    return {"games": int(attrs["data-games"]),
            **{o: int(attrs["data-" + o]) for o in OUTCOMES}}


def shown_numbers(cells, first):
    """The games and four outcomes as a reader sees them, from the cell first on."""
    return [int(text) for text in cells[first:first + 5]]


def find_count(stats, name):
    if name in stats:
        return stats[name]
    for value in stats.values():
        if isinstance(value, dict) and name in value:
            return value[name]
    return None


def main():
    dom_file, stats_file, log_file = sys.argv[1:4]
    page = Page()
    with open(dom_file, encoding="utf-8") as f:
        page.feed(f.read())
    with open(stats_file, encoding="utf-8") as f:
        stats = json.load(f)
    with open(log_file, encoding="utf-8", errors="replace") as f:
        log = f.read()

    # Nothing from elsewhere: the only addresses are the games' file: links.
    for tag, name, value in page.addresses:
        if not value.startswith("file:///"):
            fail("<%s %s=%r> leads elsewhere than a replay file" % (tag, name, value))
    if page.embedded:
        fail("the page embeds %s" % sorted(set(page.embedded)))
    # The browser's own console: nothing refused, nothing uncaught, no error.
    for line in log.splitlines():
        if re.search(r"CONSOLE|Refused to|Uncaught|net::ERR_", line) and not re.search(
                r"dbus|gcm|Fontconfig", line):
            fail("browser: " + line.strip())

    if page.player is None:
        fail("the page names no player")
    elif "player" in stats and page.player.split("#")[0] != str(stats["player"]).split("#")[0]:
        fail("player: page %r, stats %r" % (page.player, stats["player"]))

    figures_checked = 0
    overall_rows = page.figures.get("overall", [])
    if len(overall_rows) != 1:
        fail("the page has %d overall rows" % len(overall_rows))
    elif "overall" not in stats:
        fail("stats --json has no overall")
    else:
        want = tally_of(stats["overall"], "overall")
        got = page_tally(overall_rows[0][0])
        if want is not None and want != got:
            fail("overall: page %r, stats %r" % (got, want))
        if shown_numbers(overall_rows[0][1], 1) != [got["games"]] + [got[o] for o in OUTCOMES]:
            fail("overall: the cells %r say other than the data" % (overall_rows[0][1],))
        figures_checked += 1

    for figure in FIGURES:
        want_rows = rows_of(stats, figure)
        got_rows = page.figures.get(figure)
        if got_rows is None:
            fail("the page has no figure %s" % figure)
            continue
        got_keys = [attrs["data-key"] for attrs, _ in got_rows]
        if got_keys != list(want_rows.keys()):
            fail("%s: rows %r on the page, %r from stats" % (figure, got_keys,
                                                             list(want_rows.keys())))
        for attrs, cells in got_rows:
            key = attrs["data-key"]
            got = page_tally(attrs)
            # The month table has no bar cell; the others have one after the key.
            first = 1 if figure == "by_month" else 2
            if shown_numbers(cells, first) != [got["games"]] + [got[o] for o in OUTCOMES]:
                fail("%s %s: the cells %r say other than the data" % (figure, key, cells))
            if key not in want_rows:
                continue
            want = tally_of(want_rows[key], "%s %s" % (figure, key))
            if want is not None and want != got:
                fail("%s %s: page %r, stats %r" % (figure, key, got, want))
            if figure == "by_month":
                item = want_rows[key]
                for data, names in (("data-median-apm", ("median_apm",)),
                                    ("data-median-length", ("median_length_s",
                                                            "median_length"))):
                    values = [item[n] for n in names if n in item]
                    if not values:
                        fail("by_month %s: stats --json gives no %s" % (key, names[0]))
                    elif int(values[0]) != int(attrs[data]):
                        fail("by_month %s: %s %s on the page, %s from stats" %
                             (key, data, attrs[data], values[0]))
        figures_checked += 1

    files = {attrs["data-key"]: int(attrs["data-value"])
             for attrs, _ in page.figures.get("files", [])}
    for name in COUNTS:
        want = find_count(stats, name)
        if want is None:
            fail("stats --json has no %s" % name)
        elif files.get(name) != int(want):
            fail("%s: page %r, stats %r" % (name, files.get(name), want))

    games = page.figures.get("games", [])
    overall_games = page_tally(overall_rows[0][0])["games"] if len(overall_rows) == 1 else -1
    if len(games) != overall_games:
        fail("the list holds %d games, the record %d" % (len(games), overall_games))
    if isinstance(stats.get("games"), list) and len(stats["games"]) != len(games):
        fail("the list holds %d games, stats --json %d" % (len(games), len(stats["games"])))
    links = sum(1 for tag, name, value in page.addresses if tag == "a")
    if links != len(games):
        fail("%d links to files for %d games" % (links, len(games)))

    if failures:
        print("%d check(s) of the report failed" % len(failures))
        return 1
    print("ok: %d figures, %d games, %d links to replays, nothing from elsewhere, no errors"
          % (figures_checked, len(games), links))
    return 0


if __name__ == "__main__":
    sys.exit(main())
