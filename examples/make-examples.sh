#!/usr/bin/env bash
# Makes the demo packages Demo.DWN and LinuxDemo.DWN in this folder again, with the package
# builder the tests use (the product itself never encrypts). Needs a configured build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target make_examples
build/examples/make_examples examples
