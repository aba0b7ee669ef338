#!/usr/bin/env bash
# Puts a stand-in chkdsk where the installer takes chkdsk from: the system
# folder (C:\windows\system32) of the Wine prefix of the test environment in
# folder $1. Wine has no chkdsk of its own. The installer never runs a chkdsk
# from beside itself or from the current folder, so every test or demo whose
# run gets as far as the file-system check needs this step.
# The same for bcdedit, which Wine lacks too, with NAME bcdedit.
# Usage: put-stand-in-chkdsk.sh ENV_DIR STAND_IN.exe [NAME]
set -euo pipefail
dir=$1 stand_in=$2 name=${3:-chkdsk}
system=$dir/prefix/drive_c/windows/system32
[ -d "$system" ] || { echo "no Wine prefix in $dir" >&2; exit 1; }
[ -f "$stand_in" ] || { echo "no stand-in $name at $stand_in" >&2; exit 1; }
cp "$stand_in" "$system/$name.exe"
echo "stand-in $name in $system"
