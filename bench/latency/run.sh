#!/usr/bin/env bash
# Prints the command latency as a user feels it, a code written at the phone's end until the
# cursor has moved, for Keypilot.exe, the minimal overlapped reader and that reader with one bare
# hand-over to its main thread, in alternating rounds on one port pair inside a testbed:
#   bench/latency/run.sh <build dir> [rounds] [codes a round]
# Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
rounds=${2:-5}
codes=${3:-200}
exe=$build/bench/latency/latency_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the latency_bench target first" >&2; exit 2; }
in_testbed "$exe" compare COM5 COM6 "$rounds" "$codes"
