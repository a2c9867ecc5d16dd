#!/usr/bin/env bash
# Serves the phone's remote page (web/remote) on this machine, to try it in desktop Chrome or Edge,
# which open Bluetooth and USB serial ports from pages on http://localhost too. Nothing but
# Node.js is needed; it listens on 127.0.0.1 only.
#
#   scripts/serve-remote.sh [port]     default 8080; then open http://localhost:<port>/
#                                      (0 takes any free port, printed on start)
#   scripts/serve-remote.sh --help     this text
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"
port=${1:-8080}
if ! [[ $port =~ ^[0-9]+$ ]] || [ "$port" -gt 65535 ]; then
    echo "serve-remote.sh: the port must be a number up to 65535, not '$port'" >&2
    exit 2
fi
command -v node >/dev/null || { echo "serve-remote.sh: needs Node.js (scripts/setup.sh installs it)" >&2; exit 1; }
exec node web/server.mjs web/remote --port "$port"
