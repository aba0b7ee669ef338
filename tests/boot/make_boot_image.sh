#!/usr/bin/env bash
# Makes a small Kavel Linux image that really boots: Debian's current kernel
# (linux-image-amd64's image package, downloaded once into DOWNLOADS and kept
# there), an initrd.gz of our own (busybox-static, the modules that read an
# IDE/SATA disk, FAT and squashfs, and tests/boot/init), and two squashfs
# files of known contents, one with a space in its name.
# Writes into OUT:
#   kavel-boot.iso       the image (vmlinuz, initrd.gz, *.sfs at its root)
#   tree/                the same files
#   expected-sfs.txt     per .sfs: "name|sha256 of its contents|file count",
#                        as the init reports them
# Usage: make_boot_image.sh DOWNLOADS OUT
set -euo pipefail
downloads=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$downloads" "$out"
downloads=$(cd "$downloads" && pwd)
out=$(cd "$out" && pwd)

modules="scsi_common scsi_mod libata ata_piix crc64 crc64-rocksoft crct10dif_common
         crc-t10dif t10-pi sd_mod fat vfat nls_cp437 nls_iso8859-1 nls_ascii loop squashfs"

# The kernel package: the one linux-image-amd64 depends on now. A package
# already in DOWNLOADS is not fetched again.
pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
      awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
deb=""
if [ -n "$pkg" ]; then
  deb=$(ls -t "$downloads/${pkg}"_*_amd64.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    echo "downloading $pkg into $downloads"
    (cd "$downloads" && apt-get download -q "$pkg") || {
      echo "apt-get download $pkg failed (run apt-get update?)" >&2
      exit 1
    }
    deb=$(ls -t "$downloads/${pkg}"_*_amd64.deb | head -n 1)
  fi
else
  # No package lists: take the newest kernel package already downloaded.
  deb=$(ls -t "$downloads"/linux-image-*_amd64.deb 2>/dev/null | head -n 1 || true)
fi
[ -n "$deb" ] && [ -f "$deb" ] || { echo "no kernel package: linux-image-amd64 unknown to apt" >&2; exit 1; }

# Only the kernel and the few modules are taken out of the package.
kernel=$out/kernel
if [ "$(cat "$kernel/from" 2>/dev/null)" != "$deb" ]; then
  rm -rf "$kernel"
  mkdir -p "$kernel"
  patterns=("./boot/vmlinuz-*")
  for m in $modules; do patterns+=("./lib/modules/*/$m.ko"); done
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel" --wildcards "${patterns[@]}"
  echo "$deb" >"$kernel/from"
fi

tree=$out/tree
rm -rf "$tree" "$out/initramfs" "$out/sfs-src"
mkdir -p "$tree"
cp "$kernel"/boot/vmlinuz-* "$tree/vmlinuz"

# initrd.gz: busybox, the modules side by side (no depmod: the init loads
# them in order), the init.
ramfs=$out/initramfs
mkdir -p "$ramfs/bin" "$ramfs/lib/modules"
cp /bin/busybox "$ramfs/bin/busybox"
for m in $modules; do
  ko=$(find "$kernel/lib/modules" -name "$m.ko" | head -n 1)
  [ -n "$ko" ] || { echo "module $m is not in $deb" >&2; exit 1; }
  cp "$ko" "$ramfs/lib/modules/"
done
cp "$here/init" "$ramfs/init"
chmod 755 "$ramfs/init"
(cd "$ramfs" && find . | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) | gzip -9 >"$tree/initrd.gz"

# The squashfs files: a few texts and a larger file of fixed bytes each.
src=$out/sfs-src
make_sfs() { # name folder-name
  local dir=$src/$2
  mkdir -p "$dir/etc" "$dir/usr/share/kavel"
  printf 'Kavel Linux test layer %s\n' "$1" >"$dir/etc/kavel-layer"
  printf 'layer=%s\nbuilt-by=make_boot_image.sh\n' "$1" >"$dir/usr/share/kavel/$2.conf"
  # Some 300 KB that differ per layer: a counter, then the layer's name.
  seq 1 30000 | sed "s/\$/ $2/" >"$dir/usr/share/kavel/data.bin"
  mksquashfs "$dir" "$tree/$1" -noappend -all-root -quiet >/dev/null
  local sum files
  sum=$(cd "$dir" && find . -type f | LC_ALL=C sort | while IFS= read -r f; do sha256sum "$f"; done |
        sha256sum | cut -d' ' -f1)
  files=$(cd "$dir" && find . -type f | wc -l)
  printf '%s|%s|%s\n' "$1" "$sum" "$files" >>"$out/expected-sfs.txt.new"
}
rm -f "$out/expected-sfs.txt.new"
make_sfs kavel-base.sfs base
make_sfs "kavel extra.sfs" extra
LC_ALL=C sort "$out/expected-sfs.txt.new" >"$out/expected-sfs.txt"
rm -f "$out/expected-sfs.txt.new"

xorriso -as mkisofs -quiet -R -J -V KAVEL_BOOT -o "$out/kavel-boot.iso" "$tree" 2>/dev/null
echo "boot image: $out/kavel-boot.iso ($(basename "$deb"))"
