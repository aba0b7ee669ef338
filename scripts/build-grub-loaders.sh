#!/usr/bin/env bash
# Makes the loader pair through which the Windows boot manager (Vista to 11)
# or NTLDR starts GRUB 2, which then reads menu.lst beside it, from Debian's
# grub-pc-bin and grub-common as installed:
#   g2ldr.mbr   Debian's /usr/lib/grub/i386-pc/g2ldr.mbr as it is: a boot
#               sector file that looks for g2ldr in the root of each
#               partition (FAT or NTFS) and starts it
#   g2ldr       g2hdr.img followed by a GRUB core image whose memdisk holds
#               the configuration below
#   grub.cfg    that configuration, for reading
#   COPYING     the GNU GPL, version 3, GRUB's licence
#   copyright   Debian's copyright file of grub-common
#   source      "<source package> <version>" of grub-pc-bin
# The same packages give the same bytes: the memdisk's tar has fixed times
# and owners, and grub-mkimage adds nothing of its own.
# Usage: build-grub-loaders.sh OUT
set -euo pipefail
out=$(realpath -m "$1")
lib=${KAVEL_GRUB_LIB:-/usr/lib/grub/i386-pc}

for f in "$lib/g2ldr.mbr" "$lib/g2hdr.img" "$lib/kernel.img" /usr/share/common-licenses/GPL-3 \
         /usr/share/doc/grub-common/copyright; do
  [ -s "$f" ] || { echo "grub-loaders: $f is missing: install grub-pc-bin and grub-common" >&2; exit 1; }
done
command -v grub-mkimage >/dev/null || { echo "grub-loaders: no grub-mkimage (grub-common)" >&2; exit 1; }
source=$(dpkg-query -W -f='${source:Package} ${source:Version}' grub-pc-bin)

work=$out/work
rm -rf "$work"
mkdir -p "$work/memdisk/boot/grub"

# Inside the core image $cmdpath is the partition g2ldr was read from, such
# as (hd0,2). Only the menu.lst of that partition is read: a search by file
# name would take the first partition holding one (a System Reserved
# partition, another system's drive) and start what that names.
# The installer writes a menu.lst holding only its entry where there was
# none; without a timeout line GRUB's legacy menu would wait for a key
# forever, so a timeout is exported into it, and a menu.lst's own timeout
# line still wins. The serial port repeats the screen where there is one.
cat >"$work/memdisk/boot/grub/grub.cfg" <<'CFG'
if serial --unit=0 --speed=115200; then
  terminal_input --append serial
  terminal_output --append serial
fi
set timeout=5
export timeout
if [ -z "$cmdpath" ]; then
  echo "g2ldr: GRUB cannot tell which partition g2ldr was loaded from,"
  echo "so it does not know which menu.lst to read."
elif [ -f "$cmdpath/menu.lst" ]; then
  regexp --set=1:root '^\(([^)]+)\)' "$cmdpath"
  legacy_configfile "$cmdpath/menu.lst"
else
  echo "g2ldr: there is no menu.lst beside g2ldr on $cmdpath."
  echo "No other partition's menu.lst is read."
fi
echo "Press Enter to restart the computer."
read
reboot
CFG

(cd "$work/memdisk" &&
   tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner --format=ustar \
     -cf "$work/memdisk.tar" boot)

# The legacy kernel line needs linux16 and multiboot beside linux; part_gpt
# and ntfs read a menu.lst or kernel on GPT disks and NTFS; chain keeps the
# chainloader entries of an older menu.lst working.
modules=(biosdisk part_msdos part_gpt fat ntfs legacycfg linux linux16 multiboot chain gzio
         normal memdisk tar echo test regexp read reboot serial terminal)
grub-mkimage -O i386-pc -d "$lib" -o "$work/core.img" -m "$work/memdisk.tar" \
  -p '(memdisk)/boot/grub' "${modules[@]}"

mkdir -p "$out"
cp "$lib/g2ldr.mbr" "$out/g2ldr.mbr"
cat "$lib/g2hdr.img" "$work/core.img" >"$out/g2ldr"
cp "$work/memdisk/boot/grub/grub.cfg" "$out/grub.cfg"
cp /usr/share/common-licenses/GPL-3 "$out/COPYING"
cp /usr/share/doc/grub-common/copyright "$out/copyright"
echo "$source" >"$out/source"
rm -rf "$work"
