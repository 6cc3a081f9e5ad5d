#!/usr/bin/env bash
# Builds the engine's libFuzzer targets with clang in build/fuzz and runs each for a short,
# bounded time over the committed seed corpus (tests/fuzz/corpus). New inputs go to
# build/fuzz/corpus_<target>, crashes to build/fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS PER TARGET]    (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz -- -j2

mkdir -p build/fuzz/crashes
status=0
for target in open_and_read_fuzz open_and_write_fuzz; do
    mkdir -p "build/fuzz/corpus_$target"
    if build/fuzz/$target "build/fuzz/corpus_$target" tests/fuzz/corpus \
           -max_total_time="$seconds" -runs=2000000 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
           -artifact_prefix=build/fuzz/crashes/ -print_final_stats=1 2>"build/fuzz/$target.log"; then
        echo "fuzz: $target ran ${seconds} s without a failure" \
             "($(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log") inputs)"
    else
        tail -60 "build/fuzz/$target.log"
        echo "fuzz: $target found a failure; the input is in build/fuzz/crashes/"
        status=1
    fi
done
exit $status
