#!/usr/bin/env bash
# Builds everything: the native part (core, unit tests, card art) and the Windows installer,
# once as the 32-bit product and once as its 64-bit twin for machines that cannot run 32-bit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
jobs=$(nproc)

bash "$root/scripts/setup.sh"

cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" -j "$jobs"
art="$build/native/tools/art/out"

for arch in i686 x86_64; do
    cmake -S "$root" -B "$build/win-$arch" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DTAZEL_ART_DIR="$art" >/dev/null
    cmake --build "$build/win-$arch" -j "$jobs"
done
echo "built: $build/win-i686/TazelDeck.exe"
