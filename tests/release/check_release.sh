#!/usr/bin/env bash
# Makes the release folder from the built pieces and checks what a Windows
# user gets: every file an install onto a USB drive needs, the very bytes the
# build made, syslinux's UEFI loaders and GRUB 2's g2ldr.mbr as Debian ships
# them, GRUB 2 for UEFI in a folder of its own, the licence texts, the readme,
# and the zip holding that folder.
# Usage: check_release.sh INSTALLER SYSLINUX_BUILD_FOLDER SEVEN_ZIP_FOLDER EFI_FOLDER OUTPUT_FOLDER
#                         GRUB_LOADERS_FOLDER GRUB_EFI_FOLDER
set -euo pipefail
exe=$1 syslinux=$2 sevenzip=$3 efi=$4 out=$5 grub=$6 grub_efi=$7
src=$(cd "$(dirname "$0")/../.." && pwd)
grub_lib=/usr/lib/grub/i386-pc
rm -rf "$out"
KAVEL_DIST_EXE=$exe KAVEL_DIST_SYSLINUX=$syslinux KAVEL_DIST_7ZIP=$sevenzip KAVEL_DIST_EFI=$efi \
  KAVEL_DIST_GRUB=$grub KAVEL_DIST_GRUB_EFI=$grub_efi bash "$src/scripts/make-dist.sh" "$out" >/dev/null
folder=$out/kavel-setup
errors=0
fail() { echo "release: $*" >&2; errors=$((errors + 1)); }
# The licence file LIC holds the GNU GPL whose version line is VERSION_LINE;
# GPL names that licence in the message.
holds_gpl() { # LIC VERSION_LINE GPL
  grep -q 'GNU GENERAL PUBLIC LICENSE' "$1" && grep -q "$2" "$1" ||
    fail "${1##*/} lacks $3"
}
# The licence file LIC names the source package PACKAGE of version VERSION,
# followed by AFTER (so that no longer version passes), and says how to get it.
names_source() { # LIC PACKAGE VERSION AFTER
  grep -q -F "source package \"$2\", version $3$4" "$1" ||
    fail "${1##*/} does not name source package $2 $3"
  grep -q -F "apt-get source $2=$3" "$1" || fail "${1##*/} does not say how to get the source"
}

# Exactly these files, nothing missing, nothing left over.
expected="7z.dll 7z.exe README.txt efi-grub/grubx64.efi efi/BOOTIA32.EFI efi/BOOTX64.EFI efi/ldlinux.e32 efi/ldlinux.e64 efi/syslinux-copyright.txt g2ldr g2ldr.mbr kavel-setup.exe license-7zip.txt license-grub.txt license-syslinux.txt syslinux.cfg syslinux.exe"
present=$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$present" = "$expected " ] || fail "the folder holds: $present"

cmp -s "$exe" "$folder/kavel-setup.exe" || fail "kavel-setup.exe is not the program built"
cmp -s "$syslinux/syslinux.exe" "$folder/syslinux.exe" || fail "syslinux.exe is not the one built"
cmp -s "$sevenzip/7z.exe" "$folder/7z.exe" || fail "7z.exe differs from 7-Zip's"
cmp -s "$sevenzip/7z.dll" "$folder/7z.dll" || fail "7z.dll differs from 7-Zip's"
# 32-bit Windows programs: "PE\0\0" then machine 0x014c (i386).
for f in kavel-setup.exe syslinux.exe 7z.exe 7z.dll; do
  pe=$(od -An -tu4 -j60 -N4 "$folder/$f" | tr -d ' ')
  [ "$(od -An -tx1 -j"$pe" -N6 "$folder/$f" | tr -d ' ')" = 504500004c01 ] ||
    fail "$f is no 32-bit x86 Windows program"
done

# Each loader byte for byte as Debian's syslinux-efi and syslinux-common hold it.
while read -r name debian; do
  cmp -s "$debian" "$folder/efi/$name" || fail "efi/$name differs from $debian"
done <<EOF
BOOTX64.EFI /usr/lib/SYSLINUX.EFI/efi64/syslinux.efi
ldlinux.e64 /usr/lib/syslinux/modules/efi64/ldlinux.e64
BOOTIA32.EFI /usr/lib/SYSLINUX.EFI/efi32/syslinux.efi
ldlinux.e32 /usr/lib/syslinux/modules/efi32/ldlinux.e32
EOF
[ "$(tr -d '\r' <"$folder/efi/syslinux-copyright.txt")" = "$(cat /usr/share/doc/syslinux-efi/copyright)" ] ||
  fail "efi/syslinux-copyright.txt is not syslinux-efi's copyright file"

# GRUB 2's pair: g2ldr.mbr as Debian's grub-pc-bin ships it; g2ldr the one
# the build made, Debian's g2hdr.img followed by a core image.
cmp -s "$grub_lib/g2ldr.mbr" "$folder/g2ldr.mbr" || fail "g2ldr.mbr differs from $grub_lib/g2ldr.mbr"
cmp -s "$grub/g2ldr" "$folder/g2ldr" || fail "g2ldr is not the one built"
head -c "$(stat -c %s "$grub_lib/g2hdr.img")" "$folder/g2ldr" | cmp -s - "$grub_lib/g2hdr.img" ||
  fail "g2ldr does not start with $grub_lib/g2hdr.img"
[ "$(stat -c %s "$folder/g2ldr")" -gt $(($(stat -c %s "$grub_lib/g2hdr.img") + 32768)) ] ||
  fail "g2ldr holds no GRUB core image after g2hdr.img"

# GRUB 2 for UEFI: the one the build made, an EFI program for x86-64 ("PE\0\0",
# machine 0x8664, a PE32+ optional header (0x20b) whose subsystem is 10, an
# EFI application), with its own configuration in its memdisk (stored
# uncompressed), which reads kavel.cfg beside it.
f=efi-grub/grubx64.efi
cmp -s "$grub_efi/grubx64.efi" "$folder/$f" || fail "$f is not the one built"
pe=$(od -An -tu4 -j60 -N4 "$folder/$f" | tr -d ' ')
[ "$(od -An -tx1 -j"$pe" -N6 "$folder/$f" | tr -d ' ')" = 504500006486 ] &&
  [ "$(od -An -tx1 -j$((pe + 24)) -N2 "$folder/$f" | tr -d ' ')" = 0b02 ] &&
  [ "$(od -An -tu2 -j$((pe + 92)) -N2 "$folder/$f" | tr -d ' ')" = 10 ] ||
  fail "$f is no EFI application for x86-64"
[ "$(grep -a -c -F 'configfile "$cmdpath/kavel.cfg"' "$folder/$f")" -ge 1 ] ||
  fail "$f does not hold the configuration that reads kavel.cfg beside it"

# Windows text files with CR LF on every line.
for f in syslinux.cfg README.txt license-7zip.txt license-syslinux.txt license-grub.txt \
         efi/syslinux-copyright.txt; do
  [ "$(grep -c -v $'\r$' "$folder/$f")" = 0 ] || fail "$f has lines without CR LF"
done
[ "$(tr -d '\r' <"$folder/syslinux.cfg")" = "$(cat "$src/resources/syslinux.cfg")" ] ||
  fail "syslinux.cfg differs"

# syslinux's licence: the GPL, and the exact source package it came from,
# which is the one of the installed syslinux-common (the UEFI loaders' too).
version=$(dpkg-query -W -f='${source:Version}' syslinux-common)
[ "$(dpkg-query -W -f='${source:Version}' syslinux-efi)" = "$version" ] ||
  fail "syslinux-efi and syslinux-common are of different versions"
lic=$folder/license-syslinux.txt
holds_gpl "$lic" 'Version 2, June 1991' "the GPL"
names_source "$lic" syslinux "$version" ,
[ "$(tr -d '\r' <"$folder/license-7zip.txt")" = "$(tr -d '\r' <"$sevenzip/License.txt")" ] ||
  fail "license-7zip.txt is not 7-Zip's License.txt"
grep -q 'GNU LGPL' "$folder/license-7zip.txt" || fail "license-7zip.txt names no licence"

# GRUB's licence: the GPL, version 3, the files it covers, the exact source
# package of the installed grub-pc-bin and grub-efi-amd64-bin (one version),
# and Debian's copyright file at its end.
read -r grub_package grub_version <<<"$(dpkg-query -W -f='${source:Package} ${source:Version}' grub-pc-bin)"
[ "$(dpkg-query -W -f='${source:Package} ${source:Version}' grub-efi-amd64-bin)" = "$grub_package $grub_version" ] ||
  fail "grub-efi-amd64-bin and grub-pc-bin are of different versions"
lic=$folder/license-grub.txt
holds_gpl "$lic" 'Version 3, 29 June 2007' "the GPL, version 3"
grep -q -F 'g2ldr.mbr, g2ldr and efi-grub\grubx64.efi in this folder' "$lic" ||
  fail "license-grub.txt does not say which files it covers"
grep -q -F 'grub-pc-bin, grub-efi-amd64-bin and grub-common' "$lic" ||
  fail "license-grub.txt does not name the packages it comes from"
names_source "$lic" "$grub_package" "$grub_version" ' '
[ "$(tr -d '\r' <"$lic" | tail -n "$(wc -l </usr/share/doc/grub-common/copyright)")" = \
  "$(cat /usr/share/doc/grub-common/copyright)" ] || fail "license-grub.txt does not end with Debian's copyright file"

# The readme, in Chinese and in English: every file of the kit, that an
# install needs nothing more, what the GRUB 2 pair does, that grldr is not
# shipped and is taken on XP when it is there, what GRUB 2 for UEFI is for and
# how Kavel Linux is chosen then, administrator rights.
readme=$folder/README.txt
head -c 3 "$readme" | cmp -s - <(printf '\xef\xbb\xbf') || fail "readme without BOM"
for word in kavel-setup.exe 7z.exe 7z.dll syslinux.exe syslinux.cfg license-7zip.txt license-syslinux.txt \
            license-grub.txt g2ldr.mbr grldr 'efi-grub\grubx64.efi' 'EFI\kavel' kavel.cfg; do
  [ "$(grep -c -F "$word" "$readme")" -ge 2 ] || fail "readme does not name $word in both languages"
done
grep -q '安装到 U 盘或硬盘分区所需的一切都已在这个文件夹里' "$readme" ||
  fail "readme (Chinese) does not say the kit is complete"
grep -q 'grldr（本程序不附带）' "$readme" || fail "readme (Chinese) does not say grldr is not shipped"
grep -q 'which does not come with this program' "$readme" || fail "readme (English) does not say grldr is not shipped"
grep -q '管理员' "$readme" && grep -q 'administrator' "$readme" ||
  fail "readme does not ask for administrator rights"
# The readme's text with its line breaks as blanks, for phrases broken over lines.
flat=$(tr -d '\r' <"$readme" | tr '\n' ' ' | tr -s ' ')
for phrase in 'efi\ ' 'GPL' '能在 UEFI 电脑上启动' 'starts on UEFI PCs' '关闭安全启动' 'turn Secure Boot off' \
              'Everything an install onto a USB drive or a hard-disk partition needs is in this folder' \
              'Windows Vista 至 Windows 11' 'Windows Vista to Windows 11' \
              'GRUB 2 读取 C:\menu.lst' 'which reads the boot menu in C:\menu.lst' \
              '就照旧使用 grldr' 'it is used as before' 'GPL-3+' \
              '以 UEFI 方式启动 Windows 的电脑' 'PC that starts Windows through UEFI' \
              'EFI 系统分区' 'EFI system partition' '固件启动项' 'firmware boot entry' \
              '“使用设备”' '"Use a device"' '64 位' '64-bit'; do
  grep -q -F "$phrase" <<<"$flat" || fail "readme lacks: $phrase"
done

# The zip: that folder, byte for byte.
listed=$(unzip -Z1 "$out/kavel-setup.zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
want=$(for f in $expected; do echo "kavel-setup/$f"; done | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "$want" ] || fail "zip holds: $listed"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$out/kavel-setup.zip" -d "$unpacked"
diff -r "$folder" "$unpacked/kavel-setup" >/dev/null || fail "the zip's files differ from the folder's"

[ $errors = 0 ] || exit 1
echo "release folder and zip checked:"
(cd "$folder" && find . -type f -printf '%s\t%P\n' | LC_ALL=C sort -k2)
printf '%s\t%s\n' "$(stat -c %s "$out/kavel-setup.zip")" kavel-setup.zip
