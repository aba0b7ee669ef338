#!/usr/bin/env bash
# Sector reads of the partition walk on a chain of 251 logical partitions (and
# on chains that are too long, empty or looping), set against the number of
# partition tables on the disk, and on GUID partition tables, whole and
# damaged, set against one table's sectors. Figures only; nothing is asserted.
#   bench/partition_walk.sh [NATIVE_BUILD_DIR]
# With a native build folder, its core library is brought up to date and
# used; otherwise the walk is compiled from the sources.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -ge 1 ]; then
  cmake --build "$1" --target kavel_core >/dev/null
  walk=("$1/libkavel_core.a")
else
  walk=("$repo/disk/partition_walk.cpp" "$repo/disk/gpt_walk.cpp")
fi

# The raw-disk layer with its descriptor reads counted, as the tests build it.
g++ -std=c++17 -O2 -Wall -Wextra -I"$repo" -o "$work/partition_walk_reads" \
  "$repo/bench/partition_walk_reads.cpp" "$repo/tests/substitutes/traced_xdio.cpp" \
  "$repo/tests/disk/disk_image.cpp" "${walk[@]}"
"$work/partition_walk_reads" "$work/"
