#!/usr/bin/env bash
# Builds every libFuzzer target in the sanitizer build (the `asan` preset: clang,
# AddressSanitizer and UBSan in build-asan/, the same build that runs the test suite under the
# sanitizers) and runs each for SECONDS (default 60) from an empty corpus, as many at once as
# there are cores (a fuzzer uses one). Starts no new fuzzer after the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset asan >/dev/null
targets=$(sed -n 's/^dlu_fuzzer(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt)
cmake --build build-asan --target $targets

# One fuzzer: its result on one line, the end of its log when it found something. Exit 255
# makes xargs start no further fuzzer.
fuzz_one() {
  local t=$1 seconds=$2 corpus
  corpus=$(mktemp -d)
  if ! build-asan/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
      > "build-asan/$t.log" 2>&1; then
    rm -rf "$corpus"
    printf 'fuzzing %-24s %ss ... FAILED\n%s\n' "$t" "$seconds" "$(tail -40 "build-asan/$t.log")"
    exit 255
  fi
  rm -rf "$corpus"
  printf 'fuzzing %-24s %ss ... ok (%s runs)\n' "$t" "$seconds" \
    "$(sed -n 's/^stat::number_of_executed_units: *//p' "build-asan/$t.log")"
}
export -f fuzz_one
printf '%s\n' $targets | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$seconds"
