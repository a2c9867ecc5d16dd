# Sourced by the benchmarks' run scripts: uses <build dir>/bench as the Wine test bench, starting
# it (and stopping it when the script ends) if it is not running. Sets root, build and benchdir,
# and in_bench <program.exe> [args...] runs a program there.
#   . "$(dirname "$0")/../in-bench.sh" <build dir>
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?build directory missing}" && pwd)
benchdir=$build/bench
bench_started=0
if [ ! -f "$benchdir/env" ]; then
    "$root/scripts/bench.sh" start "$benchdir" >/dev/null 2>&1
    bench_started=1
fi
stop_bench() {
    [ $bench_started = 1 ] && "$root/scripts/bench.sh" stop "$benchdir" >/dev/null 2>&1 || true
}
trap stop_bench EXIT
in_bench() { "$root/scripts/wine-run.sh" "$benchdir" "$@"; }
