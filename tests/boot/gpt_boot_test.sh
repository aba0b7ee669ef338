#!/usr/bin/env bash
# A target on a second disk with a GUID partition table boots on a Windows
# Vista to 11 PC started through a legacy BIOS.
#
# Disk 0 is that PC's system disk: an active NTFS C: holding g2ldr, with
# g2ldr.mbr in the disk's first sectors where the Windows boot manager would
# run it (windows_disk_lib.sh). Disk 1, 3 TiB, has a GUID partition table: a
# data partition in slot 0, slot 1 unused, and the target in slot 2, past the
# first 2 TiB, FAT, holding the kavel files. The installer's own partition walk
# and matching name the target from disk 1's image (ENTRY_TOOL), and its own
# boot-entry code creates C:\menu.lst holding that entry; g2ldr (GRUB 2, with
# part_gpt) reads it and, after its count-down, boots it. Only the target
# holds a kernel, so GRUB reached it by the name the walk gave; the test
# system must find its files on partition 3 (slot 2) of the GPT disk, at the
# target's first sector. Linux names that disk sdb, or sda now and then: it
# probes the two disks' drivers side by side (about 1 boot in 10 here), so the
# letter is not held against the boot; the system disk has no partition 3.
# With RUNNER "wine" the Windows build of ENTRY_TOOL runs under Wine (in the
# test environment KAVEL_WINE_DIR), and the entry has CR LF line ends, as the
# installer writes it on Windows.
# Usage: gpt_boot_test.sh WORK TREE EXPECTED_SFS ENTRY_TOOL GRUB_LOADERS [native|wine]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/windows_disk_lib.sh"
work=$1 tree=$2 expected=$3 tool=$4 loaders=$5 runner=${6:-native}
limit=240 # seconds for the boot
rm -rf "$work"
mkdir -p "$work"

need_files "$loaders" "target grub_loaders" g2ldr g2ldr.mbr

# Disk 1's table; the partitions' places as sfdisk made them.
gpt=$work/hd1.img
make_disk "$gpt" 3T gpt --no-reread --no-tell-kernel <<'TABLE'
unit: sectors

hd1.img1 : start=2048, size=65536, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="data"
hd1.img3 : start=5000000000, size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="kavel"
TABLE
read -r data_start data_size target_start target_size <<<"$(partition_places "$gpt" 1 3)"
[ -n "$target_start" ] && [ -z "$(partition_place "$gpt" 2)" ] ||
  fail "sfdisk did not leave slot 1 unused between the data partition and the target"
echo "disk 1 (GPT): data at $data_start (slot 0), slot 1 unused, kavel at $target_start (slot 2)"

# C:\menu.lst as the installer leaves it where there was none.
menu=$work/c/menu.lst
mkdir -p "$work/c"
if [ "$runner" = wine ]; then
  "$here/../wine/wine-run" "$tool" "$(windows_path "$work/")" "$target_start" "$target_size" \
    "$(windows_path "$menu")" 1 2>"$work/entry.err" >"$work/entry.out" ||
    { cat "$work/entry.err"; fail "the installer's code did not name the partition at sector $target_start of disk 1"; }
  target_name=$(tr -d '\r' <"$work/entry.out")
else
  target_name=$("$tool" "$work/" "$target_start" "$target_size" "$menu" 1) ||
    fail "the installer's code did not name the partition at sector $target_start of disk 1"
fi
[ "$target_name" = "(hd1,2)" ] ||
  fail "GRUB name $target_name, expected (hd1,2) for slot 2 of the second disk"
menu_holds_entry_alone "$menu" "(hd1,2)" "$runner"

mkdir -p "$work/data" "$work/kavel"
echo "data of another system" >"$work/data/readme.txt"
cp "$tree"/* "$work/kavel/"
fat_part "$data_start" "$data_size" DATA "$gpt" "$work/data/readme.txt" || fail "disk 1's data partition"
fat_part "$target_start" "$target_size" KAVEL "$gpt" "$work/kavel" || fail "disk 1's kavel partition"

# Disk 0: the system disk, C: its only partition.
system=$work/hd0.img
make_disk "$system" 64M dos --no-reread --no-tell-kernel <<'TABLE'
hd0.img1 : start=2048, size=129024, type=7, bootable
TABLE
read -r c_start c_size <<<"$(partition_place "$system" 1)"
ntfs_part "$c_start" "$c_size" Windows "$system" "$loaders/g2ldr" "$menu" || fail "disk 0's C:"
put_boot_sector_file "$system" "$loaders/g2ldr.mbr" || fail "g2ldr.mbr on disk 0"

# No key is pressed: g2ldr's count-down starts the entry.
boot_qemu "$work/boot.log" "$limit" 'error: |Press Enter' -- \
  -drive "file=$system,format=raw,if=ide,index=0" -drive "file=$gpt,format=raw,if=ide,index=2" \
  -snapshot
echo "boot manager to GRUB to a GPT target past 2 TiB: $boot_seconds s" >"$work/boot.seconds"
[ "$boot_end" = poweroff ] || fail "the boot through g2ldr did not end by itself ($boot_end)" "$work/boot.log"
serial_has "$work/boot.log" "Booting \`Kavel Linux \(tovkast\)" ||
  fail "GRUB did not boot the entry \"Kavel Linux (tovkast)\"" "$work/boot.log"
got=$(serial_text "$work/boot.log" | sed -n 's/^KAVEL partition: //p')
[[ "${got%% *}" =~ ^/dev/sd[ab]3$ ]] ||
  fail "the entry named (hd1,2) but the system found its files on \"$got\", not on sdb3 (or sda3)" "$work/boot.log"
check_report "$work/boot.log" "BOOT_IMAGE=/kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel" "$expected" \
  "$target_start"
echo "boot manager to GRUB to a GPT target past 2 TiB: $boot_seconds s"
