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

# Addresses that Wine hands to the desktop (ShellExecute of an http address
# ends in xdg-open through winebrowser) are recorded, not opened: one line
# each in opened.log, and in opened-by.log who asked: "desktop" when the
# desktop's shell did (its processes carry KAVEL_OPENED_BY, see below), else
# "program". The desktop's own processes start here, so they find it first.
mkdir -p "$dir/bin"
cat >"$dir/bin/xdg-open" <<'OPENER'
#!/bin/sh
log=$(dirname "$0")/..
printf '%s\n' "${KAVEL_OPENED_BY:-program}" >>"$log/opened-by.log"
printf '%s\n' "$*" >>"$log/opened.log"
OPENER
chmod +x "$dir/bin/xdg-open"
# The processes of the Wine session itself (services, the desktop's shell)
# start from here and carry the mark; a test's programs start from ctest.
export PATH="$dir/bin:$PATH" KAVEL_OPENED_BY=desktop

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
# The desktop's shell, started here rather than by whichever test needs it
# first, so that every address handed to it meets the stand-in xdg-open.
wine explorer.exe /desktop >>"$dir/wineboot.log" 2>&1 &
for _ in $(seq 100); do
  pgrep -f 'explorer.exe /desktop' | while read -r pid; do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done | grep -q . && break
  sleep 0.1
done
sleep 1 # its windows and its place among the shell's windows
echo "Wine test environment ready in $dir (display $DISPLAY)"
