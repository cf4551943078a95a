#!/usr/bin/env bash
# Builds everything: the native part (core, unit tests, card art) and the 32-bit Windows installer
# with its test packages and test programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
jobs=$(nproc)

bash "$root/scripts/setup.sh"

cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" -j "$jobs"
art="$build/native/tools/art/out"

cmake -S "$root" -B "$build/win-i686" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTAZEL_ART_DIR="$art" >/dev/null
cmake --build "$build/win-i686" -j "$jobs"
echo "built: $build/win-i686/TazelDeck.exe"
