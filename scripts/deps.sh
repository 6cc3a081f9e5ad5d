#!/usr/bin/env bash
# Installs the Debian packages Quillet needs, only those that are missing.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   that and what the tests need
#   scripts/deps.sh windows that, and the cross compiler, Wine and GoogleTest's sources
#                          for the Windows build and its tests
set -euo pipefail

run_packages=(g++ cmake ninja-build pkg-config qt6-base-dev libcurl4-openssl-dev libx11-dev libxtst-dev
              fonts-wqy-zenhei xdg-utils)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev xvfb xauth xdotool xclip
               python3 python3-pyftpdlib clang libclang-rt-14-dev)
windows_packages=(g++-mingw-w64-x86-64-posix wine64 googletest)

wanted=("${run_packages[@]}")
[ "${1:-run}" = test ] && wanted+=("${test_packages[@]}")
[ "${1:-run}" = windows ] && wanted+=("${test_packages[@]}" "${windows_packages[@]}")

missing=()
for package in "${wanted[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
