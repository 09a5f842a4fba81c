#!/usr/bin/env bash
# Builds the installer from a MinGW build folder and runs it silently under Wine,
# as a player's silent install would: it must put the programs under Program
# Files with a Start-menu shortcut and (unless /NOSTARTUP) a Startup shortcut,
# both without switches, and write the options page into the user's settings
# (Modern 1 unless /NOMODERN, Notify 1); the silent uninstaller must take all of
# it away again, settings included, and leave the replay copies. The "Brindlecap
# statistics" entry starts a GUI program (no console window) that writes the
# report into the user's local application data; the uninstaller removes entry
# and report. The "Brindlecap settings" entry opens the settings window: what its
# OK writes, a running Brindlecap takes at its next tick, and tells the player of
# the copy it makes. With Brindlecap running, an install over it and the
# uninstaller must end it first.
#   installer_test.sh CPACK BUILD_DIR [WINE] [REPLAYS]
# Screenshots of the settings window and of the notification are left in
# BUILD_DIR/shots.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [[ -z "${BRINDLECAP_XVFB:-}" ]]; then
  # The running program needs a display; never touch the user's own Wine prefix.
  exec "$here/../tools/with-xvfb" "$here/../tools/wine-session" bash "$0" "$@"
fi
cpack=$1
build=$2
wine=${3:-wine}
replays=${4:-$here/replays}
# Shortcuts must not turn into desktop entries of the machine running the test.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"

work=$(mktemp -d "${TMPDIR:-/tmp}/brindlecap-installer.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
absent() { [[ ! -e "$1" ]]; }
# A shortcut keeps its command-line arguments as UTF-16 text after their count of
# characters (Wine counts the terminating NUL, Windows does not); bytes are
# compared one by one, so that no match can straddle two of them.
starts_modern() {  # starts_modern LINK
  [[ -f "$1" ]] && od -An -tx1 -v "$1" | tr -s ' \n' '  ' |
    grep -Eq ' 0[78] 00 2d 00 6d 00 6f 00 64 00 65 00 72 00 6e 00'
}
starts_plain() { [[ -f "$1" ]] && ! starts_modern "$1"; }

if ! "$cpack" --config "$build/CPackConfig.cmake" -G NSIS -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
installer=$(ls "$work"/brindlecap-*-setup.exe)

drive_c="$WINEPREFIX/drive_c"
folder="$drive_c/Program Files/Brindlecap"
programs="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
menu_link="$programs/Brindlecap.lnk"
statistics_link="$programs/Brindlecap statistics.lnk"
# Wine 8 keeps local application data in AppData\Local, older Wines elsewhere.
report_file() { find "$drive_c/users" -ipath "*/brindlecap/report.html" 2>/dev/null | head -n 1; }
# The link's target, in the ANSI or the UTF-16 form a shortcut may keep it in.
leads_to_report_exe() {  # leads_to_report_exe LINK
  [[ -f "$1" ]] && python3 -c '
import sys
data = open(sys.argv[1], "rb").read().lower()
name = "brindlecap-report.exe"
sys.exit(0 if name.encode() in data or name.encode("utf-16-le") in data else 1)' "$1"
}
# A GUI program: Windows opens no console window for it.
gui_program() {
  x86_64-w64-mingw32-objdump -p "$1" | grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]'
}
# The user's Startup folder; Wine names it "StartUp", Windows "Startup". Earlier
# versions used all users' (below $programs): none may be left there.
startup_link() {
  find "$drive_c/users" "$programs" -ipath "*/startup/brindlecap.lnk" 2>/dev/null | head -n 1
}
settings_link="$programs/Brindlecap settings.lnk"
settings_key='HKCU\Software\Brindlecap'
# A value of the user's settings as reg prints it ("0x1"), or "none".
setting() {  # setting NAME
  local said
  said=$("$wine" reg query "$settings_key" /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print }')
  echo "${said:-none}"
}
leads_to() {  # leads_to LINK PROGRAM
  [[ -f "$1" ]] && python3 -c '
import sys
data = open(sys.argv[1], "rb").read().lower()
name = sys.argv[2]
sys.exit(0 if name.encode() in data or name.encode("utf-16-le") in data else 1)' "$1" "$2"
}
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlecap'

uninstall() {
  # The uninstaller copies itself away and returns at once; wait for its work.
  "$wine" "$folder/Uninstall.exe" /S
  for _ in $(seq 600); do
    [[ -e "$folder" ]] || break
    sleep 0.1
  done
}

# Starts the installed program as the Startup shortcut would, and waits for its
# window. The exit code lands in $work/running.exit once it ends.
driver="$build/e2e/brindlecap-driver.exe"
start_installed() {
  rm -f "$work/running.exit"
  ("$wine" "$folder/brindlecap.exe" </dev/null >/dev/null 2>&1; echo $? >"$work/running.exit") &
  "$wine" "$driver" window 0 20000 >/dev/null 2>&1
}
ended_with_zero() {
  for _ in $(seq 100); do
    [[ -s "$work/running.exit" ]] && break
    sleep 0.1
  done
  [[ "$(cat "$work/running.exit" 2>/dev/null)" == 0 ]]
}

# A silent install takes every component, the Startup shortcut included.
"$wine" "$installer" /S
check "installer exit code" test $? -eq 0
for file in brindlecap.exe brindlecap-cli.exe brindlecap-report.exe brindlecap-settings.exe \
  README.txt LICENSE.txt LICENSE-sample-replay.txt LICENSE-libdeflate.txt \
  Uninstall.exe; do
  check "installed $file" test -f "$folder/$file"
done
check "installed the guide the README leads to" test -f "$folder/docs/guide.md"
check "Start-menu shortcut" test -f "$menu_link"
check "Startup shortcut" test -n "$(startup_link)"
check "Start-menu shortcut passes no switch" starts_plain "$menu_link"
check "Startup shortcut passes no switch" starts_plain "$(startup_link)"
check "... in the user's own Startup folder" bash -c "[[ '$(startup_link)' == '$drive_c/users/'* ]]"
check "the options page wrote Modern 1 into the settings" test "$(setting Modern)" = 0x1
check "... and Notify 1, ticked by default" test "$(setting Notify)" = 0x1
check "... and nothing else" test "$(setting KeepCustomGames)$(setting NameTemplate)" = nonenone
check "Start-menu entry Brindlecap settings" test -f "$settings_link"
check "... starts brindlecap-settings.exe" leads_to "$settings_link" brindlecap-settings.exe
check "... a GUI program, no console window" gui_program "$folder/brindlecap-settings.exe"
check "Start-menu entry Brindlecap statistics" test -f "$statistics_link"
check "... starts brindlecap-report.exe" leads_to_report_exe "$statistics_link"
check "... a GUI program, no console window" gui_program "$folder/brindlecap-report.exe"
# Run as the entry runs it, the browser left closed.
BRINDLECAP_REPORT_NO_OPEN=1 timeout 120 "$wine" "$folder/brindlecap-report.exe" \
  </dev/null >"$work/report.out" 2>"$work/report.err"
check "... writes the report, with exit code 0" test $? -eq 0
check "... into the local application data" test -n "$(report_file)"
check "... a whole page" bash -c "tail -c 8 '$(report_file)' | grep -q '</html>'"
check "listed in Apps and Features" \
  bash -c "'$wine' reg query '$key' /v UninstallString >/dev/null 2>&1"
expected=$(basename "$installer" -setup.exe)
expected=${expected#brindlecap-}
version=$("$wine" "$folder/brindlecap-cli.exe" --version | tr -d '\r')
check "installed brindlecap-cli --version says $expected" test "$version" = "$expected"

# The settings window, opened from its entry beside a running Brindlecap: what
# its OK writes is taken at the next tick, without a restart, and the copy it
# makes is told in a notification.
game="$work/game"
mkdir -p "$game/replay"
"$wine" reg add 'HKCU\Software\Blizzard Entertainment\Warcraft III' /v InstallPathX /t REG_SZ \
  /d "Z:${game//\//\\}" /f >/dev/null 2>&1
cp "$replays/130-standard_1304.w3g" "$game/replay/LastReplay.w3g"  # there at start-up
shots="$build/shots"
mkdir -p "$shots"
# No window manager runs on the private X server: Wine draws the frames itself.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
drive() { "$wine" "$driver" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
check "the installed program runs with the settings the installer wrote" start_installed
"$wine" start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Brindlecap settings.lnk" \
  </dev/null >/dev/null 2>&1
window=$(drive settings 0 30000)
check "the entry opens the settings window" grep -qx "label=Next name (of your last replay):" \
  <<<"$window"
boxes=$(grep -E '^(custom|date|modern|notify|startup)=' <<<"$window" | tr '\n' ' ')
check "... with the installer's settings ticked" \
  test "$boxes" = "custom=0 date=1 modern=1 notify=1 startup=1 "
drive set-template 0 "{type} {players}{game} by template" >/dev/null
drive tick 0 custom >/dev/null
window=$(drive settings 0)
check "... whose preview follows the template" \
  grep -qxF 'preview=1v1\1v1 Stormhoof(e) vs buffMyKotg(e) by template.w3g' <<<"$window"
drive shot "Z:${shots//\//\\}\\settings.png" "Brindlecap settings" >/dev/null
check "OK closes it" "$wine" "$driver" ok 0
check "... having written the template and keep custom games" \
  test "$(setting KeepCustomGames)|$(setting NameTemplate)" = "0x1|{type} {players}{game} by template"
# A custom game, which only the new setting keeps, named by the new template.
cp "$replays/130-standard_1304.2on2.w3g" "$game/replay/.incoming"
touch -d "@$(($(date +%s) - 60))" "$game/replay/.incoming"
mv -f "$game/replay/.incoming" "$game/replay/LastReplay.w3g"
copy="$game/replay/Custom/Custom final5678 by template.w3g"
for _ in $(seq 250); do
  [[ -f "$copy" ]] && break
  sleep 0.1
done
check "the running program files the next replay by them, without a restart" test -f "$copy"
balloon=$(drive balloons 15000)
echo "  (the desktop shows: ${balloon//$'\n'/; })"
check "... and says so in a notification" \
  grep -qF "balloon=Custom\\Custom final5678 by template.w3g" <<<"$balloon"
# The balloon, and the tray icon it points at.
corner=$(sed -n 's/^rect=[0-9-]*,[0-9-]*,\([0-9]*\),\([0-9]*\)$/\1,\2/p' <<<"$balloon")
drive shot "Z:${shots//\//\\}\\notification.png" "0,0,$((${corner%,*} + 8)),$((${corner#*,} + 8))" \
  >/dev/null
# The shell tells the icon's window of a click on its notification; Explorer then
# opens on the copy's folder (whether the copy is selected in it, Wine's Explorer
# does not let another program see).
drive click 0 balloon >/dev/null
check "a click on the notification opens Explorer on the copy's folder" \
  "$wine" "$driver" explorer Custom 20000

uninstall
check "uninstall removes Program Files\\Brindlecap" absent "$folder"
check "uninstall removes the Start-menu shortcut" absent "$menu_link"
check "uninstall removes the Startup shortcut" test -z "$(startup_link)"
check "uninstall removes the statistics entry" absent "$statistics_link"
check "uninstall removes the settings entry" absent "$settings_link"
check "uninstall removes the settings" test "$(setting Modern)$(setting KeepCustomGames)" = nonenone
check "... and leaves the replay copies" test -f "$copy"
check "uninstall removes the report" test -z "$(report_file)"
check "uninstall removes the Apps and Features entry" \
  bash -c "! '$wine' reg query '$key' >/dev/null 2>&1"

# Brindlecap running: an install over it ends it and replaces its files, the
# uninstaller ends it and leaves nothing.
"$wine" "$installer" /S
check "install to run" test -f "$folder/brindlecap.exe"
check "the installed program runs" start_installed
echo "changed" >>"$folder/README.txt"
"$wine" "$installer" /S
check "an install over the running program ends it, with exit code 0" ended_with_zero
check "... and replaces its files" cmp -s "$folder/README.txt" "$here/../README.md"
check "... the program too" cmp -s "$folder/brindlecap.exe" "$build/brindlecap.exe"
check "the program runs again" start_installed
uninstall
check "the uninstaller ends the running program, with exit code 0" ended_with_zero
check "... and leaves nothing" absent "$folder"
check "... no Start-menu shortcut either" absent "$menu_link"

# The Startup shortcut is an offer: /NOSTARTUP declines it in a silent install.
"$wine" "$installer" /S /NOSTARTUP
check "install with /NOSTARTUP" test -f "$folder/brindlecap.exe"
check "no Startup shortcut with /NOSTARTUP" test -z "$(startup_link)"
check "Start-menu shortcut with /NOSTARTUP" test -f "$menu_link"
uninstall
check "second uninstall removes everything" absent "$folder"

# -modern is an offer too: /NOMODERN leaves it off both shortcuts.
"$wine" "$installer" /S /NOMODERN
check "install with /NOMODERN" test -f "$folder/brindlecap.exe"
check "Start-menu shortcut without -modern with /NOMODERN" starts_plain "$menu_link"
check "Startup shortcut without -modern with /NOMODERN" starts_plain "$(startup_link)"
check "Modern 0 in the settings with /NOMODERN" test "$(setting Modern)" = 0x0
"$wine" reg add "$settings_key" /v Notify /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" "$installer" /S
check "installed again, a box cleared in the settings stays cleared" \
  test "$(setting Modern)$(setting Notify)" = 0x00x0
uninstall
check "third uninstall removes everything" absent "$folder"

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
