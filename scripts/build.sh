#!/usr/bin/env bash
# Builds everything: the native part (core, unit tests, card art, the build's packer), the 32-bit
# Windows side (the installer's stubs, the product and the test packages packed from them, the
# Windows packer, the test programs), then the Linux packer, which carries the Windows stub, and
# last the package maker's page, whose module carries it too.
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

# The package maker's page, with emscripten (scripts/setup.sh installs it): its module carries the
# Windows build's stubs and the native build's art, as tazelpack does. Debian's emscripten finds
# its JavaScript tools through NODE_PATH.
if command -v emcmake >/dev/null; then
    export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
    emcmake cmake -S "$root" -B "$build/web" -DCMAKE_BUILD_TYPE=Release -DTAZEL_ART_DIR="$art" \
        -DTAZEL_WIN_BUILD_ROOT="$build" >/dev/null
    cmake --build "$build/web" -j "$jobs"
    echo "built: $build/web/site, the package maker's page (bash scripts/web.sh serves it)"
else
    echo "build: no emscripten (scripts/setup.sh installs it): the package maker's page is not built" >&2
fi
