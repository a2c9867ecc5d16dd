#!/usr/bin/env bash
# Runs a Windows program inside the testbed: wine-run.sh <testbed dir> <program.exe> [args...]
# (the testbed started with scripts/testbed.sh start <testbed dir>); wine-run.sh --help: this text.
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
dir=${1:?testbed directory missing}; shift
[ -f "$dir/env" ] || { echo "wine-run: the testbed in $dir is not started (scripts/testbed.sh start $dir)" >&2; exit 2; }
# shellcheck disable=SC1091
. "$dir/env"
exec "$WINELOADER" "$@"
