#!/usr/bin/env bash
# Builds Keypilot.exe and starts it under Wine with a virtual phone link, then plays a short
# scripted session and prints what each code did. Keypilot runs in the demo's own Wine prefix
# (build/windows/demo-testbed), whose settings say COM5 and a cursor step of 20 pixels; the phone's
# end of the link is COM6. The screen is a private Xvfb display: the testbed prints its number, and
# `import -display :N -window root shot.png` takes a picture of it. KEYPILOT_DISPLAY=:0 runs the
# demo on your own desktop instead.
#
#   scripts/run.sh [--interactive] [--keep]
#   --interactive  afterwards, drive Keypilot with the phone simulator from this terminal
#   --keep         leave Keypilot and the testbed running
#                  (stop them with: scripts/testbed.sh stop build/windows/demo-testbed)
#   --help         this text
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
interactive=0 keep=0
for arg in "$@"; do
    case $arg in
        --interactive) interactive=1 ;;
        --keep) keep=1 ;;
        -h | --help) usage; exit 0 ;;
        *)
            echo "run.sh: unknown argument '$arg'" >&2
            usage >&2
            exit 2
            ;;
    esac
done

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Keypilot phone cursor

build=build/windows
testbed=$(pwd)/$build/demo-testbed
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

# Wait until Keypilot answers on its port: a code then moves the cursor.
cursor() { wine "$build/tools/cursor/cursor.exe" | tr -d '\r'; }
send() { wine "$build/tools/phone/phone.exe" COM6 --pause 0 "$@" >/dev/null; }
answered=0 deadline=$((SECONDS + 20))
while [ $SECONDS -lt $deadline ]; do
    before=$(cursor)
    send 06
    sleep 0.25
    [ "$before" != "$(cursor)" ] && { answered=1; break; }
done
if [ $answered = 0 ]; then
    echo "run.sh: Keypilot did not answer on COM5 within 20 s: its port never opened." >&2
    echo "run.sh: run with --keep to look at the testbed's screen and prefix afterwards." >&2
    exit 1
fi

play() { # code (or several codes written at once), description
    local before after
    before=$(cursor)
    if [ ${#1} -gt 2 ]; then send --raw "$1"; else send "$1"; fi
    sleep 0.3
    after=$(cursor)
    printf '  %-3s %-16s cursor %-9s -> %s\n' "$1" "$2" "$before" "$after"
}
echo "Scripted session: the cursor walks a square, then clicks."
for code in 06 06 08 08 04 04 02 02; do
    case $code in 02) d=up ;; 04) d=left ;; 06) d=right ;; 08) d=down ;; esac
    play "$code" "cursor $d"
done
play 05 "click, Enter"
echo "Codes that reach Keypilot together (a quick burst of presses) each count, in order:"
play 060802 "right, down, up"

if [ $interactive = 1 ]; then
    echo "Interactive: arrow keys move the cursor, Enter clicks, q quits."
    wine "$build/tools/phone/phone.exe" COM6 --interactive
fi
