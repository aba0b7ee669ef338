#!/usr/bin/env bash
# What a CreateProcess of 7z costs under Wine, to its return, by what the
# calling process holds (bench/create_process_cost.cpp), and how much memory
# the installer holds once its main dialog is open, against the bare
# caller's. Wine starts each child through fork(), which copies the caller's
# page tables, so the cost grows with the caller's memory.
# Works in a throw-away Wine environment of its own.
#
#   bench/create_process.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR is a win32 build folder (default build/win32); the installer is
# built there if missing. ROUNDS (default 31) starts per line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
. "$here/wine_env_lib.sh"
build=${1:-$source_dir/build/win32}
rounds=${2:-31}
sevenzip=/opt/kavel-setup/7zip

if [ ! -f "$sevenzip/7z.exe" ] || [ ! -f "$sevenzip/7z.dll" ]; then
  "$source_dir/scripts/install-deps.sh" >&2
fi
if [ ! -f "$build/kavel-setup.exe" ]; then
  [ -f "$build/CMakeCache.txt" ] || (cd "$source_dir" && cmake --preset win32 -B "$build" >/dev/null)
  cmake --build "$build" -j2 --target kavel-setup >/dev/null
fi
build=$(cd "$build" && pwd)

env_dir=$(mktemp -d /tmp/kavel-create-process-bench.XXXXXX)
installer=
cleanup() {
  [ -z "$installer" ] || kill "$installer" 2>/dev/null || true
  wine_env_down
}
trap cleanup EXIT

started=$(date +%s)
wine_env_up
i686-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -static \
  "$here/create_process_cost.cpp" -lpsapi -o "$env_dir/tools/create_process_cost.exe"
cp "$sevenzip/7z.exe" "$sevenzip/7z.dll" "$build/kavel-setup.exe" "$env_dir/tools/"
(cd "$env_dir/tools" && "$source_dir/tests/wine/wine-run" ./create_process_cost.exe "$rounds")

# The installer's resident memory once its main dialog is open (what Wine
# gives as its working set): the most read in five seconds, sampled every
# tenth of a second.
(cd "$env_dir/tools" && "$source_dir/tests/wine/wine-run" ./kavel-setup.exe >/dev/null 2>&1) &
installer=$!
most=0
for _ in $(seq 50); do
  sleep 0.1
  # The Windows process itself, not the shell or the loader that started it.
  pid=$(pgrep -f '^[^ ]*kavel-setup\.exe' | head -1 || true)
  [ -n "$pid" ] || continue
  kib=$(awk '$1 == "VmRSS:" {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  [ "${kib:-0}" -le "$most" ] || most=$kib
done
pkill -f 'kavel-setup\.exe' 2>/dev/null || true
wait "$installer" 2>/dev/null || true
installer=
awk -v k="$most" 'BEGIN {printf "the installer, main dialog open: resident %.1f MiB\n", k / 1024}'
echo "(bench took $(($(date +%s) - started)) s)"
