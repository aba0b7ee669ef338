#!/usr/bin/env bash
# An install run from the unpacked release zip under Wine, onto the test
# environment's removable drive E:, with the kit's own 7-Zip. Stand-ins only
# for what Wine lacks: chkdsk, put into the prefix's system folder (the kit
# has none), and syslinux's raw-volume step, which Wine cannot give a folder
# drive; the kit's syslinux.exe is swapped for a stand-in that records how
# the installer called it. That step is then done to WORK/stick.img, a disk
# image of the stick built from exactly the files the installer wrote, by the
# Linux syslinux of the build's syslinux tree SYSLINUX_BUILD (the same boot
# code as the kit's syslinux.exe); tests/boot/stick_boot_test.sh boots it.
# Usage: install_from_zip.sh ZIP IMAGE.iso DRIVER.exe STAND_IN_CHKDSK.exe STAND_IN_SYSLINUX.exe
#                            SYSLINUX_BUILD WORK
set -euo pipefail
zip=$1 image=$2 driver=$3 chkdsk=$4 syslinux=$5 build=$6 work=$7
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../boot/boot_lib.sh"
trap - EXIT
: "${KAVEL_WINE_DIR:?}"
drive=$KAVEL_WINE_DIR/drives/e
system=$KAVEL_WINE_DIR/prefix/drive_c/windows/system32
errors=0
fail() { echo "install from zip: $*" >&2; errors=$((errors + 1)); }

rm -rf "$work"
mkdir -p "$work"
unzip -q "$zip" -d "$work"
kit=$work/kavel-setup
[ -f "$kit/kavel-setup.exe" ] || { echo "the zip holds no kavel-setup/kavel-setup.exe" >&2; exit 1; }
[ ! -e "$kit/chkdsk.exe" ] || { echo "the kit carries a chkdsk.exe" >&2; exit 1; }
mv "$kit/syslinux.exe" "$work/syslinux.exe.kit"
cp "$syslinux" "$kit/syslinux.exe"

# chkdsk in the system folder; one that is there already comes back after.
saved=""
if [ -f "$system/chkdsk.exe" ]; then
  saved=$work/chkdsk.exe.saved
  cp "$system/chkdsk.exe" "$saved"
fi
cp "$chkdsk" "$system/chkdsk.exe"
installer=""
cleanup() {
  if [ -n "$installer" ]; then
    kill "$installer" 2>/dev/null || true
    wait "$installer" 2>/dev/null || true
  fi
  if [ -n "$saved" ]; then cp "$saved" "$system/chkdsk.exe"; else rm -f "$system/chkdsk.exe"; fi
}
trap cleanup EXIT

# An empty drive (its label stays).
find "$drive" -mindepth 1 -maxdepth 1 ! -name .windows-label -exec rm -rf {} +

image_windows="Z:$(tr / '\\' <<<"$(realpath "$image")")"
"$here/../wine/wine-run" "$kit/kavel-setup.exe" >"$work/installer.log" 2>&1 &
installer=$!
rc=0
"$here/../wine/wine-run" "$driver" "$image_windows" E run >"$work/driver.log" 2>&1 </dev/null || rc=$?
[ "$rc" = 0 ] || fail "the run did not end in success: $(tr -d '\r' <"$work/driver.log")"

# What the installer left on the drive, against the image itself.
xorriso -osirrox on -indev "$image" -extract / "$work/image" >/dev/null 2>&1
# (Names may hold blanks: one name a line.)
wanted=$(cd "$work/image" && ls -1 vmlinuz initrd.gz *.sfs | LC_ALL=C sort)
while IFS= read -r f; do
  cmp -s "$work/image/$f" "$drive/kavel/$f" || fail "kavel/$f on the drive is not the image's $f"
done <<<"$wanted"
got=$(cd "$drive/kavel" && ls -1 | LC_ALL=C sort)
[ "$got" = "$wanted" ] || fail "kavel/ holds: $(echo $got)"
[ "$(tr -d '\r' <"$drive/syslinux.cfg")" = "$(tr -d '\r' <"$kit/syslinux.cfg")" ] ||
  fail "syslinux.cfg on the drive is not the kit's"
for f in BOOTX64.EFI ldlinux.e64 BOOTIA32.EFI ldlinux.e32; do
  cmp -s "$kit/efi/$f" "$drive/EFI/BOOT/$f" || fail "EFI/BOOT/$f on the drive is not the kit's efi\\$f"
done
# The stand-in records its command line beside the program that started it.
[ "$(tr -d '\r' <"$kit/chkdsk.args" 2>/dev/null)" = "chkdsk E:" ] ||
  fail "chkdsk in the system folder was not called as chkdsk E: ($(cat "$kit/chkdsk.args" 2>/dev/null))"
[ "$(tr -d '\r' <"$kit/syslinux.args" 2>/dev/null)" = "syslinux -f E:" ] ||
  fail "syslinux was not called as syslinux -f E: ($(cat "$kit/syslinux.args" 2>/dev/null))"

[ $errors = 0 ] || exit 1
echo "installed from the unpacked zip onto E: ($(echo $wanted))"
cp -a "$drive" "$work/files"
make_stick_image "$work/files" "$work/stick.img" "$build"
echo "stick image: $work/stick.img"
