#!/usr/bin/env bash
# Prints the serial port figures, each beside the minimal overlapped reader, inside a testbed.
#   bench/serial/run.sh <build dir> [codes] [idle seconds] [flood seconds]
# Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
codes=${2:-1000}
idle=${3:-30}
flood=${4:-60}
exe=$build/bench/serial/serial_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the serial_bench target first" >&2; exit 2; }
run() { in_testbed "$exe" "$@"; }

# Two runs each, alternating, on two separate pairs.
for _ in 1 2; do
    run latency component COM5 COM6 "$codes"
    run latency reference COM7 COM8 "$codes"
done
run idle component COM5 COM6 "$idle"
run idle reference COM7 COM8 "$idle"
run flood component COM5 COM6 "$flood" 10000
run flood reference COM7 COM8 "$flood" 10000
