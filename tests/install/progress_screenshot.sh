#!/usr/bin/env bash
# Runs a demonstration install in the test environment and photographs the
# progress dialog when the run has ended.
# Usage: progress_screenshot.sh INSTALLER_FOLDER IMAGE_WINDOWS_PATH OUTPUT.png DRIVER.exe
set -euo pipefail
folder=$1 image=$2 out=$3 driver=$4
here=$(cd "$(dirname "$0")" && pwd)
: "${KAVEL_WINE_DIR:?}"
DISPLAY=$(cat "$KAVEL_WINE_DIR/display") && export DISPLAY
mkdir -p "$(dirname "$out")"
rm -rf "$KAVEL_WINE_DIR/drives/e/kavel" "$KAVEL_WINE_DIR/drives/e/syslinux.cfg"

"$here/../wine/wine-run" "$folder/kavel-setup.exe" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
"$here/../wine/wine-run" "$driver" "$image" E run

line=$(xwininfo -root -tree | grep -F "\"$(printf '\xe5\xae\x89\xe8\xa3\x85')\"" | head -n 1)
geometry=$(sed -E 's/.* ([0-9]+x[0-9]+)\+([0-9]+)\+([0-9]+) .*/\1+\2+\3/' <<<"$line")
[ -n "$geometry" ] || { echo "no progress dialog on the screen" >&2; exit 1; }
import -window root -crop "$geometry" +repage "$out"
echo "progress dialog $geometry -> $out"
