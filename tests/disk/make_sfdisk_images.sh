#!/usr/bin/env bash
# Partitions sparse image files with sfdisk and records what sfdisk itself
# reads back from them (--dump), for the walk to be checked against: two with
# a master boot record, two with a GUID partition table (one of 3 TiB), and
# copies of the first of those damaged in its primary header, its primary
# entries, and both headers.
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

# Entries in slots 1, 3, 4 and 7 (sfdisk's gpt_a.img2, 4, 5 and 8), slots 0,
# 2, 5 and 6 unused, slot 4 lying before slot 3; fixed GUIDs, so that every
# build makes the same bytes.
make gpt_a 24M <<'LAYOUT'
label: gpt
label-id: 4B41564C-0000-4000-8000-000000000001
unit: sectors
first-lba: 34

gpt_a.img2 : start=2048, size=4096, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, uuid=4B41564C-0000-4000-8000-0000000000A2
gpt_a.img4 : start=8192, size=8192, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, uuid=4B41564C-0000-4000-8000-0000000000A4
gpt_a.img5 : start=6144, size=2048, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=4B41564C-0000-4000-8000-0000000000A5
gpt_a.img8 : start=20480, size=2048, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, uuid=4B41564C-0000-4000-8000-0000000000A8
LAYOUT

# 3 TiB: a partition before 2 TiB, one across it and one past it, slot 2 unused.
make gpt_big 3T <<'LAYOUT'
label: gpt
label-id: 4B41564C-0000-4000-8000-000000000002
unit: sectors

gpt_big.img1 : start=2048, size=1048576, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=4B41564C-0000-4000-8000-0000000000B1
gpt_big.img2 : start=4294967000, size=1000000, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, uuid=4B41564C-0000-4000-8000-0000000000B2
gpt_big.img4 : start=5000000000, size=1000000000, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, uuid=4B41564C-0000-4000-8000-0000000000B4
LAYOUT

# gpt_a damaged: a copy with one byte changed at each BYTE offset given. sfdisk
# reads the backup table where the primary one is damaged, and with both
# headers damaged it sees the protective entry alone (label: dos).
damaged() { # name, byte offsets...
  local name=$1 img=$out/$1.img
  shift
  cp --sparse=always "$out/gpt_a.img" "$img"
  local at
  for at in "$@"; do
    printf '\x5a' | dd of="$img" bs=1 seek="$at" conv=notrunc status=none
  done
  "$sfdisk" --dump "$img" > "$out/$name.dump.tmp" 2>/dev/null
  mv "$out/$name.dump.tmp" "$out/$name.dump"
}
last=$(( $(stat -c %s "$out/gpt_a.img") - 512 ))
damaged gpt_a_header $((512 + 60))               # the disk's GUID in the primary header
damaged gpt_a_entries $((1024 + 128 * 3 + 60))   # gpt_a.img4's name in the primary array
damaged gpt_a_headers $((512 + 60)) $((last + 60))
