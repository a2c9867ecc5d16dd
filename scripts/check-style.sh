#!/usr/bin/env bash
# Checks the repository's own rules: .clang-format on every C and C++ source file, and the
# .clang-tidy checks on every C++ source of src/, tools/, tests/ and bench/: with the Windows
# tree's compile database and the MinGW-w64 headers, and for the sources that only the native
# tree builds (the portable core's own tests, fuzz targets, the lookup benchmark) with the native
# tree's; then the layout of src/ (scripts/check-rooms.sh). Prints each finding and exits 1 when
# there is any.
#   check-style.sh [<windows build dir> [<native build dir>]]
#                  (default build/windows and build/native, configured beforehand)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
build=${1:-build/windows}
native=${2:-build/native}
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
# Each source goes with the tree that compiles it; one that neither compiles is a finding.
windows_sources=() native_sources=()
while read -r file; do
    if grep -qF "\"$PWD/$file\"" "$build/compile_commands.json"; then
        windows_sources+=("$file")
    elif [ -f "$native/compile_commands.json" ] &&
        grep -qF "\"$PWD/$file\"" "$native/compile_commands.json"; then
        native_sources+=("$file")
    else
        echo "check-style: $file: no build tree compiles it (or $native is not configured)" >&2
        status=1
    fi
done < <(git ls-files -- 'src/*.cpp' 'tools/*.cpp' 'tests/*.cpp' 'bench/*.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\n' "${windows_sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet "${extra_args[@]}" >"$log" 2>&1; then
    status=1
fi
if [ ${#native_sources[@]} -gt 0 ] && ! printf '%s\n' "${native_sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$native" --quiet >>"$log" 2>&1; then
    status=1
fi
if grep -E '(warning|error):' "$log" | sort -u; then
    echo "check-style: clang-tidy findings above" >&2
    status=1
fi
scripts/check-rooms.sh || status=1
[ $status = 0 ] && echo "check-style: clang-format and clang-tidy clean"
exit $status
