#!/usr/bin/env bash
# Starts the installer in the test environment, photographs its main dialog
# and checks the picture is more than an empty window.
# Usage: screenshot.sh INSTALLER OUTPUT.png
set -euo pipefail
installer=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${KAVEL_WINE_DIR:?}"
DISPLAY=$(cat "$KAVEL_WINE_DIR/display") && export DISPLAY
mkdir -p "$(dirname "$out")"

"$here/../wine/wine-run" "$installer" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

title=$(printf 'Kavel Linux U\xe7\x9b\x98')   # the start of the window title
geometry=""
for _ in $(seq 100); do
  line=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title" | head -n 1 || true)
  if [ -n "$line" ]; then
    geometry=$(sed -E 's/.* ([0-9]+x[0-9]+)\+([0-9]+)\+([0-9]+) .*/\1+\2+\3/' <<<"$line")
    break
  fi
  sleep 0.1
done
[ -n "$geometry" ] || { echo "main dialog did not appear" >&2; exit 1; }
sleep 1   # let it paint
import -window root -crop "$geometry" +repage "$out"

colours=$(/usr/bin/convert "$out" -format '%k' info:)
echo "main dialog $geometry, $colours colours -> $out"
[ "$colours" -gt 16 ] || { echo "the picture looks empty" >&2; exit 1; }
