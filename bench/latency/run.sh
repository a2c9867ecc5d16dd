#!/usr/bin/env bash
# Prints the command latency as a user feels it, a code written at the phone's end until the
# cursor has moved, for Keypilot.exe, the minimal overlapped reader and that reader with one bare
# hand-over to its main thread, in alternating rounds on one port pair inside a testbed:
#   bench/latency/run.sh <build dir> [rounds] [codes a round] [receivers]
# receivers: a comma list of keypilot, reference, floor and baseline (another build's
# Keypilot.exe, given as a Linux path in LATENCY_BENCH_BASELINE_EXE); default the first three.
# After the rounds, where a chunk's time goes: for each receiver the median time of each stage of
# a chunk (the port, the event thread, the hand-over to the main thread, the read, the link's
# reader, the status, the action), and Keypilot against the floor stage by stage.
# Then the CPU that Keypilot.exe and the reference take over a 60 Hz stream of moves for 10 s,
# three rounds each; then how long a code written 50 ms behind a flood of 1,000 hellos, signs of
# life or levels in one write takes to move the cursor, five rounds. Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is
# not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
rounds=${2:-7}
codes=${3:-200}
exe=$build/bench/latency/latency_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the latency_bench target first" >&2; exit 2; }
receivers=${4:-keypilot,reference,floor}
if [ -n "${LATENCY_BENCH_BASELINE_EXE:-}" ]; then
    baseline=$(cd "$(dirname "$LATENCY_BENCH_BASELINE_EXE")" && pwd)/$(basename "$LATENCY_BENCH_BASELINE_EXE")
    export LATENCY_BENCH_BASELINE="Z:${baseline//\//\\}"
fi
in_testbed "$exe" compare COM5 COM6 "$rounds" "$codes" "$receivers"
in_testbed "$exe" stream COM5 COM6 10 3
in_testbed "$exe" flood COM5 COM6 5 1000
