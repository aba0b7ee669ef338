#!/usr/bin/env bash
# Builds syslinux.exe (32-bit Windows) and the Linux installer of the same
# boot code from Debian's syslinux source package, reproducibly: the build
# date comes from the package's changelog, as Debian's own build takes it.
# Usage: build-syslinux.sh DOWNLOADS OUT
#   DOWNLOADS  where the source package is (fetched there when missing)
#   OUT        gets tree/ (the unpacked, built source) and these files:
#     syslinux.exe    bios/win32/syslinux.exe
#     syslinux        bios/mtools/syslinux (Linux, the same boot code)
#     mbr.bin         bios/mbr/mbr.bin
#     boot-code/      ldlinux.bss, ldlinux.sys, ldlinux.c32: the boot code
#                     both installers carry inside them
#     COPYING         the GNU GPL, version 2, of the source
#     copyright       Debian's copyright file of the package
#     source          "syslinux <version>": the source package it came from
# A build of the same source version already in OUT is kept.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
downloads=$(realpath -m "$1")
out=$(realpath -m "$2")

bash "$here/fetch-syslinux-source.sh" "$downloads"
version=$(dpkg-query -W -f='${source:Version}' syslinux-common)
dsc=$downloads/syslinux_${version#*:}.dsc
products=(syslinux.exe syslinux mbr.bin boot-code/ldlinux.bss boot-code/ldlinux.sys
          boot-code/ldlinux.c32 COPYING copyright source)

cached=1
for f in "${products[@]}"; do [ -f "$out/$f" ] || cached=0; done
if [ $cached = 1 ] && [ "$(cat "$out/source")" = "syslinux $version" ]; then
  # Kept; newer than what asked for it, so that the build does not ask again.
  for f in "${products[@]}"; do touch "$out/$f"; done
  exit 0
fi

rm -rf "$out"
mkdir -p "$out"
tree=$out/tree
dpkg-source -q -x "$dsc" "$tree" >/dev/null
# dpkg-source leaves a link to the original tarball beside the tree.
rm -f "$out"/*.orig.tar.*
epoch=$(dpkg-parsechangelog -l "$tree/debian/changelog" -STimestamp)
start=$(date +%s)
# Debian's build leaves LDFLAGS out; a make of an outer build must not leak in.
(cd "$tree" &&
   env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL -u LDFLAGS -u CFLAGS -u CPPFLAGS \
     SOURCE_DATE_EPOCH="$epoch" \
     make -j"$(nproc)" bios PYTHON=python3 \
       DATE="$(TZ=UTC0 date -d@"$epoch" +%Y%m%d)" HEXDATE="$(printf '0x%08x' "$epoch")") \
  >"$out/build.log" 2>&1 || { tail -30 "$out/build.log" >&2; echo "syslinux: make failed" >&2; exit 1; }
# When MinGW's test compile fails, the source's make deletes the exe and still
# ends with success: only the file itself tells.
boot_code=(bios/core/ldlinux.bss bios/core/ldlinux.sys bios/com32/elflink/ldlinux/ldlinux.c32)
for f in bios/win32/syslinux.exe bios/mtools/syslinux bios/mbr/mbr.bin "${boot_code[@]}"; do
  if [ ! -s "$tree/$f" ]; then
    grep -i -B2 -A5 'mingw\|win32' "$out/build.log" | tail -30 >&2
    echo "syslinux: the build gave no $f (see $out/build.log)" >&2
    exit 1
  fi
done
cp "$tree/bios/win32/syslinux.exe" "$tree/bios/mtools/syslinux" "$tree/bios/mbr/mbr.bin" \
  "$tree/COPYING" "$out/"
cp "$tree/debian/copyright" "$out/copyright"
mkdir -p "$out/boot-code"
for f in "${boot_code[@]}"; do cp "$tree/$f" "$out/boot-code/"; done
echo "$(( $(date +%s) - start ))" >"$out/build-seconds"
echo "syslinux $version" >"$out/source"
