#!/usr/bin/env bash
# The deb-src entries the set-up derives from a machine's own Debian entries
# (scripts/fetch-syslinux-source.sh --derive), for both file formats: every
# binary entry again as a source entry with the same archive, suites,
# components, key and options; comments, source entries and entries of other
# types are not repeated.
set -euo pipefail
fetch=$(cd "$(dirname "$0")/../.." && pwd)/scripts/fetch-syslinux-source.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
errors=0
check() { # NAME INPUT_FILE EXPECTED
  local got
  got=$(bash "$fetch" --derive "$2")
  if [ "$got" != "$3" ]; then
    echo "$1: derived"$'\n'"$got"$'\n'"expected"$'\n'"$3" >&2
    errors=$((errors + 1))
  fi
}

cat >"$work/debian.sources" <<'TXT'
Types: deb
# an archive snapshot this machine was made from
URIs: http://archive.invalid/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://archive.invalid/debian
Suites: bookworm
Components: main

Types: deb deb-src
URIs: http://security.invalid/debian-security
Suites: bookworm-security
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
TXT
check "deb822" "$work/debian.sources" "Types: deb-src
URIs: http://archive.invalid/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://security.invalid/debian-security
Suites: bookworm-security
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"

printf 'Types: deb-src\nURIs: http://archive.invalid/debian\nSuites: bookworm\nComponents: main\n' \
  >"$work/only-src.sources"
check "deb822 without binary entries" "$work/only-src.sources" ""

cat >"$work/sources.list" <<'TXT'
# deb http://commented.invalid/debian bookworm main
deb http://archive.invalid/debian bookworm main contrib
  deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://archive.invalid/debian bookworm-updates main
deb-src http://archive.invalid/debian bookworm main
debian-is-no-type http://archive.invalid/debian bookworm main
TXT
check "one-line" "$work/sources.list" "deb-src http://archive.invalid/debian bookworm main contrib
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://archive.invalid/debian bookworm-updates main"

[ $errors = 0 ] || exit 1
echo "deb-src entries derived as expected"
