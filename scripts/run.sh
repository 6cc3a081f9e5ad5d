#!/usr/bin/env bash
# Builds Quillet and starts it from its own run directory inside the build tree, so that
# a developer's data.ini, data.edb and ftp.ini are not mixed with anything else.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release --target quillet
run_dir=build/run
mkdir -p "$run_dir"
cp build/release/app/quillet "$run_dir/quillet"
exec "$run_dir/quillet"
