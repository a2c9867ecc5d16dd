#!/usr/bin/env bash
# Builds what users download, from the release build (optimised, stripped, static Keypilot.exe),
# into build/release:
#   Keypilot-<version>-win64.zip    Keypilot.exe, README.txt and LICENSE, to run from anywhere
#   Keypilot-<version>-setup.exe    the per-user installer (NSIS; /S installs silently)
#   Keypilot-<version>-remote.zip   the phone's remote page (web/remote), for any static host
#   SHA256SUMS                      the sums of all three
# The version is the project's (CMakeLists.txt). Missing Debian packages (the cross compiler,
# nsis, zip) are installed with apt-get.
#
#   scripts/package.sh            build the packages
#   scripts/package.sh --help     this text
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_or_no_arguments "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh cmake ninja-build g++-mingw-w64-x86-64-posix gettext nsis zip

SECONDS=0
out=build/release
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
version=$(cat "$out/version.txt")
exe=$out/src/app/Keypilot.exe
# About 1.07 MB today (-O2, unused sections left out by the linker); bench/size/run.sh shows what makes it up when it grows.
limit=1200000
size=$(stat -c %s "$exe")
if [ "$size" -gt "$limit" ]; then
    echo "package: $exe is $size bytes, more than the $limit allowed" >&2
    exit 1
fi

# What goes beside the executable, with Windows line ends.
stage=$out/package
rm -rf "$stage"
mkdir -p "$stage"
cp "$exe" "$stage/Keypilot.exe"
sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE"

zip=Keypilot-$version-win64.zip
setup=Keypilot-$version-setup.exe
remote=Keypilot-$version-remote.zip
rm -f "$out"/Keypilot-*-win64.zip "$out"/Keypilot-*-setup.exe "$out/SHA256SUMS"
rm -f "$out"/Keypilot-*-remote.zip
(cd "$stage" && zip -q -X -9 "../$zip" Keypilot.exe README.txt LICENSE)
makensis -V2 -DVERSION="$version" -DFILES="$PWD/$stage" -DICON="$PWD/src/app/resources/keypilot.ico" \
    -DOUTFILE="$PWD/$out/$setup" packaging/keypilot.nsi
# The remote page as it is served, in a folder of its own: unpack it and upload the folder.
remote_stage=$out/remote-package
rm -rf "$remote_stage"
mkdir -p "$remote_stage"
cp -r web/remote "$remote_stage/keypilot-remote"
(cd "$remote_stage" && find keypilot-remote -type f | LC_ALL=C sort | zip -q -X -9 "../$remote" -@)
(cd "$out" && sha256sum "$zip" "$setup" "$remote" >SHA256SUMS)

echo "package: Keypilot $version in $out, $SECONDS s:"
for f in "$exe" "$out/$zip" "$out/$setup" "$out/$remote"; do
    printf '  %-40s %9d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
done
