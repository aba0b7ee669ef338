#!/usr/bin/env bash
# Time per refill of the installer's drive list under Wine, first with the
# test environment's drives (C:, E:, F:, I: offered), then with 20 offered
# drives (16 more, J: to Y:, removable and fixed in turn). Prints figures
# only. Works in a throw-away Wine environment of its own.
#
#   bench/drive_list.sh [BUILD_DIR] [REFILLS]
#
# BUILD_DIR is a win32 build folder (default build/win32); the installer is
# built there if missing. REFILLS defaults to 200.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
. "$here/wine_env_lib.sh"
build=$(cd "${1:-$source_dir/build/win32}" && pwd)
refills=${2:-200}

[ -f "$build/kavel-setup.exe" ] || cmake --build "$build" -j2 --target kavel-setup >/dev/null

env_dir=$(mktemp -d /tmp/kavel-drive-bench.XXXXXX)
trap wine_env_down EXIT

started=$(date +%s)
wine_env_up
# The bench driver, with the tests' support for driving the installer, beside
# the installer, which it starts from its own folder.
support=$source_dir/tests/support
i686-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -static -I"$support" -I"$source_dir" \
  "$here/drive_list_bench.cpp" "$support/installer_session.cpp" "$support/ui_driver.cpp" \
  -o "$env_dir/tools/drive_list_bench.exe"
cp "$build/kavel-setup.exe" "$env_dir/tools/"
export WINEPREFIX="$env_dir/prefix" WINEARCH=win32 WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 WINEDLLOVERRIDES=winemenubuilder.exe=d
run_bench() {
  # Wine prints the list's texts in the prefix's code page.
  (cd "$env_dir/tools" && "$source_dir/tests/wine/wine-run" ./drive_list_bench.exe "$refills") |
    iconv -f gbk -t utf-8
}

echo "== environment drives"
run_bench

# 16 more drives as folders with labels, their types in the registry, which
# the server reads when it starts.
type=floppy
for letter in j k l m n o p q r s t u v w x y; do
  mkdir -p "$env_dir/drives/$letter"
  printf 'BENCH%s' "$letter" | tr a-z A-Z >"$env_dir/drives/$letter/.windows-label"
  ln -sfn "$env_dir/drives/$letter" "$WINEPREFIX/dosdevices/$letter:"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f >/dev/null 2>&1
  if [ "$type" = floppy ]; then type=hd; else type=floppy; fi
done
# A new server, recorded where env-down.sh looks for it.
wineserver -k >/dev/null 2>&1 || true
old=$(cat "$env_dir/wineserver.pid")
for _ in $(seq 50); do kill -0 "$old" 2>/dev/null || break; sleep 0.1; done
wineserver -p -f >>"$env_dir/wineserver.log" 2>&1 &
echo $! >"$env_dir/wineserver.pid"
# The prefix's services, started now with their output in a file.
timeout 120 wineboot -r >>"$env_dir/wineboot.log" 2>&1

echo "== 20 drives: C: E: F: I: and J: to Y: (removable and fixed in turn)"
run_bench
echo "(bench took $(( $(date +%s) - started )) s)"
