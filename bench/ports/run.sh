#!/usr/bin/env bash
# Prints how long the port catalogue takes inside a testbed:
#   bench/ports/run.sh <build dir> [rounds]
# Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
exe=$build/bench/ports/ports_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the ports_bench target first" >&2; exit 2; }
in_testbed "$exe" "${2:-50}"
