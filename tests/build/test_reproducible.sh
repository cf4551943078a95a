#!/usr/bin/env bash
# Two clean builds of the same sources must give a byte-identical product.
set -euo pipefail
source_dir=$1 art_dir=$2 packer=$3 reference=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake -S "$source_dir" -B "$scratch" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" -DTAZEL_ART_DIR="$art_dir" \
    -DTAZEL_BUILD_PACKER="$packer" >/dev/null
cmake --build "$scratch" --target TazelDeck -j "$(nproc)" >/dev/null
first=$(sha256sum <"$reference" | cut -d' ' -f1)
second=$(sha256sum <"$scratch/TazelDeck.exe" | cut -d' ' -f1)
echo "first build:  $first"
echo "second build: $second"
[ "$first" = "$second" ]
