#!/usr/bin/env bash
# Checks the repository's own rules: .clang-format on every C and C++ source file, and the
# .clang-tidy checks on src/ and tools/ (with the Windows tree's compile database and the
# MinGW-w64 headers). Prints each finding and exits 1 when there is any.
#   check-style.sh [<windows build dir>]     (default build/windows, configured beforehand)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
build=${1:-build/windows}
[ -f "$build/compile_commands.json" ] || {
    echo "check-style: no $build/compile_commands.json (run: cmake --preset windows)" >&2
    exit 2
}
status=0

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "check-style: files above differ from .clang-format (fix: clang-format -i <file>)" >&2
    status=1
fi

# clang-tidy parses with the cross compiler's own C++ library and Windows headers.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
extra=(--target=x86_64-w64-mingw32
    "-isystem$gcc_dir/include/c++" "-isystem$gcc_dir/include/c++/x86_64-w64-mingw32"
    "-isystem$gcc_dir/include/c++/backward" -isystem/usr/x86_64-w64-mingw32/include)
extra_args=()
for a in "${extra[@]}"; do extra_args+=("--extra-arg=$a"); done
mapfile -t tidy_sources < <(git ls-files -- 'src/*.cpp' 'tools/*.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\n' "${tidy_sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet "${extra_args[@]}" >"$log" 2>&1; then
    status=1
fi
if grep -E '(warning|error):' "$log" | sort -u; then
    echo "check-style: clang-tidy findings above" >&2
    status=1
fi
[ $status = 0 ] && echo "check-style: clang-format and clang-tidy clean"
exit $status
