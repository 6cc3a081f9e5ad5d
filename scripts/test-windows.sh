#!/usr/bin/env bash
# Builds the Windows programs and runs their tests under wine64 (the Wine prefix lives in
# build/windows/wineprefix; its first creation takes some seconds). The test that moves
# data files between the builds also needs the Linux edb, built here in build/debug.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh

cmake --preset debug >/dev/null
cmake --build --preset debug --target edb

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
# The Wine server of this prefix outlives the programs by a few seconds; stop it at the end.
trap '[ -n "$wineserver" ] && "$wineserver" -k 2>/dev/null || true' EXIT

ctest --preset windows -j2
