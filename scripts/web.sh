#!/usr/bin/env bash
# Builds the package maker's page and serves it on this machine, printing its address; Ctrl-C
# stops it. It is served cross-origin isolated (the two headers its threads need); --no-isolation
# serves it as a host that cannot send them, where the page runs on one thread.
#
#   bash scripts/web.sh [--no-build] [--port N] [--no-isolation]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
build_first=1
server_options=()
while [ $# -gt 0 ]; do
    case $1 in
        --no-build) build_first=0; shift ;;
        --port) server_options+=(--port "${2:?--port needs a number}"); shift 2 ;;
        --no-isolation) server_options+=(--no-isolation); shift ;;
        *) echo "web: unknown argument '$1' (see the comment at the top of scripts/web.sh)" >&2; exit 2 ;;
    esac
done
if [ "$build_first" = 1 ]; then
    bash "$root/scripts/build.sh"
fi
[ -f "$build/web/site/index.html" ] || { echo "web: the page is not built in $build/web/site (it needs emscripten: scripts/setup.sh)" >&2; exit 1; }
exec python3 "$root/scripts/lib/pageserver.py" "$build/web/site" "${server_options[@]}"
