#!/usr/bin/env bash
# Prints Keypilot's start-up time to its message loop with embedded catalogues against none,
# inside a testbed.   bench/i18n/run-startup.sh <build dir> [rounds]
# Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
rounds=${2:-15}
exe=$build/bench/i18n/i18n_startup_bench.exe
[ -f "$exe" ] || { echo "run-startup.sh: $exe missing: build i18n_startup_bench first" >&2; exit 2; }
windows() { echo "Z:${1//\//\\}"; }
in_testbed "$exe" "$(windows "$build/src/app/Keypilot.exe")" \
    "$(windows "$build/bench/i18n/keypilot_without_catalogues.exe")" "$rounds"
