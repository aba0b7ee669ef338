#!/usr/bin/env bash
# On a PC that starts Windows through 64-bit UEFI, the firmware's boot entry
# starts \EFI\kavel\grubx64.efi (GRUB 2 for UEFI, as the build made it) from
# the EFI system partition; it reads kavel.cfg beside itself, which has it
# read C:\menu.lst, and boots the installer's entry.
#
# The disk has the layout of such a PC's: a GUID partition table with the EFI
# system partition (FAT32), the Microsoft reserved partition (blank), the
# NTFS C:, Windows' recovery partition (NTFS) and then the target (FAT, the
# kavel files). The installer's own partition walk and matching name C:
# (kavel.cfg, written by its own code) and the target (C:\menu.lst, created
# by its own code holding only that entry, with no timeout line: GRUB's own
# count-down must start it, no key is pressed) from the disk image
# (ENTRY_TOOL).
# A test cannot make a firmware boot entry: OVMF, with fresh variables and no
# \EFI\BOOT\BOOTX64.EFI on the disk, ends in its shell, which runs the
# ESP's startup.nsh; that starts fs0:\EFI\kavel\grubx64.efi as the entry
# would.
# Decoys, each booting the same kernel with KMEDIA=decoy: a menu.lst on the
# recovery partition and in the ESP's root, and a kavel.cfg in the ESP's root
# that names the latter; none may be read. The kernel must get a screen from
# GRUB (no "blind mode").
# Once more without \EFI\kavel\kavel.cfg: GRUB must say so and boot nothing.
# With RUNNER "wine" the Windows build of ENTRY_TOOL runs under Wine (in the
# test environment KAVEL_WINE_DIR), and both files have CR LF line ends, as
# the installer writes them on Windows.
# Usage: uefi_hd_boot_test.sh WORK TREE EXPECTED_SFS ENTRY_TOOL GRUB_EFI [native|wine]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/windows_disk_lib.sh"
work=$1 tree=$2 expected=$3 tool=$4 grub_efi=$5 runner=${6:-native}
limit=240 # seconds per boot
ovmf=/usr/share/OVMF
rm -rf "$work"
mkdir -p "$work"

need_files "$grub_efi" "target grub_efi" grubx64.efi
need_files "$ovmf" "package ovmf" OVMF_CODE.fd OVMF_VARS.fd

# The disk's table; the partitions' places as sfdisk made them.
disk=$work/hd0.img
make_disk "$disk" 320M gpt --no-reread --no-tell-kernel <<'TABLE'
unit: sectors

hd0.img1 : start=2048, size=204800, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, name="EFI system partition"
hd0.img2 : size=32768, type=E3C9E316-0B5C-4DB8-817D-F92DF00215AE, name="Microsoft reserved partition"
hd0.img3 : size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="Basic data partition"
hd0.img4 : size=32768, type=DE94BBA4-06D1-4D40-A16A-BFD50179D6AC, name="Recovery"
hd0.img5 : size=131072, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="kavel"
TABLE
read -r esp_start esp_size c_start c_size recovery_start recovery_size target_start target_size \
  <<<"$(partition_places "$disk" 1 3 4 5)"
[ -n "$target_start" ] || fail "sfdisk did not make the five partitions"
echo "ESP at $esp_start, MSR, C: at $c_start, recovery at $recovery_start, kavel at $target_start"

# What the installer writes: \EFI\kavel\kavel.cfg naming C:, and
# C:\menu.lst, created with the entry alone, naming the target.
entry_tool() { # OUTPUT_NAME ARGS... -> the GRUB name it printed
  local name=$1
  shift
  if [ "$runner" = wine ]; then
    local args=() a
    for a in "$@"; do
      case $a in /*) args+=("$(windows_path "$a")") ;; *) args+=("$a") ;; esac
    done
    "$here/../wine/wine-run" "$tool" "${args[@]}" 2>"$work/$name.err" >"$work/$name.out" ||
      { cat "$work/$name.err"; return 1; }
    tr -d '\r' <"$work/$name.out"
  else
    "$tool" "$@"
  fi
}
esp=$work/esp
menu=$work/c/menu.lst
mkdir -p "$esp/EFI/kavel" "$work/c"
c_name=$(entry_tool uefi-config --uefi-config "$work/" "$c_start" "$c_size" "$esp/EFI/kavel/kavel.cfg") ||
  fail "the installer's code did not name C:, the partition at sector $c_start"
[ "$c_name" = "(hd0,2)" ] || fail "GRUB name $c_name for C:, expected (hd0,2) for GPT slot 2"
target_name=$(entry_tool menu-entry "$work/" "$target_start" "$target_size" "$menu") ||
  fail "the installer's code did not name the partition at sector $target_start"
[ "$target_name" = "(hd0,4)" ] || fail "GRUB name $target_name, expected (hd0,4) for GPT slot 4"
nl=$'\n'
[ "$runner" = wine ] && nl=$'\r\n'
same_bytes() { # FILE WHAT FORMAT ARGS...: the file holds exactly printf FORMAT ARGS
  local file=$1 what=$2
  shift 2
  # shellcheck disable=SC2059
  [ "$(od -An -c "$file")" = "$(printf "$@" | od -An -c)" ] || fail "$what is not as expected:
$(od -An -c "$file")"
}
same_bytes "$esp/EFI/kavel/kavel.cfg" "the kavel.cfg the installer wrote" \
  '# Written by the Kavel Linux installer: C:\\menu.lst is on (hd0,2).%slegacy_configfile (hd0,3)/menu.lst%s' \
  "$nl" "$nl"
same_bytes "$menu" "the menu.lst the installer created" \
  '%stitle Kavel Linux (tovkast)%sroot (hd0,4)%skernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel%sinitrd /kavel/initrd.gz%s' \
  "$nl" "$nl" "$nl" "$nl" "$nl"

# The decoys: the same kernel, told apart by their titles and command lines.
decoy_menu "$work/recovery" "Recovery" "(hd0,4)"
decoy_menu "$esp" "ESP" "(hd0,4)"
printf '%s\r\n' 'legacy_configfile (hd0,1)/menu.lst' >"$esp/kavel.cfg"
cp "$grub_efi/grubx64.efi" "$esp/EFI/kavel/grubx64.efi"
printf '%s\r\n' 'fs0:\EFI\kavel\grubx64.efi' >"$esp/startup.nsh"

mkdir -p "$work/kavel"
cp "$tree"/* "$work/kavel/"
ntfs_part "$c_start" "$c_size" Windows "$disk" "$menu" || fail "C:"
ntfs_part "$recovery_start" "$recovery_size" Recovery "$disk" "$work/recovery/menu.lst" || fail "the recovery partition"
fat_part "$target_start" "$target_size" KAVEL "$disk" "$work/kavel" || fail "the kavel partition"
cp --sparse=always "$disk" "$work/without-cfg.img"
fat32_part "$esp_start" "$esp_size" SYSTEM "$disk" "$esp/EFI" "$esp/startup.nsh" "$esp/menu.lst" "$esp/kavel.cfg" ||
  fail "the EFI system partition"
rm "$esp/EFI/kavel/kavel.cfg"
fat32_part "$esp_start" "$esp_size" SYSTEM "$work/without-cfg.img" "$esp/EFI" "$esp/startup.nsh" "$esp/menu.lst" \
  "$esp/kavel.cfg" || fail "the EFI system partition without kavel.cfg"
mv "$disk" "$work/with-cfg.img"
echo "on the EFI system partition:"
mdir -/ -b -i "$work/with-cfg.img@@$((esp_start * 512))" ::/ | sed 's/^/  /'
mdir -/ -b -i "$work/with-cfg.img@@$((esp_start * 512))" ::/ | grep -qi '/EFI/BOOT' &&
  fail "the ESP has an EFI\\BOOT folder: the firmware could start it without startup.nsh"

boot() { # NAME STOP
  cp "$ovmf/OVMF_VARS.fd" "$work/OVMF_VARS.fd"
  boot_qemu "$work/$1.log" "$limit" "$2" -- \
    -drive "if=pflash,format=raw,readonly=on,file=$ovmf/OVMF_CODE.fd" \
    -drive "if=pflash,format=raw,file=$work/OVMF_VARS.fd" \
    -drive "file=$work/$1.img,format=raw,if=ide" -snapshot
}

# No key is pressed: only the count-down starts the entry. The system finds
# its files on the partition the entry named: (hd0,M) is Linux's sda(M+1).
boot with-cfg 'error: |Press Enter'
echo "UEFI to GRUB to C:\\menu.lst to the entry: $boot_seconds s" >"$work/with-cfg.seconds"
log=$work/with-cfg.log
serial_has "$log" 'blind mode|no suitable video mode' &&
  fail "GRUB gave the kernel no screen (\"blind mode\")" "$log"
serial_has "$log" 'decoy' && fail "GRUB read a decoy instead of kavel.cfg and C:\\menu.lst" "$log"
[ "$boot_end" = poweroff ] || fail "the boot through grubx64.efi did not end by itself ($boot_end)" "$log"
counted_down_to "$log" "(hd0,4)" /dev/sda5
check_report "$log" "BOOT_IMAGE=/kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel" "$expected" "$target_start"
echo "UEFI to GRUB to C:\\menu.lst to the entry: $boot_seconds s"

# Without kavel.cfg GRUB says so and stops; nothing else is read.
boot without-cfg 'error: |Press Enter|^KAVEL end'
log=$work/without-cfg.log
text=$(serial_text "$log")
grep -q -e decoy -e '^KAVEL ' <<<"$text" && fail "without kavel.cfg GRUB booted something" "$log"
grep -q -F 'there is no kavel.cfg beside grubx64.efi in (hd0,gpt1)/EFI/kavel' <<<"$text" ||
  fail "without kavel.cfg GRUB did not say that (hd0,gpt1)/EFI/kavel has none" "$log"
echo "without kavel.cfg: \"$(grep -a -o 'grubx64.efi: there is no kavel.cfg beside grubx64.efi in [^ ]*/kavel' <<<"$text" | head -n 1)\" ($boot_seconds s)"
