#!/usr/bin/env bash
# The Wine testbed: a private Wine prefix with a persistent wineserver, a private Xvfb display
# with a Wine virtual desktop, COM port pairs on socat pseudo-terminals, the modem-line shim and a
# PulseAudio null sink. Everything it starts is recorded by PID under <dir>/pids and stopped by
# "stop"; nothing else is touched.
#
#   testbed.sh start <dir>               set up and start (a running testbed in <dir> is stopped first)
#   testbed.sh stop <dir>                stop what "start" started
#   testbed.sh kill-link <dir> COMn      stop the socat of the pair that COMn belongs to
#   testbed.sh restore-link <dir> COMn   start that pair again
#
# Tests move the cursor and send keys, so they never run on the caller's $DISPLAY: the testbed
# starts its own Xvfb. KEYPILOT_DISPLAY=:n asks for display :n explicitly instead (to watch the
# tests); the testbed then checks that it answers.
# <dir>/env holds the variables that wine-run.sh exports before it runs a program.
set -euo pipefail

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# COM port pairs: the first of each pair is the program's end, the second the phone's.
PAIRS=("COM5 COM6" "COM7 COM8" "COM11 COM12" "COM21 COM22")

usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
case ${1:-} in
    -h | --help) usage; exit 0 ;;
    start | stop | kill-link | restore-link) ;;
    *) usage >&2; exit 2 ;;
esac
cmd=$1
dir=${2:?testbed directory missing}
if [ "$cmd" = start ]; then
    mkdir -p "$dir"
elif [ ! -d "$dir/pids" ]; then
    echo "testbed: no testbed in $dir (nothing was started there)" >&2
    exit 1
fi
dir=$(cd "$dir" && pwd)
pids=$dir/pids

log() { echo "testbed: $*" >&2; }

alive() { # pid: running and not a zombie
    [ -n "$1" ] && kill -0 "$1" 2>/dev/null && ! grep -q '^[^)]*) Z' "/proc/$1/stat" 2>/dev/null
}

stop_pids() { # names...: TERM them all, then wait for them together
    local name pid list=()
    for name in "$@"; do
        [ -f "$pids/$name" ] || continue
        pid=$(cat "$pids/$name")
        alive "$pid" && kill "$pid" 2>/dev/null && list+=("$pid")
        rm -f "$pids/$name"
    done
    for _ in $(seq 50); do
        local left=0
        for pid in "${list[@]}"; do alive "$pid" && left=1; done
        [ $left = 0 ] && return 0
        sleep 0.05
    done
    for pid in "${list[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
}
stop_pid() { stop_pids "$1"; }

pair_of() { # COMn -> "COMa COMb"
    local p
    for p in "${PAIRS[@]}"; do
        case " $p " in *" $1 "*) echo "$p"; return 0 ;; esac
    done
    return 1
}

start_pair() { # "COMa COMb"
    local a b; read -r a b <<<"$1"
    rm -f "$dir/pty/$a" "$dir/pty/$b"
    socat "pty,raw,echo=0,link=$dir/pty/$a" "pty,raw,echo=0,link=$dir/pty/$b" >/dev/null 2>&1 &
    echo $! >"$pids/socat-$a"
    for _ in $(seq 100); do [ -e "$dir/pty/$a" ] && [ -e "$dir/pty/$b" ] && return 0; sleep 0.05; done
    log "socat pair $a/$b did not come up"; return 1
}

stop_all() {
    if [ -f "$dir/env" ]; then
        WINEPREFIX=$dir/prefix "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
        WINEPREFIX=$dir/prefix "$WINESERVER" -w >/dev/null 2>&1 </dev/null || true
    fi
    if [ -d "$pids" ]; then
        local names=() f
        for f in "$pids"/*; do [ -e "$f" ] && names+=("$(basename "$f")"); done
        [ ${#names[@]} -gt 0 ] && stop_pids "${names[@]}"
    fi
    rm -f "$dir/env"
}

write_env() {
    cat >"$dir/env" <<ENV
export WINEPREFIX='$dir/prefix'
export WINESERVER='$WINESERVER'
export WINELOADER='$WINE'
export WINEDEBUG='${KEYPILOT_WINEDEBUG:--all}'
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d'
export DISPLAY='$display'
export XDG_RUNTIME_DIR='$dir/xdg'
export LD_PRELOAD='$dir/pty_modem_shim.so'
export KEYPILOT_TESTBED_DIR='$dir'
export KEYPILOT_PTY_DIR='$dir/pty'
export KEYPILOT_MODEM_DIR='$dir/modem'
export KEYPILOT_TEST_PORTS='$(IFS=,; for p in "${PAIRS[@]}"; do printf '%s,' "${p/ /:}"; done | sed 's/,$//')'
ENV
}

start_all() {
    stop_all
    mkdir -p "$pids" "$dir/pty" "$dir/modem" "$dir/xdg"
    chmod 700 "$dir/xdg"

    # The modem-line shim, built natively with the host compiler.
    local shim_src=$HERE/ptyshim/pty_modem_shim.c
    if [ ! -f "$dir/pty_modem_shim.so" ] || [ "$shim_src" -nt "$dir/pty_modem_shim.so" ]; then
        cc -shared -fPIC -O2 -o "$dir/pty_modem_shim.so" "$shim_src" -ldl
    fi

    # A display: a private Xvfb, unless one is asked for explicitly.
    display=${KEYPILOT_DISPLAY:-}
    if [ -n "$display" ]; then
        if ! timeout 5 xdpyinfo -display "$display" >/dev/null 2>&1; then
            log "KEYPILOT_DISPLAY=$display does not answer"
            return 1
        fi
    else
        rm -f "$dir/display"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
        echo $! >"$pids/xvfb"
        for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
        [ -s "$dir/display" ] || { log "Xvfb did not start"; return 1; }
        display=:$(head -n1 "$dir/display")
    fi

    # A PulseAudio null sink for the mixer, on a private runtime directory.
    if command -v pulseaudio >/dev/null; then
        rm -rf "$dir/xdg/pulse"
        XDG_RUNTIME_DIR=$dir/xdg HOME=$dir pulseaudio -D --exit-idle-time=-1 -n \
            --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
            >/dev/null 2>&1 || log "pulseaudio did not start (mixer tests see no device)"
        for _ in $(seq 100); do [ -s "$dir/xdg/pulse/pid" ] && break; sleep 0.05; done
        [ -s "$dir/xdg/pulse/pid" ] && cp "$dir/xdg/pulse/pid" "$pids/pulseaudio"
    fi

    local p
    for p in "${PAIRS[@]}"; do start_pair "$p"; done
    write_env

    # The prefix, with a persistent server so that each program starts in milliseconds.
    # shellcheck disable=SC1091
    . "$dir/env"
    local fresh=0
    [ -f "$dir/prefix/system.reg" ] || fresh=1
    mkdir -p "$dir/prefix"
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
    # --init only creates a prefix: run on an existing one it leaves a second services.exe
    # behind, and every later program in the prefix starts several times slower.
    if [ $fresh = 1 ]; then
        "$WINE" wineboot --init >/dev/null 2>&1 </dev/null
    else
        "$WINE" wineboot >/dev/null 2>&1 </dev/null
    fi
    if [ $fresh = 1 ] || [ ! -f "$dir/prefix/.keypilot-ports" ]; then
        local reg=$dir/testbed.reg a b
        {
            echo "REGEDIT4"
            echo
            echo "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"
            for p in "${PAIRS[@]}"; do
                read -r a b <<<"$p"
                echo "\"$a\"=\"$dir/pty/$a\""
                echo "\"$b\"=\"$dir/pty/$b\""
            done
            echo
            echo "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]"
            echo "\"Desktop\"=\"shell\""
            echo
            echo "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]"
            echo "\"shell\"=\"1024x768\""
        } >"$reg"
        "$WINE" reg import "$(printf 'Z:%s' "$reg" | tr / '\\')" >/dev/null 2>&1 </dev/null
        # The ports are read when the server starts: restart it once.
        "$WINESERVER" -k >/dev/null 2>&1 || true
        "$WINESERVER" -w >/dev/null 2>&1 || true
        "$WINESERVER" -p >/dev/null 2>&1 </dev/null
        "$WINE" wineboot >/dev/null 2>&1 </dev/null
        touch "$dir/prefix/.keypilot-ports"
    fi
    # Make sure each port reaches its pseudo-terminal even if the mount manager was slow.
    for p in "${PAIRS[@]}"; do
        read -r a b <<<"$p"
        ln -sfn "$dir/pty/$a" "$dir/prefix/dosdevices/${a,,}"
        ln -sfn "$dir/pty/$b" "$dir/prefix/dosdevices/${b,,}"
    done
    log "ready: prefix $dir/prefix, display $display"
}

case $cmd in
    start) start_all ;;
    stop) stop_all; log "stopped" ;;
    kill-link) pair=$(pair_of "${3:?COMn}") && stop_pid "socat-${pair%% *}" ;;
    restore-link) pair=$(pair_of "${3:?COMn}") && stop_pid "socat-${pair%% *}" && start_pair "$pair" ;;
    *) echo "unknown command $cmd" >&2; exit 2 ;;
esac
