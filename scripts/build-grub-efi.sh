#!/usr/bin/env bash
# Makes GRUB 2 for 64-bit UEFI, which a hard-disk install on a PC that starts
# Windows through UEFI puts into \EFI\kavel\ of the EFI system partition and
# gives a firmware boot entry, from Debian's grub-efi-amd64-bin and
# grub-common as installed:
#   grubx64.efi  a GRUB image (an EFI program for x86-64) whose memdisk holds
#                the configuration below
#   grub.cfg     that configuration, for reading
#   COPYING, copyright, source   GRUB's licence, Debian's copyright file,
#                and the source package and version of grub-efi-amd64-bin
#                (grub-image-lib.sh)
# The same packages give the same bytes.
# Usage: build-grub-efi.sh OUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/grub-image-lib.sh"
out=$(realpath -m "$1")
lib=${KAVEL_GRUB_EFI_LIB:-/usr/lib/grub/x86_64-efi}
grub_require grub-efi "grub-efi-amd64-bin and grub-common" "$lib/kernel.img" "$lib/moddep.lst"
work=$out/work

# part_gpt and part_msdos, fat and ntfs read C:\menu.lst and the kernel on
# either table; the legacy kernel line needs multiboot beside linux;
# all_video gives the kernel the firmware's screen (without it GRUB boots
# Linux "in blind mode", and the screen stays dark); search serves the find
# lines of an older menu.lst; minicmd has exit.
modules=(part_gpt part_msdos fat ntfs legacycfg linux multiboot gzio normal configfile memdisk tar
         echo test search read serial terminal all_video minicmd)

# Inside the image $cmdpath is the folder grubx64.efi was started from, such
# as (hd0,gpt1)/EFI/kavel. The installer writes kavel.cfg there, naming C:'s
# partition; it has GRUB read C:\menu.lst. Nothing else is searched for: a
# search by file name would take the first partition holding one and start
# what that names. Without kavel.cfg, back to the firmware, which goes on
# with its next boot entry (Windows).
grub_image "$work" x86_64-efi "$lib" "$work/grubx64.efi" "${modules[@]}" <<'CFG'
if [ -z "$cmdpath" ]; then
  echo "grubx64.efi: GRUB cannot tell which folder it was started from,"
  echo "so it does not know where kavel.cfg is."
elif [ -f "$cmdpath/kavel.cfg" ]; then
  configfile "$cmdpath/kavel.cfg"
  echo "grubx64.efi: $cmdpath/kavel.cfg started nothing."
else
  echo "grubx64.efi: there is no kavel.cfg beside grubx64.efi in $cmdpath."
  echo "No other partition is searched."
fi
echo "Press Enter to return to the firmware."
read
exit
CFG

mkdir -p "$out"
cp "$work/grubx64.efi" "$out/grubx64.efi"
cp "$work/grub.cfg" "$out/grub.cfg"
grub_licence_files "$out" grub-efi-amd64-bin
rm -rf "$work"
