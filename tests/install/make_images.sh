#!/usr/bin/env bash
# Makes the test images: a small ISO with the files a run extracts (one name
# with spaces), files it leaves alone, and a file that is no image at all.
set -euo pipefail
out=$1
rm -rf "$out.tree" && mkdir -p "$out.tree/boot" "$out"
tree=$out.tree
head -c 307200 /dev/urandom >"$tree/vmlinuz"
head -c 204800 /dev/urandom >"$tree/initrd.gz"
head -c 1572864 /dev/urandom >"$tree/base.sfs"
head -c 716800 /dev/urandom >"$tree/my apps.sfs"
echo "read me" >"$tree/readme.txt"
head -c 1000 /dev/urandom >"$tree/boot/deep.sfs"
xorriso -as mkisofs -quiet -R -J -V KAVEL_TEST -o "$out/kavel-test.iso" "$tree"
# The sizes the target must end up with, "size name" per line.
(cd "$tree" && for f in vmlinuz initrd.gz base.sfs "my apps.sfs"; do
   printf '%s %s\n' "$(stat -c %s "$f")" "$f"; done) >"$out/kavel-test.sizes"
printf 'This is not a CD image.\r\n' >"$out/not-an-image.iso"
rm -rf "$tree"
