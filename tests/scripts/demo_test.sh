#!/usr/bin/env bash
# The README's first command as a new user types it: scripts/run.sh, with no terminal, ends with 0
# (its demo checks each code's movement of the cursor) and leaves nothing running. It runs in a
# testbed folder of its own while a demo kept with --keep runs in another; the kept one goes on
# answering the phone simulator as the README shows, and scripts/testbed.sh stop ends it.
#   demo_test.sh <repository> <folder for the two testbeds>
set -uo pipefail
repo=$(cd "${1:?repository}" && pwd)
mkdir -p "${2:?folder}"
top=$(cd "$2" && pwd)
kept=$top/kept fresh=$top/fresh
# shellcheck source=tests/scripts/testbed_processes.sh
. "$(dirname "${BASH_SOURCE[0]}")/testbed_processes.sh"
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
keypilot_running() { [[ $(testbed_processes "$1") == *[Kk]eypilot.exe* ]]; }
cursor() { "$repo/scripts/wine-run.sh" "$kept" "$repo/build/windows/tools/cursor/cursor.exe" | tr -d '\r'; }

"$repo/scripts/run.sh" --keep --testbed "$kept" </dev/null || fail "run.sh --keep: exit code $?"
keypilot_running "$kept" || fail "run.sh --keep left no Keypilot running"

"$repo/scripts/run.sh" --testbed "$fresh" </dev/null || fail "run.sh: exit code $?"
left=$(testbed_processes "$fresh")
[ -z "$left" ] || fail "run.sh left running: $left"

# The kept demo was not disturbed: Keypilot still runs there and the phone simulator drives it.
keypilot_running "$kept" || fail "the kept demo's Keypilot ended while run.sh ran in another folder"
read -r x y <<<"$(cursor)"
"$repo/scripts/wine-run.sh" "$kept" "$repo/build/windows/tools/phone/phone.exe" COM6 right right click ||
    fail "phone.exe COM6 right right click: exit code $?"
want="$((x + 40)) $y" deadline=$((SECONDS + 5))
until [ "$(cursor)" = "$want" ] || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
[ "$(cursor)" = "$want" ] || fail "right right click moved the kept demo's cursor from $x $y to $(cursor)"

"$repo/scripts/testbed.sh" stop "$kept" || fail "testbed.sh stop: exit code $?"
left=$(testbed_processes "$kept")
[ -z "$left" ] || fail "testbed.sh stop left running: $left"
"$repo/scripts/testbed.sh" stop "$fresh" >/dev/null 2>&1

[ $failures = 0 ] && echo "demo: all checks passed"
exit $((failures > 0))
