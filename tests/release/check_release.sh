#!/usr/bin/env bash
# Makes the release folder from the built installer and checks what a Windows
# user gets: the program, syslinux.cfg, syslinux's UEFI loaders as Debian ships
# them and the readme, as files and in the zip.
# Usage: check_release.sh EXE EFI_FOLDER OUTPUT_FOLDER
set -euo pipefail
exe=$1 efi=$2 out=$3
src=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out"
KAVEL_DIST_EXE=$exe KAVEL_DIST_EFI=$efi bash "$src/scripts/make-dist.sh" "$out" >/dev/null
folder=$out/kavel-setup
fail() { echo "release: $*" >&2; exit 1; }
cmp -s "$exe" "$folder/kavel-setup.exe" || fail "the program differs"
[ "$(tr -d '\r' <"$folder/syslinux.cfg")" = "$(cat "$src/resources/syslinux.cfg")" ] ||
  fail "syslinux.cfg differs"
grep -q $'\r$' "$folder/syslinux.cfg" || fail "syslinux.cfg lacks CR LF"
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
head -c 3 "$folder/README.txt" | cmp -s - <(printf '\xef\xbb\xbf') || fail "readme without BOM"
for word in 7z.exe 7z.dll syslinux.exe grldr; do
  [ "$(grep -c -F "$word" "$folder/README.txt")" -ge 2 ] || fail "readme does not name $word twice"
done
grep -q '管理员' "$folder/README.txt" && grep -q 'administrator' "$folder/README.txt" ||
  fail "readme does not ask for administrator rights"
# The readme's text with its line breaks as blanks, for phrases broken over lines.
flat=$(tr -d '\r' <"$folder/README.txt" | tr '\n' ' ' | tr -s ' ')
for phrase in 'efi\ ' 'GPL' '能在 UEFI 电脑上启动' 'starts on UEFI PCs' '关闭安全启动' 'turn Secure Boot off'; do
  grep -q -F "$phrase" <<<"$flat" || fail "readme lacks: $phrase"
done
listed=$(unzip -Z1 "$out/kavel-setup.zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "kavel-setup/ kavel-setup/README.txt kavel-setup/efi/ kavel-setup/efi/BOOTIA32.EFI kavel-setup/efi/BOOTX64.EFI kavel-setup/efi/ldlinux.e32 kavel-setup/efi/ldlinux.e64 kavel-setup/efi/syslinux-copyright.txt kavel-setup/kavel-setup.exe kavel-setup/syslinux.cfg " ] ||
  fail "zip holds: $listed"
echo "release folder and zip checked"
