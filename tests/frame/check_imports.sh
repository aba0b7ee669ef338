#!/usr/bin/env bash
# The program file may import at load time only DLLs that Windows always takes
# from its system folder (known DLLs on every version from XP to 11); any other
# DLL named in the import table would be looked for beside the program first,
# where a planted copy would run with administrator rights.
# Usage: check_imports.sh PROGRAM.exe OBJDUMP
set -euo pipefail
exe=$1 objdump=$2
allowed=" kernel32.dll user32.dll gdi32.dll shell32.dll comdlg32.dll advapi32.dll msvcrt.dll ole32.dll oleaut32.dll rpcrt4.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no import table read from $exe" >&2; exit 1; }
bad=0
for dll in $imports; do
  case "$allowed" in
    *" $dll "*) ;;
    *) echo "imports $dll, which Windows may take from beside the program" >&2; bad=1 ;;
  esac
done
[ "$bad" = 0 ] || exit 1
echo "imports:" $imports
