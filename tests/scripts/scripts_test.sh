#!/usr/bin/env bash
# The developer scripts: every script's --help and argument checks, the remote page's server
# answering on 127.0.0.1, and the Wine testbed's life cycle in a testbed folder of its own (first
# start, rerun on the existing prefix, a second start on a running testbed, an unreachable display,
# stop with a wrong folder).
#   scripts_test.sh <repository> <testbed dir>
set -uo pipefail
repo=$(cd "${1:?repository}" && pwd) dir=${2:?testbed dir}
testbed=$repo/scripts/testbed.sh
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
expect_rc() { # expected rc, description, command...: the command's output is left in $out
    local want=$1 what=$2 rc; shift 2
    out=$("$@" 2>&1); rc=$?
    [ "$rc" = "$want" ] || fail "$what: exit code $rc, expected $want"
}

# shellcheck source=tests/scripts/testbed_processes.sh
. "$(dirname "${BASH_SOURCE[0]}")/testbed_processes.sh"
services_count() { testbed_processes "$dir" | grep -ci 'services\.exe' || true; }

# --help prints the usage and does nothing else (no install, no build, no file named --help).
scratch=$(mktemp -d)
cd "$scratch" || exit 1
for script in "$repo"/scripts/*.sh; do
    name=$(basename "$script")
    expect_rc 0 "$name --help" "$script" --help
    grep -q "$name" <<<"$out" || fail "$name --help prints no usage"
done
cd - >/dev/null || exit 1
if [ -n "$(ls -A "$scratch")" ]; then fail "--help left files behind in $scratch"; else rmdir "$scratch"; fi
for name in test.sh run.sh testbed.sh package.sh screenshots.sh update-po.sh serve-remote.sh; do
    expect_rc 2 "$name with an unknown argument" "$repo/scripts/$name" --no-such-option
done
expect_rc 2 "run.sh --testbed without a folder" "$repo/scripts/run.sh" --testbed

# The remote page's server answers on 127.0.0.1 with the page, and on no other address.
log=$(mktemp)
"$repo/scripts/serve-remote.sh" 0 >"$log" 2>&1 &
server=$!
url=
for _ in $(seq 200); do
    url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$log") && break
    kill -0 $server 2>/dev/null || break
    sleep 0.05
done
if [ -z "$url" ]; then
    fail "serve-remote.sh printed no address: $(cat "$log")"
else
    port=${url##*:} port=${port%/}
    get() { # host, path: the response's status line and body
        exec 3<>"/dev/tcp/$1/$port" || return 1
        printf 'GET %s HTTP/1.0\r\nHost: %s\r\n\r\n' "$2" "$1" >&3
        timeout 5 cat <&3
        exec 3<&-
    }
    page=$(get 127.0.0.1 /index.html)
    head -n1 <<<"$page" | grep -q ' 200 ' || fail "serve-remote.sh: index.html: $(head -n1 <<<"$page")"
    grep -qi '<html' <<<"$page" || fail "serve-remote.sh: index.html holds no page"
    for address in $(hostname -I 2>/dev/null); do
        [[ $address == *:* ]] && continue
        (get "$address" /index.html) >/dev/null 2>&1 && fail "serve-remote.sh answers on $address too"
    done
fi
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -f "$log"

expect_rc 1 "stop with a folder that holds no testbed" "$testbed" stop "$dir/no-such-testbed"
[ -d "$dir/no-such-testbed" ] && fail "stop created the folder it was given"

rm -rf "$dir"
# A caller's display that does not answer is not used: the testbed brings its own.
DISPLAY=:97 expect_rc 0 "first start" "$testbed" start "$dir"
grep -q "DISPLAY=':97'" "$dir/env" && fail "the testbed took the caller's \$DISPLAY"
[ "$(services_count)" = 1 ] || fail "first start: $(services_count) services.exe, expected 1"

first=$(testbed_processes "$dir" | cut -d' ' -f1)
expect_rc 0 "second start on a running testbed" "$testbed" start "$dir"
for pid in $first; do
    grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null && fail "second start left process $pid"
done
[ "$(services_count)" = 1 ] || fail "rerun: $(services_count) services.exe, expected 1"

expect_rc 0 "stop" "$testbed" stop "$dir"
left=$(testbed_processes "$dir")
[ -z "$left" ] || fail "stop left: $left"

# A display asked for explicitly must answer.
KEYPILOT_DISPLAY=:97 expect_rc 1 "start with an unreachable KEYPILOT_DISPLAY" "$testbed" start "$dir"
"$testbed" stop "$dir" >/dev/null 2>&1

[ $failures = 0 ] && echo "scripts: all checks passed"
exit $((failures > 0))
