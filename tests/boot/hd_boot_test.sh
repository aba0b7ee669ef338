#!/usr/bin/env bash
# The boot entry the installer appends to C:\menu.lst starts Kavel Linux from
# a logical partition of a hard disk.
#
# The disk has the layout of a PC: C: (FAT, the first primary partition) with
# a menu.lst that already has the user's timeout and default lines, and an
# extended partition with two logical partitions; the kavel files are on the
# second one. The installer's own partition walk and volume matching name
# that partition in GRUB notation from the disk image (ENTRY_TOOL), and its
# own boot-entry code appends the entry. GRUB4DOS is not packaged; GRUB 2's
# legacy_configfile reads the same menu.lst syntax and partition numbers, so
# a GRUB 2 CD made with grub-mkrescue boots the entry.
# Once more with the entry naming the neighbouring logical partition, which
# holds no kavel folder: that boot must fail.
# With RUNNER "wine" the Windows build of ENTRY_TOOL runs under Wine (in the
# test environment KAVEL_WINE_DIR), and the entry has CR LF line ends, as the
# installer writes it on Windows.
# Usage: hd_boot_test.sh WORK TREE EXPECTED_SFS ENTRY_TOOL [native|wine]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/boot_lib.sh"
work=$1 tree=$2 expected=$3 tool=$4 runner=${5:-native}
limit=300 # seconds per boot
rm -rf "$work"
mkdir -p "$work"


# The disk's tables; the partitions' places as sfdisk made them.
disk=$work/hd0.img
make_disk "$disk" 128M dos <<'TABLE'
hd0.img1 : start=2048, size=32768, type=6, bootable
hd0.img2 : start=36864, size=225280, type=5
hd0.img5 : size=32768, type=6
hd0.img6 : size=65536, type=6
TABLE
read -r c_start c_size other_start other_size target_start target_size <<<"$(partition_places "$disk" 1 5 6)"
echo "C: at $c_start, logical partitions at $other_start (no kavel folder) and $target_start (kavel)"

# The user's menu.lst before the install, with the line ends of the system
# that writes the entry.
line_end='\n'
[ "$runner" = wine ] && line_end='\r\n'
user_menu=$work/user-menu.lst
printf "%s$line_end" '# boot menu of this PC' 'timeout 2' 'default 1' '' 'title Windows' \
  'chainloader (hd0,0)+1' >"$user_menu"

# The entry for the target, and for the wrong partition, each appended to a
# copy of the user's menu.lst by the installer's own code.
entry_for() { # NAME START SIZE -> prints the GRUB name
  cp "$user_menu" "$work/$1-menu.lst"
  if [ "$runner" = wine ]; then
    "$here/../wine/wine-run" "$tool" "$(windows_path "$work/")" "$2" "$3" \
      "$(windows_path "$work/$1-menu.lst")" 2>"$work/$1-entry.err" >"$work/$1-entry.out" ||
      { cat "$work/$1-entry.err"; return 1; }
    tr -d '\r' <"$work/$1-entry.out"
  else
    "$tool" "$work/" "$2" "$3" "$work/$1-menu.lst"
  fi
}
target_name=$(entry_for good "$target_start" "$target_size") ||
  fail "the installer's code did not name the partition at sector $target_start"
other_name=$(entry_for wrong "$other_start" "$other_size") ||
  fail "the installer's code did not name the partition at sector $other_start"
echo "named: kavel partition $target_name, its neighbour $other_name"
[ "$target_name" = "(hd0,5)" ] && [ "$other_name" = "(hd0,4)" ] ||
  fail "GRUB names $target_name and $other_name, expected (hd0,5) and (hd0,4) for the second and first logical partitions"
for m in good wrong; do
  head -c "$(stat -c %s "$user_menu")" "$work/$m-menu.lst" | cmp -s - "$user_menu" ||
    fail "the user's lines of menu.lst did not stay as they were"
done
expected_entry=$(menu_entry_od "$target_name" "$runner")
got_entry=$(tail -c +"$(($(stat -c %s "$user_menu") + 1))" "$work/good-menu.lst" | od -An -c)
[ "$got_entry" = "$expected_entry" ] ||
  fail "the entry appended to menu.lst is not the boot entry for $target_name:
$got_entry"

# FAT file systems into the partitions; hidden sectors = the partition's start.
fat_part() { # START SIZE LABEL DISK FILES...
  local start=$1 size=$2 label=$3 img=$4 part=$work/part.img
  shift 4
  rm -f "$part"
  truncate -s $((size * 512)) "$part"
  mkfs.fat -F 16 -h "$start" -n "$label" "$part" >/dev/null
  local f
  for f in "$@"; do mcopy -s -i "$part" "$f" ::/; done
  dd if="$part" of="$img" bs=512 seek="$start" conv=notrunc status=none
  rm -f "$part"
}
mkdir -p "$work/other" "$work/kavel"
echo "data of another system" >"$work/other/readme.txt"
cp "$tree"/* "$work/kavel/"
fat_part "$other_start" "$other_size" DATA "$disk" "$work/other/readme.txt"
fat_part "$target_start" "$target_size" KAVEL "$disk" "$work/kavel"
for m in good wrong; do
  cp --sparse=always "$disk" "$work/$m.img"
  cp "$work/$m-menu.lst" "$work/menu.lst"
  fat_part "$c_start" "$c_size" SYSTEM "$work/$m.img" "$work/menu.lst"
done

# The GRUB 2 CD that reads C:\menu.lst, talking on the serial port too.
mkdir -p "$work/cd/boot/grub"
cat >"$work/cd/boot/grub/grub.cfg" <<'CFG'
serial --unit=0 --speed=115200
terminal_input serial console
terminal_output serial console
insmod part_msdos
insmod fat
insmod legacycfg
legacy_configfile (hd0,msdos1)/menu.lst
CFG
grub-mkrescue -o "$work/grub.iso" "$work/cd" >"$work/grub-mkrescue.log" 2>&1 ||
  { cat "$work/grub-mkrescue.log"; fail "grub-mkrescue failed"; }

# GRUB waits for a key after an error: the boot is ended when one shows.
boot() { # NAME STOP
  boot_qemu "$work/$1.log" "$limit" "$2" -- \
    -drive "file=$work/$1.img,format=raw,if=ide" -snapshot -cdrom "$work/grub.iso" -boot d
}

# The entry the installer wrote boots, and the system finds its files on the
# partition the entry named: (hd0,M) is Linux's sda(M+1).
boot good 'error: '
echo "hard-disk boot through the menu entry: $boot_seconds s" >"$work/good.seconds"
[ "$boot_end" = poweroff ] || fail "the boot through the entry $target_name did not end by itself ($boot_end)" "$work/good.log"
# (GRUB 2 keeps a CR of a CR LF line in the title: no closing quote here.)
serial_has "$work/good.log" "Booting \`Kavel Linux \(tovkast\)" ||
  fail "GRUB did not boot the entry \"Kavel Linux (tovkast)\" (the user's default 1)" "$work/good.log"
number=${target_name#(hd0,}
number=${number%)}
got=$(serial_text "$work/good.log" | sed -n 's/^KAVEL partition: //p')
[ "${got%% *}" = "/dev/sda$((number + 1))" ] ||
  fail "the entry named $target_name but the system found its files on \"$got\"" "$work/good.log"
check_report "$work/good.log" "BOOT_IMAGE=/kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel" "$expected" \
  "$target_start"
echo "hard-disk boot through the menu entry: $boot_seconds s"

# The neighbouring partition named instead: GRUB finds no kernel there.
boot wrong 'error: |^KAVEL end'
echo "hard-disk boot through a wrong entry: $boot_seconds s, $boot_end" >"$work/wrong.seconds"
text=$(serial_text "$work/wrong.log")
if grep -q '^KAVEL partition: ' <<<"$text"; then
  fail "the entry naming $other_name (no kavel folder) started the system" "$work/wrong.log"
fi
grep -qE 'error: |^KAVEL not found' <<<"$text" ||
  fail "the boot through the wrong entry $other_name showed no failure within $limit s" "$work/wrong.log"
echo "wrong entry $other_name: $(grep -m1 -E 'error: |^KAVEL not found' <<<"$text") ($boot_seconds s)"
