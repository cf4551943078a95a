#!/usr/bin/env bash
# Builds everything and runs every test: the core's unit tests, the card art checks, the
# checks of the built executable and the end-to-end scenarios under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
ctest --test-dir "$build/native" --output-on-failure -j "$(nproc)" "$@"
