#!/usr/bin/env bash
# Builds the engine's libFuzzer targets with clang in build/fuzz and runs each for a short,
# bounded time over the committed seed corpus (tests/fuzz/corpus). New inputs go to
# build/fuzz/corpus, crashes to build/fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS]    (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz -- -j2

mkdir -p build/fuzz/corpus build/fuzz/crashes
build/fuzz/open_and_read_fuzz build/fuzz/corpus tests/fuzz/corpus \
    -max_total_time="$seconds" -runs=2000000 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build/fuzz/crashes/ -print_final_stats=1 2>build/fuzz/last_run.log \
    || { tail -60 build/fuzz/last_run.log; echo "fuzz: open_and_read_fuzz found a failure"; exit 1; }
grep -E "^stat::number_of_executed_units|^stat::new_units_added" build/fuzz/last_run.log || true
echo "fuzz: open_and_read_fuzz ran ${seconds} s without a failure"
