# shellcheck shell=bash
# Sourced by the benchmarks' run scripts: uses <build dir>/testbed as the Wine testbed, starting
# it (and stopping it when the script ends) if it is not running. Sets root, build and testbeddir,
# and in_testbed <program.exe> [args...] runs a program there.
#   . "$(dirname "$0")/../in-testbed.sh" <build dir>
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?build directory missing}" && pwd)
testbeddir=$build/testbed
testbed_started=0
if [ ! -f "$testbeddir/env" ]; then
    "$root/scripts/testbed.sh" start "$testbeddir" >/dev/null 2>&1
    testbed_started=1
fi
stop_testbed() {
    [ $testbed_started = 1 ] && "$root/scripts/testbed.sh" stop "$testbeddir" >/dev/null 2>&1 || true
}
trap stop_testbed EXIT
in_testbed() { "$root/scripts/wine-run.sh" "$testbeddir" "$@"; }
