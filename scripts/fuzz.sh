#!/usr/bin/env bash
# Builds every libFuzzer target with clang, AddressSanitizer and UBSan in build-fuzz/ and runs
# each for SECONDS (default 60) from an empty corpus. Stops at the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DDLU_BUILD_FUZZERS=ON -DDLU_BUILD_QT=OFF \
  -DDLU_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(sed -n 's/^dlu_fuzzer(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt)
cmake --build build-fuzz --target $targets
for t in $targets; do
  printf 'fuzzing %-24s %ss ... ' "$t" "$seconds"
  corpus=$(mktemp -d)
  if ! build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
      > "build-fuzz/$t.log" 2>&1; then
    echo "FAILED"
    tail -40 "build-fuzz/$t.log"
    exit 1
  fi
  rm -rf "$corpus"
  echo "ok ($(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$t.log") runs)"
done
