#!/usr/bin/env bash
# Sets up one Wine test environment in folder $1: its own X display (Xvfb), a
# fresh 32-bit prefix in Chinese locale, and one persistent wineserver for the
# whole run. Every process started here is recorded by pid for env-down.sh.
set -euo pipefail
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$dir/xvfb.pid" ] && "$here/env-down.sh" "$dir" || true
rm -rf "$dir"
mkdir -p "$dir"

# Display. -displayfd picks a free display number.
exec 3>"$dir/display.number"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
echo $! >"$dir/xvfb.pid"
exec 3>&-
for _ in $(seq 100); do [ -s "$dir/display.number" ] && break; sleep 0.1; done
[ -s "$dir/display.number" ] || { echo "Xvfb did not start" >&2; exit 1; }
echo ":$(tr -d '\n' <"$dir/display.number")" >"$dir/display"

export WINEPREFIX="$dir/prefix" WINEARCH=win32 WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 WINEDLLOVERRIDES=winemenubuilder.exe=d
DISPLAY=$(cat "$dir/display") && export DISPLAY

start_server() {
  wineserver -p -f >>"$dir/wineserver.log" 2>&1 &
  echo $! >"$dir/wineserver.pid"
}
start_server
timeout 120 wineboot -i >"$dir/wineboot.log" 2>&1
# Title-bar buttons are drawn with Marlett, which the prefix does not get by itself.
for f in /usr/share/wine/fonts/marlett.ttf; do
  [ -f "$f" ] && cp "$f" "$WINEPREFIX/drive_c/windows/Fonts/"
done
# Unmanaged windows: closing a dialog does not wait on a window manager.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$dir/wineboot.log" 2>&1
# Later steps of the set-up (drives, ...) hook in here.
if [ -d "$here/env-up.d" ]; then
  for step in "$here"/env-up.d/*.sh; do
    [ -f "$step" ] && bash "$step" "$dir"
  done
fi
# The server reads drive types and settings when it starts: start it anew.
wineserver -k >/dev/null 2>&1 || true
old=$(cat "$dir/wineserver.pid")
for _ in $(seq 50); do kill -0 "$old" 2>/dev/null || break; sleep 0.1; done
start_server
# Start the prefix's own services now, with their output in a file: started by
# a test instead, they would hold the test's output pipe open after it ends.
timeout 120 wineboot -r >>"$dir/wineboot.log" 2>&1
echo "Wine test environment ready in $dir (display $DISPLAY)"
