#!/usr/bin/env bash
# The developer scripts: usage and argument checks, and the Wine testbed's life cycle in a testbed
# folder of its own (first start, rerun on the existing prefix, a second start on a running
# testbed, an unreachable display, stop with a wrong folder).
#   scripts_test.sh <repository> <testbed dir>
set -uo pipefail
repo=${1:?repository} dir=${2:?testbed dir}
testbed=$repo/scripts/testbed.sh
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
expect_rc() { # expected rc, description, command...
    local want=$1 what=$2 out rc; shift 2
    out=$("$@" 2>&1); rc=$?
    [ "$rc" = "$want" ] || fail "$what: exit code $rc, expected $want"
    printf '%s' "$out"
}

# Live (not zombie) processes whose environment names this testbed's prefix or folder.
testbed_processes() {
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null || continue
        if { tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$dir/prefix" ||
            tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF "$dir/"; } 2>/dev/null; then
            echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
        fi
    done
}
services_count() { testbed_processes | grep -ci 'services\.exe' || true; }

for script in test.sh run.sh testbed.sh package.sh; do
    out=$(expect_rc 0 "$script --help" "$repo/scripts/$script" --help)
    grep -q "$script" <<<"$out" || fail "$script --help prints no usage"
    expect_rc 2 "$script with an unknown argument" "$repo/scripts/$script" --no-such-option >/dev/null
done

expect_rc 1 "stop with a folder that holds no testbed" "$testbed" stop "$dir/no-such-testbed" >/dev/null
[ -d "$dir/no-such-testbed" ] && fail "stop created the folder it was given"

rm -rf "$dir"
# A caller's display that does not answer is not used: the testbed brings its own.
DISPLAY=:97 expect_rc 0 "first start" "$testbed" start "$dir" >/dev/null
grep -q "DISPLAY=':97'" "$dir/env" && fail "the testbed took the caller's \$DISPLAY"
[ "$(services_count)" = 1 ] || fail "first start: $(services_count) services.exe, expected 1"

first=$(testbed_processes | cut -d' ' -f1)
expect_rc 0 "second start on a running testbed" "$testbed" start "$dir" >/dev/null
for pid in $first; do
    grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null && fail "second start left process $pid"
done
[ "$(services_count)" = 1 ] || fail "rerun: $(services_count) services.exe, expected 1"

expect_rc 0 "stop" "$testbed" stop "$dir" >/dev/null
left=$(testbed_processes)
[ -z "$left" ] || fail "stop left: $left"

# A display asked for explicitly must answer.
KEYPILOT_DISPLAY=:97 expect_rc 1 "start with an unreachable KEYPILOT_DISPLAY" "$testbed" start "$dir" >/dev/null
"$testbed" stop "$dir" >/dev/null 2>&1

[ $failures = 0 ] && echo "scripts: all checks passed"
exit $((failures > 0))
