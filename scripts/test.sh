#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (ASan/UBSan, bounded fuzz
# runs), then Keypilot.exe and its tests under Wine in the private test bench.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
jobs=$(nproc)

cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

status=0
ctest --preset native -j "$jobs" || status=1
ctest --preset windows || status=1
exit $status
