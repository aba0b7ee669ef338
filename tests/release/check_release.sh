#!/usr/bin/env bash
# Makes the release folder from the built installer and checks what a Windows
# user gets: the program, syslinux.cfg and the readme, as files and in the zip.
set -euo pipefail
exe=$1 out=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out"
KAVEL_DIST_EXE=$exe bash "$src/scripts/make-dist.sh" "$out" >/dev/null
folder=$out/kavel-setup
fail() { echo "release: $*" >&2; exit 1; }
cmp -s "$exe" "$folder/kavel-setup.exe" || fail "the program differs"
[ "$(tr -d '\r' <"$folder/syslinux.cfg")" = "$(cat "$src/resources/syslinux.cfg")" ] ||
  fail "syslinux.cfg differs"
grep -q $'\r$' "$folder/syslinux.cfg" || fail "syslinux.cfg lacks CR LF"
head -c 3 "$folder/README.txt" | cmp -s - <(printf '\xef\xbb\xbf') || fail "readme without BOM"
for word in 7z.exe 7z.dll syslinux.exe grldr; do
  [ "$(grep -c -F "$word" "$folder/README.txt")" -ge 2 ] || fail "readme does not name $word twice"
done
grep -q '管理员' "$folder/README.txt" && grep -q 'administrator' "$folder/README.txt" ||
  fail "readme does not ask for administrator rights"
listed=$(unzip -Z1 "$out/kavel-setup.zip" | sort | tr '\n' ' ')
[ "$listed" = "kavel-setup/ kavel-setup/README.txt kavel-setup/kavel-setup.exe kavel-setup/syslinux.cfg " ] ||
  fail "zip holds: $listed"
echo "release folder and zip checked"
