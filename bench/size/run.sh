#!/usr/bin/env bash
# Prints Keypilot.exe's size and what makes it up, so that a jump is seen with its cause: the
# executable's sections, then the libraries and the objects that bring the most code and data in,
# read from the link map the build writes beside the executable (Keypilot.map):
#   bench/size/run.sh [build dir] [how many]
# build dir: default build/release, the stripped build that scripts/package.sh ships (the windows
# preset's executable carries its debugging information); how many: rows of each list (default
# 12). Runs nothing under Wine; only the build is needed (cmake --build --preset release).
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "$0")/../../scripts/lib/args.sh"
help_if_asked "$@"
build=${1:-build/release}
rows=${2:-12}
exe=$build/src/app/Keypilot.exe
map=$build/src/app/Keypilot.map
if [ ! -f "$exe" ] || [ ! -f "$map" ]; then
    echo "run.sh: $exe or its link map is missing: build Keypilot in $build first" >&2
    exit 2
fi
bytes=$(stat -c %s "$exe")
awk -v bytes="$bytes" -v exe="$exe" -v rows="$rows" '
    # A 0x... figure of the map as a number (awk alone, any of them).
    function hex(text,    value, i) {
        value = 0
        text = tolower(substr(text, 3))
        for (i = 1; i <= length(text); i++) {
            value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
        }
        return value
    }
    function group(file) {
        # An archive member counts for its archive, an object for itself; folders left out.
        if (match(file, /\([^()]*\)$/)) {
            file = substr(file, 1, RSTART - 1)
        }
        sub(/.*\//, "", file)
        return file
    }
    function member(file) {
        sub(/.*\//, "", file)
        return file
    }
    function take(size, file) {
        size = hex(size)
        if (size == 0 || kept_out) return
        by_group[group(file)] += size
        by_member[member(file)] += size
        total += size
    }
    function show(title, table,    n, i, key, order) {
        n = 0
        for (key in table) order[++n] = key
        # Largest first (a small insertion sort: a few hundred names at most).
        for (i = 2; i <= n; i++) {
            key = order[i]
            for (j = i - 1; j > 0 && table[order[j]] < table[key]; j--) order[j + 1] = order[j]
            order[j + 1] = key
        }
        printf "%s\n", title
        for (i = 1; i <= n && i <= rows; i++) {
            printf "  %9d  %5.1f %%  %s\n", table[order[i]], 100 * table[order[i]] / total, order[i]
        }
    }
    /^Linker script and memory map/ { in_map = 1; next }
    !in_map { next }
    # An output section: its name and size; debugging information is not counted.
    /^\.[^ \t]/ {
        kept_out = ($1 ~ /^\.(z?debug|stab)/)
        if (!kept_out && NF >= 3 && $3 ~ /^0x/ && hex($3) > 0) {
            sections = sections sprintf(" %s %d", $1, hex($3))
        }
        pending = 0
        next
    }
    # An input section on one line, or its name alone with the figures on the next line.
    /^ \.[^ \t]/ {
        if (NF >= 4 && $2 ~ /^0x/ && $3 ~ /^0x/) { take($3, $4); pending = 0 }
        else if (NF == 1) pending = 1
        next
    }
    pending && NF >= 3 && $1 ~ /^0x/ && $2 ~ /^0x/ { take($2, $3); pending = 0; next }
    /^ \*fill\*/ { pending = 0; next }
    { pending = 0 }
    END {
        printf "Keypilot.exe: %d bytes (%.3f MB, %.3f MiB): %s\n", bytes, bytes / 1e6, bytes / 1048576, exe
        printf "sections (bytes):%s\n", sections
        show("largest libraries and objects (bytes they bring in, share of " total " in all):", by_group)
        show("largest single objects:", by_member)
    }
' "$map"
