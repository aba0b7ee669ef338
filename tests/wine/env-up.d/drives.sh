#!/usr/bin/env bash
# The drives every test may use, each a folder of the environment:
#   E: removable (floppy type), label KAVELUSB  - the usual install target
#   F: fixed (hd type), label DATA
#   G: CD-ROM, H: network drive                 - never offered
#   I: removable without a label
# The types come from the registry, read when the server starts.
set -euo pipefail
dir=$1
export WINEPREFIX="$dir/prefix"
drives="$dir/drives"
add_drive() { # letter type [label]
  mkdir -p "$drives/$1"
  ln -sfn "$drives/$1" "$WINEPREFIX/dosdevices/$1:"
  [ -n "${3:-}" ] && printf '%s' "$3" >"$drives/$1/.windows-label"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$1:" /d "$2" /f >/dev/null 2>&1
}
add_drive e floppy KAVELUSB
add_drive f hd DATA
add_drive g cdrom
add_drive h network
add_drive i floppy
