#!/usr/bin/env bash
# Saves a picture of each of the six windows to docs/screens/<window>.png, drawn by the
# X11 platform plugin on a private Xvfb display, for reviewing the forms by eye.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build/screens
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_BENCH=OFF >/dev/null
ninja -C "$build_dir" -j2 form_preview

display_file=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done

DISPLAY=":$(cat "$display_file")" QT_QPA_PLATFORM=xcb "$build_dir/tools/form_preview/form_preview" docs/screens
ls -l docs/screens
