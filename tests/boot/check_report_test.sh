#!/usr/bin/env bash
# The boot tests' judges on made-up serial logs: a report as the test system
# writes it passes; each kind of wrong report is caught, with the log's tail.
# Also the command line read from a syslinux.cfg.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/boot_lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

printf '%s\n' 'kavel extra.sfs|aaaa|3' 'kavel-base.sfs|bbbb|3' >"$work/expected"
cmdline='BOOT_IMAGE=/kavel/vmlinuz initrd=/kavel/initrd.gz KMEDIA=usbhd KSUBDIR=kavel'
good=$(printf '%s\r\n' $'\x1bc\x1b[?7l\x1b[2JSYSLINUX 6.04' 'KAVEL start' "KAVEL cmdline: $cmdline" \
  'KAVEL partition: /dev/sda1 start 2048 size 129024' 'KAVEL sfs: kavel-base.sfs|bbbb|3' \
  'KAVEL sfs: kavel extra.sfs|aaaa|3' 'KAVEL sfs count: 2' 'KAVEL end')

expect() { # passes|fails NAME LOG-TEXT [START] [WORDS THE MESSAGE MUST HOLD]
  local want=$1 name=$2 text=$3 start=${4:-} words=${5:-} out rc=0
  printf '%s' "$text" >"$work/log"
  out=$(check_report "$work/log" "$cmdline" "$work/expected" "$start") || rc=$?
  if [ "$want" = passes ] && [ $rc -ne 0 ]; then
    echo "FAIL: $name: rejected a good report:"; echo "$out"; failures=$((failures + 1))
  elif [ "$want" = fails ] && [ $rc -eq 0 ]; then
    echo "FAIL: $name: accepted a wrong report"; failures=$((failures + 1))
  elif [ "$want" = fails ] && { ! grep -qF -- "$words" <<<"$out" || ! grep -q 'last 40 lines' <<<"$out"; }; then
    echo "FAIL: $name: the message does not say \"$words\" or lacks the log's tail:"; echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

expect passes "a good report" "$good" 2048
expect passes "a good report, any partition" "$good"
expect fails "other command line" "${good/KMEDIA=usbhd/KMEDIA=idehd}" 2048 "kernel command line"
expect fails "BOOT_IMAGE missing" "${good/BOOT_IMAGE=\/kavel\/vmlinuz /}" 2048 "kernel command line"
expect fails "other partition" "$good" 63 "expected the partition at sector 63"
expect fails "contents differ" "${good/bbbb/bbbc}" 2048 "reported kavel-base.sfs|bbbc|3"
expect fails "one .sfs not mounted" "${good/'KAVEL sfs: kavel extra.sfs|aaaa|3'/'KAVEL sfs: kavel extra.sfs not mounted'}" \
  2048 "expected kavel extra.sfs|aaaa|3"
expect fails "an .sfs more" "${good/KAVEL end/KAVEL sfs: stray.sfs|cccc|1$'\r\n'KAVEL end}" 2048 \
  "reported stray.sfs|cccc|1"
expect fails "report cut short" "${good%KAVEL end*}" 2048 "did not finish its report"
expect fails "no partition found" "$(printf '%s\r\n' 'KAVEL start' "KAVEL cmdline: $cmdline" \
  'KAVEL not found: no partition holds the folder kavel' 'KAVEL end')" "" "not found: no partition holds"
expect fails "empty log" "" "" "did not finish its report"

cat >"$work/syslinux.cfg" <<'CFG'
DEFAULT second
PROMPT 0

LABEL first
  KERNEL /other/vmlinuz
  APPEND initrd=/other/initrd.gz KMEDIA=cdrom

label second
	kernel /kavel/vmlinuz
	append initrd=/kavel/initrd.gz  KMEDIA=usbhd KSUBDIR=kavel
CFG
got=$(syslinux_cmdline "$work/syslinux.cfg")
if [ "$got" = "BOOT_IMAGE=/kavel/vmlinuz initrd=/kavel/initrd.gz  KMEDIA=usbhd KSUBDIR=kavel" ]; then
  echo "ok: command line of the default entry"
else
  echo "FAIL: command line of the default entry: \"$got\""; failures=$((failures + 1))
fi
got=$(syslinux_cmdline "$here/../../resources/syslinux.cfg")
if [ "$got" = "BOOT_IMAGE=/kavel/vmlinuz initrd=/kavel/initrd.gz KMEDIA=usbhd KSUBDIR=kavel" ]; then
  echo "ok: command line of the shipped syslinux.cfg"
else
  echo "FAIL: command line of the shipped syslinux.cfg: \"$got\""; failures=$((failures + 1))
fi
[ $failures -eq 0 ]
