#!/usr/bin/env bash
# Checks the layout of src/: each folder (room) includes only the rooms below it, as the README's
# layout table gives them, so that no include points up and none makes a circle; and no source
# file grows past 550 lines. Prints each finding and exits 1 when there is any.
#   check-rooms.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_or_no_arguments "$@"

# What each room may include besides itself; app, the program's root, may include any room.
declare -A below=(
    [windows]="buttons ways settings ports link i18n framework"
    [buttons]="desktop settings link i18n framework"
    [desktop]="settings mixer link i18n framework"
    [ways]="serial ports settings link i18n framework"
    [settings]="ports link i18n framework"
    [link]="i18n framework"
    [serial]="i18n framework"
    [ports]="framework"
    [mixer]="framework"
    [tray]="framework"
    [i18n]="framework"
    [framework]=""
)
status=0
while read -r file; do
    room=${file#src/}
    room=${room%%/*}
    [ "$room" = app ] && continue
    if [ -z "${below[$room]+set}" ]; then
        echo "check-rooms: $file: src/$room is no room of the layout (add it to this script)" >&2
        status=1
        continue
    fi
    while read -r included; do
        [ "$included" = "$room" ] && continue
        case " ${below[$room]} " in
        *" $included "*) ;;
        *)
            echo "check-rooms: $file includes $included/, which src/$room may not" >&2
            status=1
            ;;
        esac
    done < <(sed -n 's|^#include "\([a-z0-9_]*\)/.*|\1|p' "$file" | sort -u)
done < <(git ls-files -- 'src/*.h' 'src/*.cpp')

while read -r lines file; do
    [ "$file" = total ] && continue
    if [ "$lines" -gt 550 ]; then
        echo "check-rooms: $file has $lines lines (at most 550: split it by job)" >&2
        status=1
    fi
done < <(git ls-files -- 'src/*.h' 'src/*.cpp' | xargs wc -l)
[ $status = 0 ] && echo "check-rooms: every include points down, no source file over 550 lines"
exit $status
