#!/usr/bin/env bash
# Builds syslinux.exe twice from Debian's source package, in two fresh folders
# with different paths, as the build does (scripts/build-syslinux.sh), and
# prints each build's wall-clock and CPU time, the machine's load, and whether
# the two builds gave the same bytes. Figures only; nothing is asserted.
#   bench/syslinux_build.sh [DOWNLOADS]   (default: build/downloads/syslinux)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
downloads=${1:-$repo/build/downloads/syslinux}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in 1 2; do
  out=$work/build-$n-$(printf '%*s' "$n" '' | tr ' ' x)   # different path lengths
  TIMEFORMAT='%R %U %S'
  { time bash "$repo/scripts/build-syslinux.sh" "$downloads" "$out" >/dev/null; } 2>"$work/time-$n"
  read -r wall user sys < <(tail -n 1 "$work/time-$n")
  awk -v n="$n" -v w="$wall" -v u="$user" -v s="$sys" -v m="$(cat "$out/build-seconds")" \
    'BEGIN { printf "build %d: %6.1f s wall, %6.1f s CPU (user %.1f + sys %.1f); make alone %s s\n", n, w, u + s, u, s, m }'
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
for f in syslinux.exe syslinux mbr.bin boot-code/ldlinux.bss boot-code/ldlinux.sys boot-code/ldlinux.c32; do
  a=$(sha256sum <"$work"/build-1-*/"$f" | cut -c1-16)
  b=$(sha256sum <"$work"/build-2-*/"$f" | cut -c1-16)
  if [ "$a" = "$b" ]; then same="same bytes"; else same="DIFFERENT bytes"; fi
  printf '%-22s %8d bytes  %s  %s / %s\n' "$f" "$(stat -c %s "$work"/build-1-*/"$f")" "$same" "$a" "$b"
done
