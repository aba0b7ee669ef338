#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively, then the
# Windows build with all its tests under Wine. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset win32
cmake --build --preset win32
ctest --preset win32
