#!/usr/bin/env bash
# Builds the installer and runs a demonstration install under Wine: a demo
# image made here (placeholder files, not a real Kavel Linux system), a demo
# removable drive E: (a folder), and stand-ins for chkdsk and syslinux, which
# Wine does not have. The real 7-Zip reads the image.
# With a display, the installer opens on it with the image and drive filled
# in: press Start (开始) and watch the run end with 安装成功！. Without one, the
# run goes by itself on a virtual display and screenshots are saved.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target demo

build=$PWD/build/win32
demo=$build/demo
export KAVEL_WINE_DIR=$PWD/build/run/wine
tests/wine/env-up.sh "$KAVEL_WINE_DIR" >/dev/null
trap 'tests/wine/env-down.sh "$KAVEL_WINE_DIR"' EXIT
# chkdsk comes from the system folder: the stand-in goes there.
tests/wine/put-stand-in-chkdsk.sh "$KAVEL_WINE_DIR" "$demo/stand-in/chkdsk.exe" >/dev/null
image="Z:$(tr / '\\' <<<"$demo/kavel-demo.iso")"
drive_e=$KAVEL_WINE_DIR/drives/e

echo "Demo image: $demo/kavel-demo.iso (shown to Windows as $image)"
echo "Demo drive E: is the folder $drive_e"
if [ -n "${DISPLAY:-}" ]; then
  echo "$DISPLAY" >"$KAVEL_WINE_DIR/display"
  echo "Starting the installer on $DISPLAY: press Start; close it to end."
  tests/wine/wine-run "$demo/installer/kavel-setup.exe" &
  tests/wine/wine-run "$demo/demo_driver.exe" "$image" E >/dev/null 2>&1 || true
  wait
else
  echo "No display: the demo runs by itself on a virtual display."
  tests/ui/screenshot.sh "$demo/installer/kavel-setup.exe" "$PWD/build/run/main-dialog.png"
  tests/ui/progress_screenshot.sh "$demo/installer" "$image" "$PWD/build/run/progress-dialog.png" \
    "$demo/demo_driver.exe"
  echo "Files on the demo drive:"
  ls -l "$drive_e" "$drive_e/kavel"
fi
