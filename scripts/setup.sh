#!/usr/bin/env bash
# Installs what building and testing Keypilot needs on Debian 12 (as root), skipping what is there.
#   setup.sh                 everything the build, the tests and the demo need
#   setup.sh <package>...    only these Debian packages (and the cross compiler check, and the QR
#                            code library below, which every Windows build needs)
#   setup.sh --help          this text
# Everything also means Debian's nodejs and npm where the node or npm command is missing, and the
# phone page's test packages from web/package-lock.json (npm ci, only when they are out of date).
# Either way, when it is not there yet, the QR code library that Keypilot is built with:
# Nayuki's QR Code generator 1.8.0 (MIT), taken from Debian's source package qr-code-generator
# through apt and the mirror this machine already uses, checked against a pinned sha256 and
# unpacked into build/deps (never into the repository). When the machine has no deb-src entry,
# one is made from its own deb entries.
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
packages=(
    cmake ninja-build gcc g++ libc6-dev clang libclang-rt-14-dev googletest
    g++-mingw-w64-x86-64-posix wine64 xvfb socat imagemagick pulseaudio pulseaudio-utils
    gettext procps bc clang-format clang-tidy x11-utils fonts-wine zbar-tools
)
# The phone page's tests run in Debian's Chromium, driven from Node.
packages+=(chromium)
everything=1
[ $# -gt 0 ] && packages=("$@") && everything=0
if [ $everything = 1 ]; then
    command -v node >/dev/null || packages+=(nodejs)
    command -v npm >/dev/null || packages+=(npm)
fi
SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
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

# The QR code library, once: the orig tarball of Debian's source package, which alone holds the
# library's sources (Keypilot builds its C version). Its debian.tar.xz part is not needed.
qr_version=1.8.0
qr_sha256=2ec0a4d33d6f521c942eeaf473d42d5fe139abcfa57d2beffe10c5cf7d34ae60
qr_tarball=qr-code-generator_${qr_version}.orig.tar.gz
deps=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/deps

# A deb-src stanza for each deb stanza of the deb822 files, and a deb-src line for each classic
# deb line, written to keypilot-src.*; only when no deb-src entry exists at all.
add_deb_src() {
    local lists=/etc/apt/sources.list.d f
    local classic=() deb822=()
    [ -f /etc/apt/sources.list ] && classic+=(/etc/apt/sources.list)
    for f in "$lists"/*.list; do [ -f "$f" ] && classic+=("$f"); done
    for f in "$lists"/*.sources; do [ -f "$f" ] && deb822+=("$f"); done
    if [ ${#classic[@]} -gt 0 ] && grep -qE '^[[:space:]]*deb-src[[:space:]]' "${classic[@]}"; then
        return 0
    fi
    if [ ${#deb822[@]} -gt 0 ] && grep -qiE '^Types:.*deb-src' "${deb822[@]}"; then
        return 0
    fi
    echo "setup: adding deb-src entries made from the deb entries, for the QR code library" >&2
    if [ ${#deb822[@]} -gt 0 ]; then
        awk 'BEGIN { RS = ""; ORS = "" }
             {
                 n = split($0, line, "\n"); out = ""; deb = 0
                 for (i = 1; i <= n; i++) {
                     if (line[i] ~ /^#/) continue
                     if (line[i] ~ /^[Tt]ypes:/) {
                         if (line[i] ~ /[ \t]deb([ \t]|$)/) deb = 1
                         line[i] = "Types: deb-src"
                     }
                     out = out line[i] "\n"
                 }
                 if (deb) print out "\n"
             }' "${deb822[@]}" | $SUDO tee "$lists/keypilot-src.sources" >/dev/null
    fi
    if [ ${#classic[@]} -gt 0 ]; then
        sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "${classic[@]}" |
            $SUDO tee "$lists/keypilot-src.list" >/dev/null
    fi
    $SUDO apt-get update -qq
}

# The orig tarball's address, as the machine's mirror gives it now.
qr_uri() {
    apt-get source --print-uris qr-code-generator 2>/dev/null |
        awk -v name="$qr_tarball" '$2 == name { gsub(/\047/, "", $1); print $1; exit }'
}

fetch_qrcodegen() {
    local uri tmp
    add_deb_src
    uri=$(qr_uri)
    if [ -z "$uri" ]; then
        $SUDO apt-get update -qq
        uri=$(qr_uri)
    fi
    if [ -z "$uri" ]; then
        echo "setup: apt knows no source package qr-code-generator ${qr_version}" >&2
        return 1
    fi
    tmp=$(mktemp -d)
    # apt's helper downloads as the _apt user where it can: a folder that user may write.
    chmod 755 "$tmp"
    if [ "$(id -u)" = 0 ]; then chown _apt "$tmp" 2>/dev/null || true; fi
    echo "setup: fetching $qr_tarball" >&2
    if ! /usr/lib/apt/apt-helper download-file "$uri" "$tmp/$qr_tarball" "SHA256:$qr_sha256" \
        >/dev/null ||
        ! echo "$qr_sha256  $tmp/$qr_tarball" | sha256sum --check --status; then
        echo "setup: $qr_tarball did not arrive whole (or its sha256 differs)" >&2
        rm -rf "$tmp"
        return 1
    fi
    mkdir -p "$deps"
    tar -xzf "$tmp/$qr_tarball" -C "$deps"
    rm -rf "$tmp"
}

if [ ! -f "$deps/QR-Code-generator-${qr_version}/c/qrcodegen.c" ]; then
    fetch_qrcodegen
fi
