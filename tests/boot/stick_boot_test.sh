#!/usr/bin/env bash
# The installed USB stick starts Kavel Linux, on BIOS and on UEFI.
#
#   stick_boot_test.sh install WORK ISO SETUP_EXE SEVENZIP_DIR CHKDSK_EXE SYSLINUX_EXE CFG EFI_DIR DRIVER_EXE SYSLINUX_BUILD
#     The real installer, with the real 7-Zip, installs ISO onto the removable
#     drive E: of the Wine test environment (KAVEL_WINE_DIR), driven by the
#     demo driver as a user would. Then WORK/stick.img is built from exactly
#     the files the installer wrote on E:, with the boot sector written by
#     the Linux syslinux of the build's syslinux tree SYSLINUX_BUILD.
#   stick_boot_test.sh bios|uefi WORK CFG EXPECTED_SFS
#     Boots WORK/stick.img in QEMU (SeaBIOS, or OVMF 64-bit) and checks the
#     report of the test system: the command line CFG gives, the partition
#     found by its kavel folder, every .sfs mounted with the contents built.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/boot_lib.sh"
mode=$1 work=$2
limit=300 # seconds per boot; TCG on a loaded machine

# Wine has no chkdsk: the stand-in goes into the prefix's system folder, the
# only place the installer takes chkdsk from.
place_stand_in_chkdsk() { # STAND_IN_EXE
  "$here/../wine/put-stand-in-chkdsk.sh" "$KAVEL_WINE_DIR" "$1" >/dev/null
}

install_onto_e() {
  local iso=$1 setup=$2 sevenzip=$3 chkdsk=$4 syslinux=$5 cfg=$6 efi=$7 driver=$8 build=$9
  : "${KAVEL_WINE_DIR:?the Wine test environment}"
  local kit=$work/installer drive=$KAVEL_WINE_DIR/drives/e
  rm -rf "$work"
  mkdir -p "$kit"
  cp "$setup" "$kit/kavel-setup.exe"
  cp "$sevenzip/7z.exe" "$sevenzip/7z.dll" "$kit/"
  cp "$syslinux" "$kit/syslinux.exe"
  cp "$cfg" "$kit/syslinux.cfg"
  # The efi folder of the build (syslinux's UEFI loaders), as the release ships it.
  [ -f "$efi/BOOTX64.EFI" ] || { echo "FAILED: no UEFI loaders in $efi"; exit 1; }
  cp -r "$efi" "$kit/efi"
  place_stand_in_chkdsk "$chkdsk"

  # An empty stick (the label stays).
  find "$drive" -mindepth 1 -maxdepth 1 ! -name .windows-label -exec rm -rf {} +

  local image_win setup_pid rc=0
  image_win="Z:$(tr / '\\' <<<"$(cd "$(dirname "$iso")" && pwd)/$(basename "$iso")")"
  "$here/../wine/wine-run" "$kit/kavel-setup.exe" >/dev/null 2>&1 &
  setup_pid=$!
  "$here/../wine/wine-run" "$driver" "$image_win" E run >"$work/driver.out" 2>&1 || rc=$?
  kill "$setup_pid" 2>/dev/null || true
  wait "$setup_pid" 2>/dev/null || true
  if [ "$rc" -ne 0 ]; then
    echo "FAILED: the installer did not end its run onto E: with success (driver: $(tr -d '\r' <"$work/driver.out"))"
    exit 1
  fi
  # The stand-in syslinux recorded what the installer asked of syslinux; the
  # Linux syslinux does that to the stick image below.
  local asked
  asked=$(tr -d '\r' <"$kit/syslinux.args" 2>/dev/null || true)
  if [ "$asked" != "syslinux -f E:" ]; then
    echo "FAILED: the installer ran syslinux as \"$asked\", expected \"syslinux -f E:\" once"
    exit 1
  fi

  cp -a "$drive" "$work/files"
  echo "The installer wrote on E::"
  (cd "$work/files" && find . -type f ! -name .windows-label | LC_ALL=C sort | sed 's/^/  /')
  make_stick_image "$work/files" "$work/stick.img" "$build"
  echo "stick image: $work/stick.img"
}

boot_stick() { # bios|uefi CFG EXPECTED_SFS
  local firmware=$1 cfg=$2 expected=$3 log=$work/$1.log
  [ -f "$work/stick.img" ] || { echo "FAILED: no stick image in $work (the install step failed?)"; exit 1; }
  local args=(-drive "file=$work/stick.img,format=raw,if=ide" -snapshot)
  if [ "$firmware" = uefi ]; then
    cp /usr/share/OVMF/OVMF_VARS.fd "$work/OVMF_VARS.fd"
    args=(-drive "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE.fd"
          -drive "if=pflash,format=raw,file=$work/OVMF_VARS.fd" "${args[@]}")
  fi
  # Ended at once when the firmware or the loader gives up: SeaBIOS finds
  # nothing to boot, syslinux misses a file, OVMF falls back to its shell.
  local gave_up='No bootable device|Boot failed|Could not find kernel|Loading .*failed|EFI Internal Shell'
  boot_qemu "$log" "$limit" "$gave_up" -- "${args[@]}"
  echo "$firmware boot of the stick: $boot_seconds s" >"$work/$firmware.seconds"
  if [ "$boot_end" = stopped ]; then
    echo "FAILED: the $firmware boot of the stick gave up: $(serial_text "$log" | grep -m1 -oE "$gave_up")"
    [ "$firmware" = uefi ] &&
      echo "  (OVMF found no UEFI loader on the stick: \\EFI\\BOOT\\BOOTX64.EFI with ldlinux.e64)"
    serial_tail "$log"
    exit 1
  fi
  if [ "$boot_end" != poweroff ]; then
    echo "FAILED: the $firmware boot of the stick did not end within $limit s"
    serial_tail "$log"
    exit 1
  fi
  # Which loader ran: syslinux's BIOS boot sector, or a UEFI loader started
  # by the firmware's boot manager (OVMF has no legacy BIOS to fall back on).
  local text
  text=$(serial_text "$log")
  if [ "$firmware" = bios ] && ! grep -q '^SYSLINUX .* EDD' <<<"$text"; then
    echo "FAILED: the BIOS boot did not go through syslinux's boot sector"
    serial_tail "$log"
    exit 1
  fi
  if [ "$firmware" = uefi ] && ! grep -q 'BdsDxe: starting .*HARDDISK' <<<"$text"; then
    echo "FAILED: OVMF did not start a UEFI loader from the stick"
    serial_tail "$log"
    exit 1
  fi
  check_report "$log" "$(syslinux_cmdline "$cfg")" "$expected" 2048
  echo "$firmware boot of the stick: $boot_seconds s"
  [ "$firmware" = uefi ] && uefi_needs_the_loaders
  return 0
}

# The same stick without the EFI folder the installer wrote must not start on
# UEFI: the boot above owes nothing to a fallback of the firmware.
uefi_needs_the_loaders() {
  local img=$work/stick-without-efi.img log=$work/uefi-without-efi.log
  cp --sparse=always "$work/stick.img" "$img"
  mdeltree -i "$img@@$((2048 * 512))" ::/EFI
  cp /usr/share/OVMF/OVMF_VARS.fd "$work/OVMF_VARS.fd"
  boot_qemu "$log" "$limit" 'EFI Internal Shell|^KAVEL end' -- \
    -drive "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE.fd" \
    -drive "if=pflash,format=raw,file=$work/OVMF_VARS.fd" \
    -drive "file=$img,format=raw,if=ide" -snapshot
  if serial_has "$log" '^KAVEL partition: ' ||
     ! serial_has "$log" 'EFI Internal Shell'; then
    echo "FAILED: the stick without EFI\\BOOT did not fail on UEFI as it should ($boot_end)"
    serial_tail "$log"
    exit 1
  fi
  echo "without EFI\\BOOT the UEFI boot fails, as it must: OVMF falls back to its shell ($boot_seconds s)"
  rm -f "$img"
}

case $mode in
  install) shift 2; install_onto_e "$@" ;;
  bios | uefi) boot_stick "$mode" "$3" "$4" ;;
  *) echo "usage: $0 install|bios|uefi WORK ..." >&2; exit 2 ;;
esac
