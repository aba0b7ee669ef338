#!/usr/bin/env bash
# Builds the installer, runs a demonstration install under Wine, then starts
# the installed stick in QEMU. The demo image is a small real Kavel Linux test
# system made by the build (Debian's kernel, our own initrd, two .sfs files):
# it boots, finds its files, mounts them and reports what it found. The demo
# removable drive E: is a folder; stand-ins take the place of chkdsk and
# syslinux, which Wine does not have; the real 7-Zip reads the image.
# With a display, the installer opens on it with the image and drive filled
# in: press Start (开始), watch the run end with 安装成功！ and close the
# installer; the stick then starts in a QEMU window. Without one, the run goes
# by itself on a virtual display, screenshots are saved, and the stick's boot
# is shown on the terminal.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target demo syslinux_build

build=$PWD/build/win32
demo=$build/demo
run=$PWD/build/run
export KAVEL_WINE_DIR=$run/wine
tests/wine/env-up.sh "$KAVEL_WINE_DIR" >/dev/null
trap 'tests/wine/env-down.sh "$KAVEL_WINE_DIR"' EXIT
# chkdsk comes from the system folder: the stand-in goes there.
tests/wine/put-stand-in-chkdsk.sh "$KAVEL_WINE_DIR" "$demo/stand-in/chkdsk.exe" >/dev/null
image="Z:$(tr / '\\' <<<"$demo/kavel-demo.iso")"
drive_e=$KAVEL_WINE_DIR/drives/e

echo "Demo image: $demo/kavel-demo.iso (shown to Windows as $image)"
echo "Demo drive E: is the folder $drive_e"
display=${DISPLAY:-}
if [ -n "$display" ]; then
  echo "$display" >"$KAVEL_WINE_DIR/display"
  echo "Starting the installer on $display: press Start, then close it to boot the stick."
  tests/wine/wine-run "$demo/installer/kavel-setup.exe" &
  tests/wine/wine-run "$demo/demo_driver.exe" "$image" E >/dev/null 2>&1 || true
  wait
else
  echo "No display: the demo runs by itself on a virtual display."
  tests/setup_window/screenshot.sh "$demo/installer/kavel-setup.exe" "$run/main-dialog.png"
  tests/install/progress_screenshot.sh "$demo/installer" "$image" "$run/progress-dialog.png" \
    "$demo/demo_driver.exe"
  echo "Files on the demo drive:"
  ls -l "$drive_e" "$drive_e/kavel"
fi
tests/wine/env-down.sh "$KAVEL_WINE_DIR"
trap - EXIT

# The stick as Windows would leave it: the files the installer wrote on E:,
# on a FAT32 partition with syslinux's boot sector (the Linux syslinux the
# build made beside syslinux.exe does what the stand-in could not).
if [ ! -f "$drive_e/kavel/vmlinuz" ] || [ ! -f "$drive_e/syslinux.cfg" ]; then
  echo "Nothing installed on E: (the run was not started or did not end): no stick to boot."
  exit 0
fi
. tests/boot/boot_lib.sh
make_stick_image "$drive_e" "$run/stick.img" "$build/syslinux"
echo "Stick image: $run/stick.img. Starting it in QEMU (no KVM: about half a minute)."
stick=(-m 512 -no-reboot -net none -drive "file=$run/stick.img,format=raw,if=ide" -snapshot)
if [ -n "$display" ]; then
  # The window keeps the last screen (the report) after the test system powers
  # off; the serial port's report comes to the terminal too. Close the window to end.
  DISPLAY=$display qemu-system-x86_64 "${stick[@]}" -no-shutdown -serial stdio -monitor none </dev/null |
    tr -d '\r' | grep --line-buffered '^KAVEL ' || true
else
  # The serial port on the terminal: SeaBIOS, syslinux, then the report.
  timeout 300 qemu-system-x86_64 "${stick[@]}" -nographic -serial mon:stdio </dev/null |
    tr -d '\r' | sed -u 's/\x1b\[[0-9;?=]*[A-Za-z]//g; s/\x1bc//g' || true
fi
