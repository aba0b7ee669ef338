#!/usr/bin/env bash
# The prefix answers as Windows 7 (a Windows whose boot manager is edited with
# bcdedit). Test programs of the boot.ini way see Windows XP instead.
set -euo pipefail
dir=$1
export WINEPREFIX="$dir/prefix"
for program in boot_setup_test.exe; do
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d winxp /f >/dev/null 2>&1
done
