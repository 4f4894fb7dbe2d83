#!/usr/bin/env bash
# Builds every libFuzzer target with clang, AddressSanitizer and UBSan in build-fuzz/ and runs
# each for SECONDS (default 60) from an empty corpus, as many at once as there are cores (a
# fuzzer uses one). Starts no new fuzzer after the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DDLU_BUILD_FUZZERS=ON -DDLU_BUILD_QT=OFF \
  -DDLU_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(sed -n 's/^dlu_fuzzer(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt)
cmake --build build-fuzz --target $targets

# One fuzzer: its result on one line, the end of its log when it found something. Exit 255
# makes xargs start no further fuzzer.
fuzz_one() {
  local t=$1 seconds=$2 corpus
  corpus=$(mktemp -d)
  if ! build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
      > "build-fuzz/$t.log" 2>&1; then
    rm -rf "$corpus"
    printf 'fuzzing %-24s %ss ... FAILED\n%s\n' "$t" "$seconds" "$(tail -40 "build-fuzz/$t.log")"
    exit 255
  fi
  rm -rf "$corpus"
  printf 'fuzzing %-24s %ss ... ok (%s runs)\n' "$t" "$seconds" \
    "$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$t.log")"
}
export -f fuzz_one
printf '%s\n' $targets | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$seconds"
