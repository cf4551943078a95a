#!/usr/bin/env bash
# Builds everything: the native part (core, unit tests, card art, the build's packer), the 32-bit
# Windows side (the installer's stubs, the product and the test packages packed from them, the
# Windows packer, the test programs), and last the Linux packer, which carries the Windows stub.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
jobs=$(nproc)

bash "$root/scripts/setup.sh"

cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" -j "$jobs"
art="$build/native/tools/art/out"

cmake -S "$root" -B "$build/win-i686" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTAZEL_ART_DIR="$art" \
    -DTAZEL_BUILD_PACKER="$build/native/packer/tazelpack-build" >/dev/null
cmake --build "$build/win-i686" -j "$jobs"

cmake --build "$build/native" --target tazelpack -j "$jobs"
echo "built: $build/win-i686/TazelDeck.exe"
echo "built: $build/native/packer/tazelpack and $build/win-i686/TazelPack.exe"
