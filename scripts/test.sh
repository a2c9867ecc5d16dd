#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (ASan/UBSan, bounded fuzz
# runs), then Keypilot.exe and its tests under Wine in the private testbed, then the demo
# (scripts/run.sh, in testbed folders of its own under build/windows/demo-test), then the release
# packages (scripts/package.sh) with their install, upgrade and uninstall under Wine in a fresh
# prefix, then the style check (clang-format and clang-tidy). Any compiler warning in the
# project's own code fails the build. Exits 0 only when everything passed.
#
#   scripts/test.sh            everything (as CI runs it)
#   scripts/test.sh --help     this text
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_or_no_arguments "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
jobs=$(nproc)

cmake --preset native -DKEYPILOT_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset native -j "$jobs"
cmake --preset windows -DKEYPILOT_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset windows -j "$jobs"

status=0
# The phone's remote page in headless Chromium, then driving Keypilot under Wine.
node web/tests/run.mjs || status=1
node web/update-offline.mjs --check || status=1
node web/tests/table.mjs --run build/native/tools/phone/link_table || status=1
ctest --preset native -j "$jobs" || status=1
ctest --preset windows || status=1
node web/tests/e2e.mjs build/windows || status=1
# The README's first command, as a new user runs it, beside a demo kept running with --keep.
tests/scripts/demo_test.sh . build/windows/demo-test || status=1
if scripts/package.sh; then
    tests/packaging/packaging_test.sh . build/release build/packaging-testbed || status=1
else
    status=1
fi
scripts/check-style.sh build/windows || status=1
exit $status
