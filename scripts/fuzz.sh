#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a short, bounded
# time over its committed seeds: the engine's two over tests/fuzz/corpus, the parsers'
# over tests/fuzz/seeds/<target>. New inputs go to build/fuzz/corpus_<target>, crashes to
# build/fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS PER ENGINE TARGET] [SECONDS PER PARSER TARGET]    (default 30 and 5)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
parser_seconds=${2:-5}

cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz -- -j2

mkdir -p build/fuzz/crashes
status=0
# fuzz TARGET SECONDS SEEDS
fuzz() {
    local target=$1 time=$2 seeds=$3
    mkdir -p "build/fuzz/corpus_$target"
    if build/fuzz/$target "build/fuzz/corpus_$target" "$seeds" \
           -max_total_time="$time" -runs=2000000 -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
           -artifact_prefix=build/fuzz/crashes/ -print_final_stats=1 2>"build/fuzz/$target.log"; then
        echo "fuzz: $target ran ${time} s without a failure" \
             "($(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$target.log") inputs)"
    else
        tail -60 "build/fuzz/$target.log"
        echo "fuzz: $target found a failure; the input is in build/fuzz/crashes/"
        status=1
    fi
}
for target in open_and_read_fuzz open_and_write_fuzz; do
    fuzz "$target" "$seconds" tests/fuzz/corpus
done
for target in ftp_listing_fuzz settings_file_fuzz text_cipher_fuzz gbk_conversion_fuzz http_reply_fuzz \
              version_reply_fuzz csv_reader_fuzz sealed_value_fuzz webdav_multistatus_fuzz \
              store_envelope_fuzz; do
    fuzz "$target" "$parser_seconds" "tests/fuzz/seeds/$target"
done
exit $status
