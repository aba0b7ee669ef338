#!/usr/bin/env bash
# The Linux installer the boot tests run and the kit's syslinux.exe come from
# one build and carry the same boot code: the boot sector (ldlinux.bss), the
# loader (ldlinux.sys) and its library (ldlinux.c32), each whole inside both.
# Usage: same_boot_code.sh SYSLINUX_BUILD_FOLDER
set -euo pipefail
exec python3 - "$1" <<'PY'
import sys, pathlib
d = pathlib.Path(sys.argv[1])
programs = {p: (d / p).read_bytes() for p in ("syslinux.exe", "syslinux")}
bad = 0
for part in ("ldlinux.bss", "ldlinux.sys", "ldlinux.c32"):
    code = (d / "boot-code" / part).read_bytes()
    if len(code) < 512:
        print(f"{part}: only {len(code)} bytes"); bad += 1
    for name, data in programs.items():
        if data.find(code) < 0:
            print(f"{name} does not carry {part}"); bad += 1
if bad:
    sys.exit(1)
print("syslinux.exe and the Linux syslinux carry the same boot code")
PY
