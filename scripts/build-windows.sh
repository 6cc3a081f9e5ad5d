#!/usr/bin/env bash
# Cross-builds the Windows programs (static edb.exe, later quillet.exe) and their tests
# into build/windows with mingw-w64, installing what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset windows "${launcher[@]}" >/dev/null
cmake --build --preset windows "$@"
