#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time over its seed corpus (kept read-only in the repo);
# new inputs go to a work folder in the build tree.
#   run-fuzz.sh <fuzzer> <seed corpus dir> <work dir> <seconds>
#   run-fuzz.sh --help     this text
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
fuzzer=${1:?fuzzer} seeds=${2:?seed corpus} work=${3:?work dir} seconds=${4:?seconds}
mkdir -p "$work"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$work" "$seeds"
