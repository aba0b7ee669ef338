#!/usr/bin/env bash
# Makes the release folder dist/kavel-setup/ and its zip, dist/kavel-setup.zip:
# everything an install onto a USB drive needs on Windows, in one folder.
#   kavel-setup.exe, syslinux.cfg     the program and the stick's boot menu
#   syslinux.exe                      built from Debian's syslinux source package
#   efi/                              syslinux's UEFI loaders from Debian's packages
#   g2ldr.mbr, g2ldr                  GRUB 2 for a hard-disk install, made from
#                                     Debian's grub-pc-bin (scripts/build-grub-loaders.sh)
#   efi-grub/grubx64.efi              GRUB 2 for a hard-disk install on a PC that starts
#                                     Windows through 64-bit UEFI, made from Debian's
#                                     grub-efi-amd64-bin (scripts/build-grub-efi.sh)
#   7z.exe, 7z.dll                    7-Zip for 32-bit Windows
#   license-syslinux.txt, license-grub.txt, license-7zip.txt, README.txt
# Usage: make-dist.sh [OUTPUT_FOLDER]  (default: dist)
# KAVEL_DIST_EXE names an installer already built, KAVEL_DIST_SYSLINUX the
# output folder of scripts/build-syslinux.sh, KAVEL_DIST_7ZIP the folder with
# 7z.exe, 7z.dll and License.txt, KAVEL_DIST_EFI the efi folder the build took
# from Debian's packages, KAVEL_DIST_GRUB the output folder of
# scripts/build-grub-loaders.sh, KAVEL_DIST_GRUB_EFI that of
# scripts/build-grub-efi.sh; without them the build makes what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-dist}")
exe=${KAVEL_DIST_EXE:-}
syslinux=${KAVEL_DIST_SYSLINUX:-}
sevenzip=${KAVEL_DIST_7ZIP:-/opt/kavel-setup/7zip}
efi=${KAVEL_DIST_EFI:-}
grub=${KAVEL_DIST_GRUB:-}
grub_efi=${KAVEL_DIST_GRUB_EFI:-}
if [ -z "$exe" ] || [ -z "$syslinux" ] || [ -z "$efi" ] || [ -z "$grub" ] || [ -z "$grub_efi" ]; then
  bash scripts/install-deps.sh
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target kavel-setup syslinux_build efi_loaders grub_loaders grub_efi
  exe=${exe:-build/win32/kavel-setup.exe}
  syslinux=${syslinux:-build/win32/syslinux}
  efi=${efi:-build/win32/efi}
  grub=${grub:-build/win32/grub}
  grub_efi=${grub_efi:-build/win32/grub-efi}
fi
loaders=(BOOTX64.EFI ldlinux.e64 BOOTIA32.EFI ldlinux.e32)
for f in "${loaders[@]}"; do
  [ -s "$efi/$f" ] || { echo "make-dist: no UEFI loader $efi/$f" >&2; exit 1; }
done
for f in "$exe" "$syslinux/syslinux.exe" "$syslinux/COPYING" "$syslinux/copyright" \
         "$syslinux/source" "$sevenzip/7z.exe" "$sevenzip/7z.dll" "$sevenzip/License.txt" \
         "$grub/g2ldr.mbr" "$grub/g2ldr" "$grub/COPYING" "$grub/copyright" "$grub/source" \
         "$grub_efi/grubx64.efi" "$grub_efi/source"; do
  [ -s "$f" ] || { echo "make-dist: missing $f" >&2; exit 1; }
done

folder=$out/kavel-setup
rm -rf "$folder" "$out/kavel-setup.zip"
mkdir -p "$folder"
cp "$exe" "$folder/kavel-setup.exe"
cp "$syslinux/syslinux.exe" "$sevenzip/7z.exe" "$sevenzip/7z.dll" "$grub/g2ldr.mbr" "$grub/g2ldr" \
  "$folder/"
mkdir "$folder/efi"
for f in "${loaders[@]}"; do cp "$efi/$f" "$folder/efi/"; done
# Not in efi\: those files go onto a USB drive, this one onto the EFI system
# partition of a hard disk.
mkdir "$folder/efi-grub"
cp "$grub_efi/grubx64.efi" "$folder/efi-grub/"
# Windows text files: CR LF line ends (a file that has them already keeps
# them); the readme as UTF-8 with a byte-order mark, so that Notepad shows
# the Chinese text.
crlf() { sed 's/\r$//; s/$/\r/' "$@"; }
crlf resources/syslinux.cfg >"$folder/syslinux.cfg"
{ printf '\xef\xbb\xbf'; crlf resources/README-dist.txt; } >"$folder/README.txt"
crlf "$sevenzip/License.txt" >"$folder/license-7zip.txt"
# The loaders are syslinux's (GPL-2+): their licence terms go with them.
crlf /usr/share/doc/syslinux-efi/copyright >"$folder/efi/syslinux-copyright.txt"

# The end of a licence text: the GPL's terms for NAME, with where its source
# is, then the GPL itself and Debian's copyright file, both from FOLDER.
gpl_terms() { # NAME GPL_VERSION FOLDER PACKAGE VERSION
  cat <<TXT
$1 is free software: you can redistribute it and/or modify it under the
terms of the GNU General Public License, version $2 or (at your option) any
later version. Its complete source is that Debian source package, of that
exact version; on Debian: apt-get source $4=$5

The GNU General Public License, version $2, follows, then Debian's copyright
file of the source package, which names the authors and the licence of
each part.

TXT
  cat "$3/COPYING"
  printf '\n\nDebian copyright file of %s %s\n' "$4" "$5"
  printf '==========================================================\n\n'
  cat "$3/copyright"
}

read -r package version <"$syslinux/source"
{
  cat <<TXT
syslinux.exe
============

syslinux.exe in this folder (SYSLINUX 6.04) was built without changes from
Debian's source package "$package", version $version,
for 32-bit Windows with the MinGW-w64 compiler. The UEFI loaders in efi\\
are Debian's own builds of the same source package and version (packages
syslinux-efi and syslinux-common).

TXT
  gpl_terms It 2 "$syslinux" "$package" "$version"
} | crlf >"$folder/license-syslinux.txt"

# grub-pc-bin and grub-efi-amd64-bin each need grub-common of their own
# version, so installed together they are of one version: a difference means
# one of the build's folders is stale.
read -r package version <"$grub/source"
if [ "$(cat "$grub_efi/source")" != "$package $version" ]; then
  echo "make-dist: $grub_efi was made from $(cat "$grub_efi/source"), $grub from $package $version:" >&2
  echo "make-dist: build both again" >&2
  exit 1
fi
{
  cat <<TXT
GRUB 2: g2ldr.mbr, g2ldr and efi-grub\\grubx64.efi
=================================================

g2ldr.mbr, g2ldr and efi-grub\\grubx64.efi in this folder are GRUB 2 from
Debian's source package "$package", version $version (packages
grub-pc-bin, grub-efi-amd64-bin and grub-common).

g2ldr.mbr is Debian's /usr/lib/grub/i386-pc/g2ldr.mbr, unchanged. g2ldr is
Debian's g2hdr.img followed by a GRUB core image made with that version's
grub-mkimage from its i386-pc modules, holding a short configuration of its
own: read the menu.lst beside g2ldr.

efi-grub\\grubx64.efi is a GRUB image for 64-bit UEFI made with that
version's grub-mkimage from its x86_64-efi modules (grub-efi-amd64-bin),
holding a short configuration of its own: read the kavel.cfg beside it,
which names the partition whose menu.lst is read.

TXT
  gpl_terms GRUB 3 "$grub" "$package" "$version"
} | crlf >"$folder/license-grub.txt"

(cd "$out" && zip -q -r -X kavel-setup.zip kavel-setup)
echo "release folder: $folder"
echo "zip: $out/kavel-setup.zip"
