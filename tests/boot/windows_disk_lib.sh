# Shared by the boot tests of a Windows PC's hard disk (sourced, not run):
# partitions filled with NTFS or FAT and their files written into a disk image
# without mounting anything, and the Windows boot manager's part on a BIOS PC,
# a boot-sector file run from the disk's first sectors. Each function works in
# the scratch folder $work, and on a failure prints what failed and returns 1.
# It brings boot_lib.sh with it: a test sources this file alone.
# shellcheck source=SCRIPTDIR/boot_lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/boot_lib.sh"

# NTFS as Windows makes it: the geometry and the partition's start go into its
# boot sector; each FILE goes to its root.
ntfs_part() { # START SIZE LABEL DISK FILES...
  local start=$1 size=$2 label=$3 img=$4 part=$work/part.img
  shift 4
  rm -f "$part"
  truncate -s $((size * 512)) "$part"
  mkntfs -F -Q -q -s 512 -L "$label" -p "$start" -H 255 -S 63 "$part" >"$work/mkntfs.log" 2>&1 ||
    { cat "$work/mkntfs.log"; echo "mkntfs failed"; return 1; }
  local f
  for f in "$@"; do
    ntfscp -f "$part" "$f" "$(basename "$f")" >"$work/ntfscp.log" 2>&1 ||
      { cat "$work/ntfscp.log"; echo "ntfscp $f failed"; return 1; }
  done
  dd if="$part" of="$img" bs=512 seek="$start" conv=notrunc status=none
  rm -f "$part"
}

# FAT16; its hidden sectors are the partition's start where that fits the
# field's 32 bits, as Windows writes them. Each FILE (or folder) goes to its
# root.
fat_part() { # START SIZE LABEL DISK FILES...
  fat_part_of 16 "$@"
}

# FAT32, as Windows formats an EFI system partition; otherwise as fat_part.
fat32_part() { # START SIZE LABEL DISK FILES...
  fat_part_of 32 "$@"
}

fat_part_of() { # BITS START SIZE LABEL DISK FILES...
  local bits=$1 start=$2 size=$3 label=$4 img=$5 part=$work/part.img hidden=$2
  shift 5
  [ "$hidden" -le 4294967295 ] || hidden=0
  rm -f "$part"
  truncate -s $((size * 512)) "$part"
  mkfs.fat -F "$bits" -h "$hidden" -n "$label" "$part" >/dev/null || { echo "mkfs.fat failed"; return 1; }
  local f
  for f in "$@"; do mcopy -s -i "$part" "$f" ::/ || { echo "mcopy $f failed"; return 1; }; done
  dd if="$part" of="$img" bs=512 seek="$start" conv=notrunc status=none
  rm -f "$part"
}

# A decoy menu.lst in FOLDER, with CR LF line ends: the same kernel as the
# installer's entry on ROOT, told apart by its title ("TITLE decoy") and its
# command line (KMEDIA=decoy).
decoy_menu() { # FOLDER TITLE ROOT
  mkdir -p "$1"
  printf '%s\r\n' 'timeout 1' 'default 0' '' "title $2 decoy" "root $3" \
    'kernel /kavel/vmlinuz KMEDIA=decoy KSUBDIR=kavel' 'initrd /kavel/initrd.gz' >"$1/menu.lst"
}

# The boot manager loads a boot-sector file (g2ldr.mbr, 8 KiB) at 0:7C00 and
# runs it, as a BIOS runs a disk's first sector. Standing in for it: the file
# goes over sectors 0-15 of DISK, with the disk's own signature and partition
# table (bytes 440-511 of sector 0) kept, and SeaBIOS runs it.
put_boot_sector_file() { # DISK FILE
  local img=$1 file=$2 tail=$work/sector0-tail
  dd if="$img" of="$tail" bs=1 skip=440 count=72 status=none
  dd if="$file" of="$img" bs=512 count=16 conv=notrunc status=none
  dd if="$tail" of="$img" bs=1 seek=440 conv=notrunc status=none
  cmp -s <(dd if="$img" bs=1 skip=440 count=72 status=none) "$tail" ||
    { echo "the partition table did not survive $file"; return 1; }
}
