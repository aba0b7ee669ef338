#!/usr/bin/env bash
# Makes the release folder dist/kavel-setup/ (the program, syslinux.cfg,
# syslinux's UEFI loaders in efi/ and a short text in Chinese and English on
# what to put beside it) and its zip, dist/kavel-setup.zip.
# Usage: make-dist.sh [OUTPUT_FOLDER]  (default: dist)
# KAVEL_DIST_EXE names an installer already built and KAVEL_DIST_EFI the efi
# folder the same build took from Debian's packages (the build is then skipped).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-dist}")
exe=${KAVEL_DIST_EXE:-}
efi=${KAVEL_DIST_EFI:-}
if [ -z "$exe" ]; then
  bash scripts/install-deps.sh
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target kavel-setup efi_loaders
  exe=build/win32/kavel-setup.exe
  efi=build/win32/efi
fi
loaders=(BOOTX64.EFI ldlinux.e64 BOOTIA32.EFI ldlinux.e32)
for f in "${loaders[@]}"; do
  [ -s "$efi/$f" ] || { echo "make-dist: no UEFI loader $efi/$f" >&2; exit 1; }
done

folder=$out/kavel-setup
rm -rf "$folder" "$out/kavel-setup.zip"
mkdir -p "$folder"
cp "$exe" "$folder/"
mkdir "$folder/efi"
for f in "${loaders[@]}"; do cp "$efi/$f" "$folder/efi/"; done
# The loaders are syslinux's (GPL-2+): their licence terms go with them.
sed 's/$/\r/' /usr/share/doc/syslinux-efi/copyright >"$folder/efi/syslinux-copyright.txt"
# Windows text files: CR LF line ends; the readme as UTF-8 with a byte-order
# mark, so that Notepad shows the Chinese text.
sed 's/$/\r/' resources/syslinux.cfg >"$folder/syslinux.cfg"
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' resources/README-dist.txt; } >"$folder/README.txt"
(cd "$out" && zip -q -r -X kavel-setup.zip kavel-setup)
echo "release folder: $folder"
echo "zip: $out/kavel-setup.zip"
