#!/usr/bin/env bash
# Builds everything and runs every test: the debug build (GUI tests included, under a
# private Xvfb display) and the sanitizer build (ASan+UBSan, libraries and tools, and of
# the GUI tests only the few named *_sanitized_gui_test: Qt under the sanitizers is too
# slow for all of them on a 2-core machine), the fuzzers, the Windows build's tests under
# Wine (scripts/test-windows.sh), the packages made and tried as a user installs them
# (scripts/test-packages.sh), and last a check that every header, library and program
# used comes from a package that scripts/deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package

# Through ccache (installed with the Windows tools): a clone on a machine that has built
# before compiles only what changed. Paths count from the tree, so that the objects of one
# clone serve another.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset debug "${launcher[@]}" >/dev/null
cmake --build --preset debug
cmake --preset asan "${launcher[@]}" >/dev/null
cmake --build --preset asan

display_file=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$display_file")"

# Private buses for every test: a session bus and one standing in for the system bus, so
# that a real screen lock or suspend during the run logs no test's program out.

# Prints the new daemon's address, then its process id.
private_bus() {
    dbus-daemon --session --fork --print-address=1 --print-pid=1 \
        --address="unix:abstract=quillet_tests_$1_$$_$RANDOM$RANDOM" 2>/dev/null
}
session_bus=$(private_bus session)
system_bus=$(private_bus system)
bus_pids=("$(sed -n 2p <<<"$session_bus")" "$(sed -n 2p <<<"$system_bus")")
trap 'kill $xvfb_pid "${bus_pids[@]}" 2>/dev/null || true; rm -f "$display_file"' EXIT
DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$session_bus")
DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$system_bus")
export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS

status=0
ctest --preset debug -j2 || status=1
ctest --preset asan -j2 || status=1
scripts/fuzz.sh 30 || status=1
scripts/test-windows.sh || status=1
scripts/test-packages.sh || status=1
scripts/check_deps.py build/debug build/asan build/fuzz build/windows build/release || status=1
exit $status
