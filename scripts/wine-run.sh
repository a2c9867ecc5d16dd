#!/usr/bin/env bash
# Runs a Windows program inside the test bench: wine-run.sh <bench dir> <program.exe> [args...]
set -euo pipefail
dir=${1:?bench directory missing}; shift
[ -f "$dir/env" ] || { echo "wine-run: the bench in $dir is not started (scripts/bench.sh start $dir)" >&2; exit 2; }
# shellcheck disable=SC1091
. "$dir/env"
exec "$WINELOADER" "$@"
