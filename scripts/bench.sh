#!/usr/bin/env bash
# The benchmark (not a test; CI does not run it): builds, then measures the installer against a
# bare Win32 window under the same Wine, the packers against makensis, and the package maker's page
# in chromium beside them, and prints the tables, also kept in build/bench/results.md.
#
#   bash scripts/bench.sh [--no-build] [--rounds N] [--warmup N]
#
# The table says how the 32-bit programs ran here (natively, or emulated through qemu-user);
# timings of an emulated route mean little. Let it have the machine to itself: other work on
# the same cores shows up in every timing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
if [ "${1:-}" = "--no-build" ]; then
    shift
else
    bash "$root/scripts/build.sh"
fi
# The packing peer, NSIS, and GNU time, which reads the packers' peak memory, belong to the
# benchmark alone: never to the build or the tests.
if ! command -v makensis >/dev/null || [ ! -x /usr/bin/time ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nsis time >/dev/null
fi
export TAZEL_WIN_BUILD_ROOT=$build
export TAZEL_E2E_OUTPUT=${TAZEL_E2E_OUTPUT:-$build/bench/wine}
export TAZEL_E2E_WORK=${TAZEL_E2E_WORK:-/tmp/tazel-bench-work}
export PYTHONDONTWRITEBYTECODE=1
exec python3 "$root/bench/bench.py" "$@"
