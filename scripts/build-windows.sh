#!/usr/bin/env bash
# Cross-builds the Windows programs (static edb.exe, later quillet.exe) and their tests
# into build/windows with mingw-w64, installing what is missing first. The first run also
# builds libcurl and PCRE2 for Windows from Debian's sources (some minutes; once).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh windows
scripts/build-windows-libraries.sh

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset windows "${launcher[@]}" >/dev/null
cmake --build --preset windows "$@"
