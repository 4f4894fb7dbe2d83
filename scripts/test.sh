#!/usr/bin/env bash
# Sets everything up, builds from scratch in build/ and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
rm -rf build
cmake -S . -B build -G Ninja
cmake --build build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
