# Shared by the boot tests and the demo (sourced, not run): building a stick's
# disk image from the files on a drive, booting a disk image in QEMU without
# KVM, and reading the report the test system's init writes to its serial port.

# The serial log without CRs and terminal control sequences.
serial_text() { # LOG
  tr -d '\r' <"$1" | sed 's/\x1b\[[0-9;?=]*[A-Za-z]//g; s/\x1bc//g'
}

# Whether the serial log has a line matching the extended PATTERN. grep reads
# to the end: a grep -q that stops at the first match would end serial_text by
# SIGPIPE, which pipefail reports as a failure.
serial_has() { # LOG PATTERN
  [ "$(serial_text "$1" | grep -cE "$2")" != 0 ]
}

serial_tail() { # LOG [LINES]
  echo "--- last ${2:-40} lines of the serial log $1 ---"
  printf '%s\n' "$(serial_text "$1" | tail -n "${2:-40}")"
  echo "--- end of the serial log ---"
}

# A removable stick as Windows leaves it after the installer: an MBR with one
# active FAT32 partition (type 0x0c) at sector 2048 holding exactly the files
# in FILES (Wine's .windows-label is the drive's label, not a file), syslinux's
# boot sector written by the Linux syslinux of the build's syslinux tree
# SYSLINUX_BUILD (the same boot code as the syslinux.exe the release ships,
# which the installer runs on Windows as "syslinux -f X:"), and that tree's
# mbr.bin.
make_stick_image() { # FILES OUT.img SYSLINUX_BUILD
  local files=$1 img=$2 build=$3 start=2048 sectors=131072 part
  part=$img.part
  rm -f "$img" "$part"
  truncate -s $((sectors * 512)) "$img"
  printf 'label: dos\nstart=%d, type=c, bootable\n' "$start" | sfdisk -q "$img"
  truncate -s $(((sectors - start) * 512)) "$part"
  mkfs.fat -F 32 -h "$start" -n "$(cat "$files/.windows-label" 2>/dev/null || echo KAVELUSB)" \
    "$part" >/dev/null
  local entry
  for entry in "$files"/*; do
    [ -e "$entry" ] && mcopy -s -i "$part" "$entry" ::/
  done
  "$build/syslinux" --install "$part"
  dd if="$part" of="$img" bs=512 seek="$start" conv=notrunc status=none
  dd if="$build/mbr.bin" of="$img" bs=440 count=1 conv=notrunc status=none
  rm -f "$part"
}

qemu_pid=""
stop_qemu() {
  if [ -n "$qemu_pid" ]; then
    kill "$qemu_pid" 2>/dev/null || true
    wait "$qemu_pid" 2>/dev/null || true
    qemu_pid=""
  fi
}
trap stop_qemu EXIT

# Boots a machine (512 MiB, TCG, no display, no network, no reboot) with the
# serial port written to LOG, for at most LIMIT seconds. With STOP (an
# extended regular expression) the machine is ended as soon as a line of the
# serial log matches it. Sets boot_seconds and boot_end: "poweroff" (the
# machine ended by itself), "stopped" (STOP seen) or "timeout".
boot_qemu() { # LOG LIMIT STOP -- QEMU ARGS...
  local log=$1 limit=$2 stop=$3
  shift 4
  : >"$log"
  local t0
  t0=$(date +%s.%N)
  qemu-system-x86_64 -m 512 -nographic -no-reboot -monitor none -net none \
    -serial "file:$log" "$@" </dev/null >"$log.qemu" 2>&1 &
  qemu_pid=$!
  boot_end=timeout
  local waited=0
  while kill -0 "$qemu_pid" 2>/dev/null; do
    if [ -n "$stop" ] && serial_has "$log" "$stop"; then
      boot_end=stopped
      break
    fi
    if [ "$waited" -ge $((limit * 2)) ]; then
      break
    fi
    sleep 0.5
    waited=$((waited + 1))
  done
  if kill -0 "$qemu_pid" 2>/dev/null; then
    stop_qemu
  else
    wait "$qemu_pid" 2>/dev/null || true
    qemu_pid=""
    [ "$boot_end" = timeout ] && boot_end=poweroff
  fi
  boot_seconds=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  echo "boot ended ($boot_end) after $boot_seconds s"
}

# The kernel command line syslinux gives for the default entry of CFG: it puts
# BOOT_IMAGE= and the KERNEL path before the APPEND line.
syslinux_cmdline() { # CFG
  local label kernel append
  label=$(awk 'toupper($1) == "DEFAULT" { print $2; exit }' "$1")
  kernel=$(awk -v l="$label" 'toupper($1) == "LABEL" { in_l = ($2 == l) }
                             in_l && toupper($1) == "KERNEL" { print $2; exit }' "$1")
  append=$(awk -v l="$label" 'toupper($1) == "LABEL" { in_l = ($2 == l) }
                             in_l && toupper($1) == "APPEND" { sub(/^[ \t]*[^ \t]+[ \t]+/, ""); print; exit }' "$1")
  printf 'BOOT_IMAGE=%s %s' "$kernel" "$append" | tr -d '\r'
}

# Checks the init's report in LOG: it ended, the command line is CMDLINE
# exactly, a partition was found (at sector START when given), and the .sfs
# lines are exactly those of EXPECTED_SFS. Prints what failed and the log's
# tail; 0 when all holds.
check_report() { # LOG CMDLINE EXPECTED_SFS [START]
  local log=$1 cmdline=$2 expected=$3 start=${4:-} text got problems=()
  text=$(serial_text "$log")
  if ! grep -qx 'KAVEL end' <<<"$text"; then
    problems+=("the test system did not finish its report (no line \"KAVEL end\")")
  fi
  got=$(sed -n 's/^KAVEL not found: //p' <<<"$text")
  [ -z "$got" ] || problems+=("the test system reports: not found: $got")
  got=$(sed -n 's/^KAVEL cmdline: //p' <<<"$text")
  [ "$got" = "$cmdline" ] ||
    problems+=("kernel command line is \"$got\", expected \"$cmdline\"")
  got=$(sed -n 's/^KAVEL partition: //p' <<<"$text")
  if [ -z "$got" ]; then
    problems+=("no partition with the kavel folder was reported")
  elif [ -n "$start" ] && [ "$(awk '{ print $3 }' <<<"$got")" != "$start" ]; then
    problems+=("the kavel folder was found on \"$got\", expected the partition at sector $start")
  fi
  got=$(sed -n 's/^KAVEL sfs: //p' <<<"$text" | LC_ALL=C sort)
  if [ "$got" != "$(cat "$expected")" ]; then
    problems+=("mounted .sfs files (name|contents sha256|files) differ:
$(diff <(cat "$expected") <(echo "$got") | sed -n 's/^< /  expected /p; s/^> /  reported /p')")
  fi
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAILED: the booted system's report in $log is not what the image holds:"
    printf '  - %s\n' "${problems[@]}"
    serial_tail "$log"
    return 1
  fi
  echo "report: $(grep -c '^KAVEL sfs: ' <<<"$text") .sfs mounted as built, found on $(sed -n 's/^KAVEL partition: //p' <<<"$text")"
  echo "command line: $cmdline"
}

# Ends the test with MESSAGE, and the tail of the serial log LOG when given.
fail() { # MESSAGE [LOG]
  echo "FAILED: $1"
  [ -n "${2:-}" ] && serial_tail "$2"
  exit 1
}

# Ends the test unless each FILE is in FOLDER and not empty; FROM says what
# makes or installs them.
need_files() { # FOLDER FROM FILE...
  local folder=$1 from=$2 f
  shift 2
  for f in "$@"; do
    [ -s "$folder/$f" ] || fail "no $folder/$f ($from)"
  done
}

# The boot entry the installer writes into menu.lst for the partition GRUB
# names NAME, as od -An -c shows it; with RUNNER "wine" its lines end in CR
# LF, as the installer writes them on Windows.
menu_entry_od() { # NAME RUNNER
  local line_end='\n'
  [ "$2" = wine ] && line_end='\r\n'
  # shellcheck disable=SC2059 # the line ends are printf escapes
  printf "${line_end}title Kavel Linux (tovkast)${line_end}root %s${line_end}kernel /kavel/vmlinuz KMEDIA=idehd KSUBDIR=kavel${line_end}initrd /kavel/initrd.gz${line_end}" "$1" | od -An -c
}

# Ends the test unless MENU, which the installer created, holds its entry for
# NAME and nothing else.
menu_holds_entry_alone() { # MENU NAME RUNNER
  [ "$(od -An -c "$1")" = "$(menu_entry_od "$2" "$3")" ] ||
    fail "the menu.lst the installer created is not the entry alone:
$(od -An -c "$1")"
}

# Ends the test unless, in the boot logged in LOG, GRUB counted down to the
# installer's entry (its menu.lst has no timeout line) and booted it, and the
# test system found its files on DEVICE, the partition the entry named NAME.
counted_down_to() { # LOG NAME DEVICE
  local log=$1 got
  serial_has "$log" "executed automatically in" ||
    fail "GRUB showed no count-down for the menu.lst without a timeout line" "$log"
  serial_has "$log" "Booting \`Kavel Linux \(tovkast\)" ||
    fail "GRUB did not boot the entry \"Kavel Linux (tovkast)\"" "$log"
  got=$(serial_text "$log" | sed -n 's/^KAVEL partition: //p')
  [ "${got%% *}" = "$3" ] ||
    fail "the entry named $2 but the system found its files on \"$got\"" "$log"
}

# The Windows path of a host path, for a program run under Wine.
windows_path() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }

# "start size" of partition N of the disk image DISK, as sfdisk made it.
partition_place() { # DISK N
  sfdisk -d "$1" 2>/dev/null | sed -n "s|^$1$2 : start= *\([0-9]*\), size= *\([0-9]*\),.*|\1 \2|p"
}

# "start size" of each partition N of DISK in turn, all on one line, for one
# read.
partition_places() { # DISK N...
  local disk=$1 n
  shift
  for n in "$@"; do
    printf '%s ' "$(partition_place "$disk" "$n")"
  done
  echo
}

# The disk image DISK of SIZE (as truncate takes it) with a LABEL (dos or gpt)
# partition table, made by sfdisk with OPTIONS from the rest of the script on
# stdin.
make_disk() { # DISK SIZE LABEL [OPTION...] <REST_OF_SFDISK_SCRIPT
  local disk=$1 size=$2 label=$3
  shift 3
  truncate -s "$size" "$disk"
  { echo "label: $label"; cat; } | sfdisk -q "$@" "$disk"
}
