#!/usr/bin/env bash
# The report as a player sees it: brindlecap-cli writes the page of the real
# replays, Chromium renders it headless with every host name unresolvable, and
# check_report.py compares what the page shows with `stats --json` of the same
# replays, looks for anything the page would fetch and for errors in the
# browser's log. Two screenshots, phone-sized and wide, stay in OUTDIR.
#   browser_test.sh CLI REPLAYS OUTDIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
cli=$1
replays=$2
outdir=$3
browser=$(command -v chromium || command -v chromium-browser || true)
if [[ -z "$browser" ]]; then
  echo "FAIL: no chromium (make test installs Debian's)"
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/brindlecap-report.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

if ! "$cli" stats --json "$replays" >"$work/stats.json" 2>"$work/stats.err"; then
  echo "FAIL: stats --json $replays"
  cat "$work/stats.err"
  exit 1
fi
if ! "$cli" report -o "$work/report.html" "$replays" >"$work/report.out" 2>"$work/report.err"; then
  echo "FAIL: report $replays"
  cat "$work/report.err"
  exit 1
fi
if [[ "$(cat "$work/report.out")" != "$work/report.html" ]]; then
  echo "FAIL: report printed '$(cat "$work/report.out")', not the page's path"
  failures=$((failures + 1))
fi

# A profile of its own, no network by any name, nothing but the page.
chrome() {
  "$browser" --headless --no-sandbox --disable-gpu --no-first-run --no-default-browser-check \
    --user-data-dir="$work/profile" --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE localhost" \
    --disable-background-networking --disable-component-update --disable-sync \
    --enable-logging=stderr --v=0 "$@"
}
page="file://$work/report.html"
chrome --dump-dom "$page" >"$work/dom.html" 2>"$work/browser.log"
if [[ ! -s "$work/dom.html" ]]; then
  echo "FAIL: chromium rendered nothing"
  cat "$work/browser.log"
  exit 1
fi
python3 "$here/check_report.py" "$work/dom.html" "$work/stats.json" "$work/browser.log" ||
  failures=$((failures + 1))

mkdir -p "$outdir"
for shot in phone:390,844 wide:1280,1600; do
  name=${shot%%:*}
  file="$outdir/report-$name.png"
  rm -f "$file"
  chrome --hide-scrollbars --screenshot="$file" --window-size="${shot#*:}" "$page" \
    >/dev/null 2>>"$work/browser.log"
  signature=$(head -c 8 "$file" 2>/dev/null | od -An -tx1 | tr -d ' \n')
  if [[ "$signature" == 89504e470d0a1a0a ]]; then
    echo "ok: screenshot $file"
  else
    echo "FAIL: no screenshot $file"
    failures=$((failures + 1))
  fi
done

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
