#!/usr/bin/env bash
# Builds Keypilot.exe and starts it under Wine with a virtual phone link, then plays a short
# scripted session and prints what each code did. Keypilot runs in the demo's own Wine prefix
# (build/windows/demo-testbed), whose settings say COM5 and a cursor step of 20 pixels; the phone's
# end of the link is COM6. The screen is a private Xvfb display: the testbed prints its number, and
# `import -display :N -window root shot.png` takes a picture of it. KEYPILOT_DISPLAY=:0 runs the
# demo on your own desktop instead.
# Each code's movement of the cursor is checked (20 pixels a step, none for a click); when one
# moved it wrongly, the session is played to its end and run.sh then exits with 1.
#
#   scripts/run.sh [--interactive] [--keep] [--testbed <dir>]
#   --interactive    afterwards, drive Keypilot with the phone simulator from this terminal
#   --keep           leave Keypilot and the testbed running
#                    (stop them with: scripts/testbed.sh stop build/windows/demo-testbed, or
#                    the folder given with --testbed)
#   --testbed <dir>  the testbed's folder instead of build/windows/demo-testbed, so that a demo
#                    left running there is not disturbed
#   --help           this text
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
bad_usage() {
    echo "run.sh: $1" >&2
    usage >&2
    exit 2
}
interactive=0 keep=0 testbed=build/windows/demo-testbed
while [ $# -gt 0 ]; do
    case $1 in
        --interactive) interactive=1 ;;
        --keep) keep=1 ;;
        --testbed)
            if [ $# -lt 2 ] || [ -z "$2" ]; then bad_usage "--testbed needs a folder"; fi
            testbed=$2
            shift
            ;;
        --testbed=?*) testbed=${1#--testbed=} ;;
        -h | --help) usage; exit 0 ;;
        *) bad_usage "unknown argument '$1'" ;;
    esac
    shift
done

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Keypilot phone cursor

build=build/windows
mkdir -p "$testbed"
testbed=$(cd "$testbed" && pwd)
wine() { scripts/wine-run.sh "$testbed" "$@"; }
scripts/testbed.sh start "$testbed"
stop() {
    [ $keep = 1 ] && { echo "Keypilot keeps running; stop it with: scripts/testbed.sh stop $testbed"; return; }
    scripts/testbed.sh stop "$testbed"
}
trap stop EXIT

# Keypilot listens on COM5 (index 4) with a cursor step of 20 pixels.
wine reg add 'HKCU\Software\Corvane\Keypilot' /v com /t REG_SZ /d 4 /f >/dev/null
wine reg add 'HKCU\Software\Corvane\Keypilot' /v mouse /t REG_SZ /d 20 /f >/dev/null
wine "$build/src/app/Keypilot.exe" >/dev/null 2>&1 &
echo "Keypilot started under Wine (phone end: COM6, Linux pty $testbed/pty/COM6)"

cursor() { wine "$build/tools/cursor/cursor.exe" | tr -d '\r'; }
send() { wine "$build/tools/phone/phone.exe" COM6 --pause 0 "$@" >/dev/null; }
# position: the cursor's "x y"; a read that fails or gives no position is tried again (for 5 s).
position() {
    local at deadline=$((SECONDS + 5))
    until at=$(cursor 2>"$testbed/cursor.err") && [[ $at =~ ^-?[0-9]+\ -?[0-9]+$ ]]; do
        if [ $SECONDS -ge $deadline ]; then
            echo "run.sh: the cursor's position cannot be read: $at $(cat "$testbed/cursor.err")" >&2
            return 1
        fi
        sleep 0.05
    done
    echo "$at"
}

# Wait until Keypilot answers on its port: a code then moves the cursor.
answered=0 deadline=$((SECONDS + 20))
while [ $SECONDS -lt $deadline ]; do
    before=$(position)
    send 06
    sleep 0.25
    [ "$before" != "$(position)" ] && { answered=1; break; }
done
if [ $answered = 0 ]; then
    echo "run.sh: Keypilot did not answer on COM5 within 20 s: its port never opened." >&2
    echo "run.sh: run with --keep to look at the testbed's screen and prefix afterwards." >&2
    exit 1
fi

# play <code, or several codes written at once> <description> <dx> <dy>: sends the code and waits
# (at most 5 s) until the cursor has moved by dx, dy; a code that should not move it gets 0.3 s
# to show that it does not.
step=20 wrong=0
play() {
    local before after bx by ax ay want deadline verdict=ok
    before=$(position)
    read -r bx by <<<"$before"
    want="$((bx + $3)) $((by + $4))"
    if [ ${#1} -gt 2 ]; then send --raw "$1"; else send "$1"; fi
    if [ "$want" = "$before" ]; then
        sleep 0.3
        after=$(position)
    else
        deadline=$((SECONDS + 5))
        while after=$(position) && [ "$after" != "$want" ] && [ $SECONDS -lt $deadline ]; do
            sleep 0.05
        done
    fi
    read -r ax ay <<<"$after"
    if [ "$after" != "$want" ]; then
        verdict=$(printf 'WRONG, expected %+d,%+d' "$3" "$4")
        wrong=$((wrong + 1))
    fi
    printf '  %-6s %-16s cursor %-9s -> %-9s moved %+d,%+d  %s\n' "$1" "$2" "$before" "$after" \
        $((ax - bx)) $((ay - by)) "$verdict"
}
echo "Scripted session: the cursor walks a square, then clicks."
start=$(position)
for code in 06 06 08 08 04 04 02 02; do
    case $code in
        02) play $code "cursor up" 0 -$step ;;
        04) play $code "cursor left" -$step 0 ;;
        06) play $code "cursor right" $step 0 ;;
        08) play $code "cursor down" 0 $step ;;
    esac
done
play 05 "click, Enter" 0 0
echo "Codes that reach Keypilot together (a quick burst of presses) each count, in order:"
play 060802 "right, down, up" $step 0
read -r sx sy <<<"$start"
read -r ex ey <<<"$(position)"
if [ "$ex $ey" != "$((sx + step)) $sy" ]; then
    echo "run.sh: the session moved the cursor from $start to $ex $ey, not by +$step,+0 in all" >&2
    wrong=$((wrong + 1))
fi
if [ $wrong -gt 0 ]; then
    echo "run.sh: the cursor did not move as the codes say ($wrong wrong above): the demo failed." >&2
    exit 1
fi
echo "Every code moved the cursor as expected."

if [ $interactive = 1 ]; then
    echo "Interactive: arrow keys move the cursor, Enter clicks, q quits."
    wine "$build/tools/phone/phone.exe" COM6 --interactive
fi
