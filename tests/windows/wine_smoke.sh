#!/usr/bin/env bash
# Starts orb-upgrade.exe under Wine on a private X server, checks the warning
# dialog by its title and text, saves a screenshot, clicks Cancel like a person
# and expects the program to end with exit code 0.
#
#   wine_smoke.sh ORB_UPGRADE_EXE WIN_PROBE_EXE ARTIFACT_DIR
set -u
exe=$1 probe=$2 out=$3
mkdir -p "$out"
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$out/wineprefix}
title="ORB-3100/4100 Firmware Upgrade"

display=:$((200 + $$ % 500))
Xvfb "$display" -screen 0 1024x768x24 -noreset >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
fail() { echo "wine smoke: $*" >&2; exit 1; }

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || fail "wineboot failed"

wine "$exe" >/dev/null 2>&1 &
app=$!
found=
for _ in $(seq 1 120); do
  found=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n 1)
  [ -n "$found" ] && break
  sleep 0.5
done
[ -n "$found" ] || fail "no window titled '$title'"

text=$(wine "$probe" text "$title" 1021 | tr -d '\r')
case "$text" in
  *"WARNING: Forcing a firmware upgrade on your ORB"*"any onus on the end user to upgrade manually."*) ;;
  *) fail "the warning text is not in control 1021: '$text'" ;;
esac
import -window root "$out/wine-warning.png" || fail "screenshot failed"

read -r x y < <(wine "$probe" center "$title" 2 | tr -d '\r')
[ -n "${x:-}" ] || fail "no Cancel button"
xdotool mousemove "$x" "$y" click 1

for _ in $(seq 1 60); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.5
done
kill -0 "$app" 2>/dev/null && fail "still running after Cancel"
wait "$app"
code=$?
app=
[ "$code" -eq 0 ] || fail "exit code $code after Cancel"
echo "wine smoke: warning dialog shown, text checked, screenshot $out/wine-warning.png, Cancel gave exit code 0"
