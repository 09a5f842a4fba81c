#!/usr/bin/env bash
# Stops the real `brindlecap-cli watch` the way a user does, with Ctrl-C (SIGINT)
# and, natively, with SIGTERM: it must end its loop, say "stopped" and exit with 0,
# not be killed by the signal.
#   watch_stop_test.sh [wine] PATH/TO/brindlecap-cli
set -u
cli=("$@")
work=$(mktemp -d "${TMPDIR:-/tmp}/brindlecap-stop.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/replays"

folder="$work/replays"
signals=(INT TERM)
if [[ "$(basename "${cli[0]}")" == wine* ]]; then
  # The Linux file system is drive Z: under Wine, which turns SIGINT into the
  # console's Ctrl-C event. Windows has no SIGTERM; Wine ends the process on it.
  folder="Z:$folder"
  signals=(INT)
fi

status=0
for signal in "${signals[@]}"; do
  BRINDLECAP_INTERVAL_MS=50 "${cli[@]}" watch "$folder" >"$work/out" 2>"$work/err" &
  pid=$!
  # Wait (up to a minute, Wine may be slow to start) until it has primed.
  for _ in $(seq 600); do
    grep -q "watching" "$work/err" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  sleep 0.3  # a few idle passes
  kill -s "$signal" "$pid"
  # A signal that is ignored leaves it running: give it half a minute, no more.
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && { echo "SIG$signal did not stop it"; kill -s KILL "$pid"; }
  wait "$pid"
  code=$?
  if [[ $code -ne 0 ]] || ! grep -q "^brindlecap-cli: stopped" "$work/err" || [[ -s "$work/out" ]]; then
    echo "FAIL: SIG$signal: exit code $code (want 0 and a stopped line), output:"
    cat "$work/out" "$work/err"
    status=1
  else
    echo "ok: SIG$signal ends the watch with exit code 0"
  fi
done
exit $status
