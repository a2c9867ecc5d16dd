#!/usr/bin/env bash
# Installs what building and testing Keypilot needs on Debian 12 (as root), skipping what is there.
#   setup.sh                 everything the build, the tests and the demo need
#   setup.sh <package>...    only these Debian packages (and the cross compiler check)
#   setup.sh --help          this text
# Everything also means Debian's nodejs and npm where the node or npm command is missing, and the
# phone page's test packages from web/package-lock.json (npm ci, only when they are out of date).
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
packages=(
    cmake ninja-build gcc g++ libc6-dev clang libclang-rt-14-dev googletest
    g++-mingw-w64-x86-64-posix wine64 xvfb socat imagemagick pulseaudio pulseaudio-utils
    gettext procps bc clang-format clang-tidy x11-utils fonts-wine
)
# The phone page's tests run in Debian's Chromium, driven from Node.
packages+=(chromium)
everything=1
[ $# -gt 0 ] && packages=("$@") && everything=0
if [ $everything = 1 ]; then
    command -v node >/dev/null || packages+=(nodejs)
    command -v npm >/dev/null || packages+=(npm)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The plain MinGW package would switch the compiler to the win32 thread model (no std::thread).
if ! x86_64-w64-mingw32-g++-posix --version >/dev/null 2>&1; then
    echo "setup: x86_64-w64-mingw32-g++-posix is missing" >&2
    exit 1
fi

# The page tests' packages, pinned by the lock file; npm ci again only when the lock changed.
if [ $everything = 1 ]; then
    web=$(cd "$(dirname "${BASH_SOURCE[0]}")/../web" && pwd)
    if ! cmp -s "$web/package-lock.json" "$web/node_modules/.package-lock.json.installed"; then
        echo "setup: npm ci in $web" >&2
        (cd "$web" && npm ci --no-audit --no-fund --loglevel=error)
        cp "$web/package-lock.json" "$web/node_modules/.package-lock.json.installed"
    fi
fi
