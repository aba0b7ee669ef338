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
#   COPYING, copyright, source   GRUB's licence, Debian's copyright file,
#               and the source package and version of grub-pc-bin
#               (grub-image-lib.sh)
# The same packages give the same bytes.
# Usage: build-grub-loaders.sh OUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/grub-image-lib.sh"
out=$(realpath -m "$1")
lib=${KAVEL_GRUB_LIB:-/usr/lib/grub/i386-pc}
grub_require grub-loaders "grub-pc-bin and grub-common" "$lib/g2ldr.mbr" "$lib/g2hdr.img" "$lib/kernel.img"
work=$out/work

# The legacy kernel line needs linux16 and multiboot beside linux; part_gpt
# and ntfs read a menu.lst or kernel on GPT disks and NTFS; chain keeps the
# chainloader entries of an older menu.lst working.
modules=(biosdisk part_msdos part_gpt fat ntfs legacycfg linux linux16 multiboot chain gzio
         normal memdisk tar echo test regexp read reboot serial terminal)

# Inside the core image $cmdpath is the partition g2ldr was read from, such
# as (hd0,2). Only the menu.lst of that partition is read: a search by file
# name would take the first partition holding one (a System Reserved
# partition, another system's drive) and start what that names.
grub_image "$work" i386-pc "$lib" "$work/core.img" "${modules[@]}" <<'CFG'
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

mkdir -p "$out"
cp "$lib/g2ldr.mbr" "$out/g2ldr.mbr"
cat "$lib/g2hdr.img" "$work/core.img" >"$out/g2ldr"
cp "$work/grub.cfg" "$out/grub.cfg"
grub_licence_files "$out" grub-pc-bin
rm -rf "$work"
