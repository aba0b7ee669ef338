#!/usr/bin/env bash
# Builds the installer and starts it under Wine, in a Wine environment of its
# own (build/demo). Uses your display when there is one; on a machine without
# a display it runs on a virtual one and saves a screenshot instead.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target kavel-setup

demo=$PWD/build/demo
export KAVEL_WINE_DIR=$demo/wine
tests/wine/env-up.sh "$KAVEL_WINE_DIR" >/dev/null
trap 'tests/wine/env-down.sh "$KAVEL_WINE_DIR"' EXIT

mkdir -p "$demo/installer"
cp build/win32/kavel-setup.exe "$demo/installer/"

if [ -n "${DISPLAY:-}" ]; then
  echo "$DISPLAY" >"$KAVEL_WINE_DIR/display"
  echo "Starting the installer on $DISPLAY; close it to end."
  tests/wine/wine-run "$demo/installer/kavel-setup.exe"
else
  echo "No display: running the installer on a virtual display."
  tests/ui/screenshot.sh "$demo/installer/kavel-setup.exe" "$demo/main-dialog.png"
  echo "Screenshot of the main dialog: $demo/main-dialog.png"
fi
