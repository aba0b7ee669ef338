#!/usr/bin/env bash
# Partitions two sparse image files with sfdisk and records what sfdisk itself
# reads back from them (--dump), for the walk to be checked against.
#   make_sfdisk_images.sh OUT_DIR [SFDISK]
set -euo pipefail
out=$1
sfdisk=${2:-sfdisk}
mkdir -p "$out"

make() { # name, size, script on stdin
  local img=$out/$1.img
  rm -f "$img"
  truncate -s "$2" "$img"
  "$sfdisk" -q --no-reread --no-tell-kernel "$img" >/dev/null
  "$sfdisk" --dump "$img" > "$out/$1.dump.tmp"
  mv "$out/$1.dump.tmp" "$out/$1.dump"
}

# Primaries in slots 0 and 3 (slot 3 lying before the extended partition),
# slot 2 empty, the extended partition (0x0F) in slot 1 holding nine logicals.
make sfdisk_a 24M <<'LAYOUT'
label: dos
label-id: 0x4b41564c
unit: sectors

sfdisk_a.img1 : start=63, size=4033, type=83
sfdisk_a.img2 : start=6144, size=40000, type=f
sfdisk_a.img4 : start=4096, size=2048, type=c
sfdisk_a.img5 : size=2048, type=83
sfdisk_a.img6 : size=1000, type=83
sfdisk_a.img7 : size=3000, type=82
sfdisk_a.img8 : size=2048, type=83
sfdisk_a.img9 : size=2048, type=83
sfdisk_a.img10 : size=2048, type=83
sfdisk_a.img11 : size=2048, type=83
sfdisk_a.img12 : size=2048, type=83
sfdisk_a.img13 : size=2048, type=7
LAYOUT

# Three primaries, then an extended partition (0x05) in slot 3 filling the
# rest of the disk with twelve logicals, the last taking what is left.
make sfdisk_b 40M <<'LAYOUT'
label: dos
label-id: 0x4b41564d
unit: sectors

size=2048, type=7
size=4096, type=83
size=1024, type=b
type=5
size=1024, type=83
size=2000, type=83
size=1024, type=82
size=1024, type=83
size=1536, type=83
size=1024, type=83
size=1024, type=c
size=3000, type=83
size=1024, type=83
size=1024, type=83
size=1024, type=83
type=83
LAYOUT
