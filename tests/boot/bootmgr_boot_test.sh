#!/usr/bin/env bash
# On a Windows Vista to 11 PC started through a legacy BIOS, the Windows boot
# manager starts g2ldr.mbr, which starts g2ldr (GRUB 2) from C:, which reads
# C:\menu.lst and boots the installer's entry.
#
# The disk has the layout such a PC has: an active NTFS "System Reserved"
# partition first, the NTFS C: second, then an extended partition with two
# logical FAT partitions, the second holding the kavel files. System Reserved
# and the first logical partition (another system's D:) each hold a decoy
# menu.lst whose entry boots the same kernel with KMEDIA=decoy: a search by
# file name finds one of them before or instead of C:'s (GRUB 2.06 searches
# the last partition first).
# C: holds g2ldr and no menu.lst; the installer's own partition walk names
# the target in GRUB notation from the disk image (ENTRY_TOOL), and its own
# boot-entry code creates C:\menu.lst holding only that entry, with no
# timeout line: g2ldr's own count-down must start it, no key is pressed.
# The boot manager loads g2ldr.mbr as a boot sector at 0:7C00; here its 8 KiB
# go over sectors 0-15 of the disk, the disk's own signature and partition
# table (bytes 440-511 of sector 0) kept, and SeaBIOS starts it.
# Once more without C:\menu.lst: GRUB must say so and read no other one.
# And once with the boot manager's own way of starting g2ldr.mbr, the whole
# file loaded into memory by a stand-in MBR code (bootmgr_stand_in.asm) while
# the first track holds no copy of it, up to GRUB's menu from C:\menu.lst.
# With RUNNER "wine" the Windows build of ENTRY_TOOL runs under Wine (in the
# test environment KAVEL_WINE_DIR), and the entry has CR LF line ends, as the
# installer writes it on Windows.
# Usage: bootmgr_boot_test.sh WORK TREE EXPECTED_SFS ENTRY_TOOL GRUB_LOADERS [native|wine]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/windows_disk_lib.sh"
work=$1 tree=$2 expected=$3 tool=$4 loaders=$5 runner=${6:-native}
limit=180 # seconds per boot
rm -rf "$work"
mkdir -p "$work"

need_files "$loaders" "target grub_loaders" g2ldr g2ldr.mbr
# The stand-in loads g2ldr.mbr from here, in the gap before the first partition.
file_lba=64
file_sectors=$(($(stat -c %s "$loaders/g2ldr.mbr") / 512))
nasm -f bin -DFILE_LBA=$file_lba -DFILE_SECTORS=$file_sectors -o "$work/stand-in.bin" \
  "$here/bootmgr_stand_in.asm" || fail "nasm could not assemble the boot manager's stand-in"

# The disk's tables; the partitions' places as sfdisk made them.
disk=$work/hd0.img
make_disk "$disk" 96M dos <<'TABLE'
hd0.img1 : start=2048, size=16384, type=7, bootable
hd0.img2 : start=18432, size=65536, type=7
hd0.img3 : start=83968, size=104448, type=5
hd0.img5 : size=32768, type=6
hd0.img6 : size=65536, type=6
TABLE
read -r reserved_start reserved_size c_start c_size other_start other_size target_start target_size \
  <<<"$(partition_places "$disk" 1 2 5 6)"
echo "System Reserved at $reserved_start, C: at $c_start, logical partitions at $other_start and $target_start (kavel)"

# C:\menu.lst as the installer leaves it where there was none.
menu=$work/c/menu.lst
mkdir -p "$work/c"
if [ "$runner" = wine ]; then
  "$here/../wine/wine-run" "$tool" "$(windows_path "$work/")" "$target_start" "$target_size" \
    "$(windows_path "$menu")" 2>"$work/entry.err" >"$work/entry.out" ||
    { cat "$work/entry.err"; fail "the installer's code did not name the partition at sector $target_start"; }
  target_name=$(tr -d '\r' <"$work/entry.out")
else
  target_name=$("$tool" "$work/" "$target_start" "$target_size" "$menu") ||
    fail "the installer's code did not name the partition at sector $target_start"
fi
[ "$target_name" = "(hd0,5)" ] ||
  fail "GRUB name $target_name, expected (hd0,5) for the second logical partition"
menu_holds_entry_alone "$menu" "(hd0,5)" "$runner"
grep -q timeout "$menu" && fail "the installer's menu.lst has a timeout line: it cannot show the count-down"

# The decoys: the same kernel, told apart by their titles and command lines.
decoy_menu "$work/reserved" "System Reserved" "(hd0,5)"
decoy_menu "$work/other" "Drive D:" "(hd0,5)"

mkdir -p "$work/other" "$work/kavel"
echo "data of another system" >"$work/other/readme.txt"
cp "$tree"/* "$work/kavel/"
ntfs_part "$reserved_start" "$reserved_size" "System Reserved" "$disk" "$work/reserved/menu.lst"
fat_part "$other_start" "$other_size" DATA "$disk" "$work/other/readme.txt" "$work/other/menu.lst"
fat_part "$target_start" "$target_size" KAVEL "$disk" "$work/kavel"

# The Windows boot manager's part: g2ldr.mbr run as the boot sector.
table() { dd if="$1" bs=1 skip=440 count=72 status=none | od -An -tx1; }
dd if="$disk" of="$work/sector0-tail" bs=1 skip=440 count=72 status=none
dd if="$loaders/g2ldr.mbr" of="$disk" bs=512 count=16 conv=notrunc status=none
dd if="$work/sector0-tail" of="$disk" bs=1 seek=440 conv=notrunc status=none
[ "$(table "$disk")" = "$(od -An -tx1 "$work/sector0-tail")" ] &&
  [ "$(sfdisk -d "$disk" | grep -c "^$disk")" = 5 ] || fail "the partition table did not survive g2ldr.mbr"

cp --sparse=always "$disk" "$work/with-menu.img"
ntfs_part "$c_start" "$c_size" Windows "$work/with-menu.img" "$loaders/g2ldr" "$menu"
# The boot manager's way: sector 0 keeps the stand-in's code instead, the
# first track no copy of g2ldr.mbr.
cp --sparse=always "$work/with-menu.img" "$work/file-loaded.img"
dd if=/dev/zero of="$work/file-loaded.img" bs=512 seek=1 count=15 conv=notrunc status=none
dd if="$work/stand-in.bin" of="$work/file-loaded.img" bs=440 count=1 conv=notrunc status=none
dd if="$loaders/g2ldr.mbr" of="$work/file-loaded.img" bs=512 seek=$file_lba conv=notrunc status=none
[ "$(table "$work/file-loaded.img")" = "$(od -An -tx1 "$work/sector0-tail")" ] || fail "the partition table did not survive the stand-in"
mv "$disk" "$work/without-menu.img"
ntfs_part "$c_start" "$c_size" Windows "$work/without-menu.img" "$loaders/g2ldr"

boot() { # NAME STOP
  boot_qemu "$work/$1.log" "$limit" "$2" -- -drive "file=$work/$1.img,format=raw,if=ide" -snapshot
}

# No key is pressed: only the count-down starts the entry. The system finds
# its files on the partition the entry named: (hd0,M) is Linux's sda(M+1).
boot with-menu 'error: |Press Enter'
echo "boot manager to GRUB to the menu entry: $boot_seconds s" >"$work/with-menu.seconds"
[ "$boot_end" = poweroff ] || fail "the boot through g2ldr did not end by itself ($boot_end)" "$work/with-menu.log"
serial_has "$work/with-menu.log" "decoy" &&
  fail "GRUB read another partition's menu.lst instead of C:'s" "$work/with-menu.log"
counted_down_to "$work/with-menu.log" "(hd0,5)" /dev/sda6
check_report "$work/with-menu.log" "BOOT_IMAGE=/kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel" "$expected" \
  "$target_start"
echo "boot manager to GRUB to the menu entry: $boot_seconds s"

# Without C:\menu.lst GRUB says so and stops; no other menu.lst is read.
boot without-menu 'error: |Press Enter|^KAVEL end'
text=$(serial_text "$work/without-menu.log")
grep -q -e decoy -e '^KAVEL ' <<<"$text" &&
  fail "without C:\\menu.lst GRUB booted something" "$work/without-menu.log"
grep -q -F 'there is no menu.lst beside g2ldr on (hd0,2)' <<<"$text" ||
  fail "without C:\\menu.lst GRUB did not say that C: (hd0,2) has none" "$work/without-menu.log"
echo "without C:\\menu.lst: \"$(grep -o 'g2ldr: there is no menu.lst beside g2ldr on ([^)]*)' <<<"$text" | head -n 1)\" ($boot_seconds s)"

boot file-loaded 'error: |Press Enter|executed automatically in|Missing|stand-in'
text=$(serial_text "$work/file-loaded.log")
grep -q -e decoy -e '^KAVEL ' <<<"$text" &&
  fail "g2ldr.mbr loaded as a file: GRUB read another menu.lst" "$work/file-loaded.log"
[ "$boot_end" = stopped ] && grep -q 'executed automatically in' <<<"$text" &&
  grep -q -F 'Kavel Linux (tovkast)' <<<"$text" ||
  fail "g2ldr.mbr loaded as a file did not reach the menu of C:\\menu.lst" "$work/file-loaded.log"
echo "g2ldr.mbr loaded as a file into memory: GRUB's menu from C:\\menu.lst after $boot_seconds s"
