#!/usr/bin/env bash
# Prints Keypilot's own figures inside a test bench:
#   bench/app/run.sh <build dir> [codes] [cpu seconds]
# a burst of <codes> key codes written at once (counted, time to drain), process CPU over
# <cpu seconds> with the port open, with no port, and while reconnect tries run, and the time a
# dropped link takes to show and to come back. Uses <build dir>/bench, starting it (and stopping
# it afterwards) if it is not running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?build directory missing}" && pwd)
codes=${2:-1000}
seconds=${3:-20}
exe=$build/bench/app/app_bench.exe
[ -f "$exe" ] || { echo "run.sh: $exe missing: build the app_bench target first" >&2; exit 2; }
benchdir=$build/bench
started=0
if [ ! -f "$benchdir/env" ]; then
    "$root/scripts/bench.sh" start "$benchdir" >/dev/null 2>&1
    started=1
fi
stop() { [ $started = 1 ] && "$root/scripts/bench.sh" stop "$benchdir" >/dev/null 2>&1 || true; }
trap stop EXIT
run() { "$root/scripts/wine-run.sh" "$benchdir" "$exe" "$@"; }

for round in 1 2 3; do
    run burst COM5 COM6 "$codes"
    run burst COM5 COM6 "$codes" input
done
run cpu open COM5 "$seconds"
run cpu none COM5 "$seconds"
run cpu retrying COM30 "$seconds"
for round in 1 2 3; do
    run reconnect COM5 COM6
done
