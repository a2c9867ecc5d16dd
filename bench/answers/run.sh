#!/usr/bin/env bash
# Prints how fast Keypilot answers the phone, each against the bare serial reference on the same
# port pair inside a testbed:
#   bench/answers/run.sh <build dir> [rounds] [hellos a round] [volume changes a round]
# - the hello's round trip: "HI03" written at the phone's end until the answer's LF has arrived
#   there, Keypilot.exe against a bare reader that answers any chunk with one fixed line of the
#   same shape (latency_bench hello), in alternating rounds;
# - a volume change on the PC until its line has reached the phone's end: Keypilot's side of the
#   link in-process, its mixer on the fake driver (Wine keeps mixer levels per process and sends
#   no change notices, so the driver's notice is sent by the benchmark), against one bare write of
#   the same line (app_bench volume), in alternating rounds.
# Medians of the round medians and their ratios. Uses <build dir>/testbed, starting it (and
# stopping it afterwards) if it is not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
rounds=${2:-7}
hellos=${3:-100}
changes=${4:-30}
for exe in latency/latency_bench app/app_bench; do
    [ -f "$build/bench/$exe.exe" ] ||
        { echo "run.sh: $build/bench/$exe.exe missing: build the latency_bench and app_bench targets first" >&2; exit 2; }
done
in_testbed "$build/bench/latency/latency_bench.exe" hello COM5 COM6 "$rounds" "$hellos"
in_testbed "$build/bench/app/app_bench.exe" volume COM5 COM6 "$rounds" "$changes"
