#!/usr/bin/env bash
# Installs the Debian packages Quillet needs, only those that are missing.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   that and what the tests need
set -euo pipefail

run_packages=(g++ cmake ninja-build pkg-config qt6-base-dev libcurl4-openssl-dev libssl-dev libx11-dev libxtst-dev
              fonts-wqy-zenhei xdg-utils)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev xvfb xauth xdotool xclip
               python3 python3-pyftpdlib python3-openssl clang libclang-rt-14-dev)

wanted=("${run_packages[@]}")
[ "${1:-run}" = test ] && wanted+=("${test_packages[@]}")

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
