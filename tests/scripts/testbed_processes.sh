# shellcheck shell=bash
# Sourced by the scripts' tests.
#   testbed_processes <testbed dir>
# prints "pid command line" for each live (not zombie) process whose environment names the
# testbed's prefix or whose command line names a file in its folder.
testbed_processes() {
    local dir=$1 pid
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null || continue
        if { tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$dir/prefix" ||
            tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF "$dir/"; } 2>/dev/null; then
            echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
        fi
    done
}
