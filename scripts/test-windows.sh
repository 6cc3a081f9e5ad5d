#!/usr/bin/env bash
# Builds the Windows programs and runs their tests under wine64 (the Wine prefix lives in
# build/windows/wineprefix; its first creation takes some seconds). The test that moves
# data files between the builds also needs the Linux edb, built here in build/debug. The
# tests with windows (typing, clipboard) draw on the X display in DISPLAY, or on a
# private Xvfb display when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh

cmake --preset debug >/dev/null
cmake --build --preset debug --target edb

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
xvfb_pid=
display_file=$(mktemp)
# The Wine server of this prefix outlives the programs by a few seconds; stop it at the end.
cleanup() {
    if [ -n "$wineserver" ]; then "$wineserver" -k 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -f "$display_file"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$display_file")"
fi

# Xvfb runs no window manager, and Wine waits up to a second at every window it hides
# for a manager's answer that never comes; its windows left unmanaged need none.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

status=0
ctest --preset windows -j2 || status=$?
exit $status
