#!/usr/bin/env bash
# Downloads Debian's syslinux source package, of the version of the installed
# syslinux-common (so that the BIOS and UEFI parts of a stick are of one
# release), into folder $1. Does nothing when it is already there.
# apt has no source entries on a stock machine: a deb-src entry is derived
# from the machine's own Debian entry for the download, and removed again.
# Needs root the first time (apt-get update).
# Usage: fetch-syslinux-source.sh DOWNLOADS | --derive SOURCES_FILE...
set -euo pipefail

# deb822 files: every stanza of type deb again as deb-src, comments dropped.
derive_deb822() {
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       {
         n = split($0, line, "\n"); out = ""; deb = 0
         for (i = 1; i <= n; i++) {
           if (line[i] ~ /^#/) continue
           if (line[i] ~ /^Types:/) {
             if (line[i] ~ /[: ]deb( |$)/) deb = 1
             line[i] = "Types: deb-src"
           }
           out = out line[i] "\n"
         }
         if (deb) { sub(/\n$/, "", out); print out }
       }' "$1"
}
# One-line format: every "deb" line again as "deb-src".
derive_one_line() {
  sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$1"
}

# "--derive FILE..." only prints the entries derived from those files.
if [ "${1:-}" = --derive ]; then
  shift
  for f in "$@"; do
    case $f in
      *.sources) derive_deb822 "$f" ;;
      *) derive_one_line "$f" ;;
    esac
  done
  exit 0
fi

dest=$(realpath -m "$1")
version=$(dpkg-query -W -f='${source:Version}' syslinux-common)
dsc=syslinux_${version#*:}.dsc
if [ -f "$dest/$dsc" ]; then
  exit 0
fi
mkdir -p "$dest"

download() { (cd "$dest" && apt-get source -q --download-only "syslinux=$version"); }

# A machine that already has source entries needs no change.
if download >/dev/null 2>&1 && [ -f "$dest/$dsc" ]; then
  exit 0
fi

entry=/etc/apt/sources.list.d/kavel-syslinux-src.sources
legacy=/etc/apt/sources.list.d/kavel-syslinux-src.list
cleanup() {
  rm -f "$entry" "$legacy"
  apt-get update -q >/dev/null 2>&1 || echo "warning: apt-get update after removing the source entry failed" >&2
}
trap cleanup EXIT

: >"$entry"
[ -f /etc/apt/sources.list.d/debian.sources ] && derive_deb822 /etc/apt/sources.list.d/debian.sources >>"$entry"
[ -f /etc/apt/sources.list ] && derive_one_line /etc/apt/sources.list >"$legacy"
if ! grep -q 'deb-src' "$entry" "$legacy" 2>/dev/null; then
  echo "no Debian entry in /etc/apt/sources.list or /etc/apt/sources.list.d/debian.sources" >&2
  exit 1
fi
apt-get update -q >/dev/null
download
[ -f "$dest/$dsc" ] || { echo "apt-get source did not give $dsc" >&2; exit 1; }
