#!/usr/bin/env bash
# Makes a small demonstration ISO image with the files the installer takes
# (vmlinuz, initrd.gz, *.sfs). It is NOT a Kavel Linux system: every file only
# repeats a line saying so, and nothing in it boots.
# Usage: make-demo-image.sh OUTPUT.iso
set -euo pipefail
out=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
fill() { # file bytes
  # yes ends on the broken pipe once head has enough.
  yes 'Kavel Linux DEMO image for trying the installer - not a real system, it does not boot.' |
    head -c "$2" >"$tree/$1" || true
}
fill vmlinuz 1048576
fill initrd.gz 524288
fill kavel-demo.sfs 3145728
fill kavel-demo-extra.sfs 1048576
cat >"$tree/DEMO-README.txt" <<'TXT'
This is a demonstration image for the Kavel Linux installer.
It holds placeholder files with the names of a real image; it is not a Linux
system and does not boot.
TXT
mkdir -p "$(dirname "$out")"
xorriso -as mkisofs -quiet -R -J -V KAVEL_DEMO -o "$out" "$tree" 2>/dev/null
