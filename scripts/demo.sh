#!/usr/bin/env bash
# Sets everything up, builds dlutil and downloads the Linux-family demo package into the PLC
# simulator built into dlutil: the package's contents, the progress, the CPU mode questions
# (answered Yes) and what the simulated PLC received.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target dlutil
package=${1:-examples/LinuxDemo.DWN}
echo
echo "== dlutil info $package"
build/src/cli/dlutil --lang en info "$package"
echo
echo "== dlutil --yes download $package --conn 'embedded?mode=run'"
build/src/cli/dlutil --lang en --yes download "$package" --conn 'embedded?mode=run'
