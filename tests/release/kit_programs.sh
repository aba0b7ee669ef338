#!/usr/bin/env bash
# The programs of the release kit start under Wine and do their job:
# syslinux.exe reports version 6.04, and 7z.exe lists the demo image with
# the very files and sizes the image holds (read back with xorriso).
# Usage: kit_programs.sh KIT_FOLDER IMAGE.iso
set -euo pipefail
kit=$1 image=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
errors=0
fail() { echo "kit: $*" >&2; errors=$((errors + 1)); }
# Output into files: Wine's helpers would hold a pipe open.
run() { "$here/../wine/wine-run" "$@" >"$work/out" 2>"$work/err" </dev/null; }

rc=0
run "$kit/syslinux.exe" --version || rc=$?
[ "$rc" = 0 ] || fail "syslinux.exe --version ended with $rc"
grep -q -E '^.*syslinux\.exe 6\.04  Copyright' "$work/err" ||
  fail "syslinux.exe --version said: $(cat "$work/out" "$work/err")"
version=$(tr -d '\r' <"$work/err" | head -1)

image_windows="Z:$(tr / '\\' <<<"$(realpath "$image")")"
rc=0
run "$kit/7z.exe" l "$image_windows" || rc=$?
[ "$rc" = 0 ] || fail "7z l ended with $rc: $(cat "$work/err")"
# "date time attr size compressed name" lines of files, as "size name".
tr -d '\r' <"$work/out" |
  awk '/^-------------------/ { inside = !inside; match($0, / -+$/); col = RSTART + 1; next }
       inside && $3 == "....." { print $4, substr($0, col) }' |
  LC_ALL=C sort >"$work/listed"
xorriso -osirrox on -indev "$image" -extract / "$work/tree" >/dev/null 2>&1
(cd "$work/tree" && find . -type f -printf '%s %P\n') | LC_ALL=C sort >"$work/held"
[ -s "$work/held" ] || fail "xorriso read nothing from $image"
grep -q ' vmlinuz$' "$work/held" || fail "the image has no vmlinuz"
diff "$work/held" "$work/listed" >"$work/diff" ||
  fail "7z.exe lists other files than the image holds:"$'\n'"$(cat "$work/diff")"

[ $errors = 0 ] || exit 1
echo "syslinux.exe --version: $version"
echo "7z.exe listed $(wc -l <"$work/listed") files of $(basename "$image")"
