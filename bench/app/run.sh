#!/usr/bin/env bash
# Prints Keypilot's own figures inside a testbed:
#   bench/app/run.sh <build dir> [codes] [cpu seconds]
# a burst of <codes> key codes written at once (counted, time to drain), process CPU over
# <cpu seconds> with the port open, with no port, and while reconnect tries run, the time a
# dropped link takes to show and to come back, the touchpad's moves a second (over the link and
# Keypilot's own part) and the time 1,000 characters take to be typed into another program (5 runs
# each, with the same key events sent by a bare program as the reference), and the main thread's
# longest answer while a port's open, a read of the ports and a shell call take 3 s each (3 runs),
# and what a flood of sends back to the phone holds while every write hangs (6 s).
# Uses <build dir>/testbed, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
# shellcheck source=bench/in-testbed.sh
. "$(dirname "$0")/../in-testbed.sh" "${1:?build directory missing}"
codes=${2:-1000}
seconds=${3:-20}
exe=$build/bench/app/app_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the app_bench target first" >&2; exit 2; }
run() { in_testbed "$exe" "$@"; }

for _ in 1 2 3; do
    run burst COM5 COM6 "$codes"
    run burst COM5 COM6 "$codes" input
done
run cpu open COM5 "$seconds"
run cpu none COM5 "$seconds"
run cpu retrying COM30 "$seconds"
for _ in 1 2 3; do
    run reconnect COM5 COM6
done
for _ in 1 2 3; do
    run moves COM5 COM6 2000
done
run type COM5 COM6 5
run ui COM5 3
run writes COM5 6
