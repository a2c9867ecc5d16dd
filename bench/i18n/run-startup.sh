#!/usr/bin/env bash
# Prints Keypilot's start-up time to its message loop with embedded catalogues against none,
# inside a test bench.   bench/i18n/run-startup.sh <build dir> [rounds]
# Uses <build dir>/bench, starting it (and stopping it afterwards) if it is not running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?build directory missing}" && pwd)
rounds=${2:-15}
exe=$build/bench/i18n/i18n_startup_bench.exe
[ -f "$exe" ] || { echo "run-startup.sh: $exe missing: build i18n_startup_bench first" >&2; exit 2; }
benchdir=$build/bench
started=0
if [ ! -f "$benchdir/env" ]; then
    "$root/scripts/bench.sh" start "$benchdir" >/dev/null 2>&1
    started=1
fi
stop() { [ $started = 1 ] && "$root/scripts/bench.sh" stop "$benchdir" >/dev/null 2>&1 || true; }
trap stop EXIT
windows() { echo "Z:${1//\//\\}"; }
"$root/scripts/wine-run.sh" "$benchdir" "$exe" "$(windows "$build/src/app/Keypilot.exe")" \
    "$(windows "$build/bench/i18n/keypilot_without_catalogues.exe")" "$rounds"
