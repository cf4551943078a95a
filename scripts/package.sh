#!/usr/bin/env bash
# Builds the installer for one package description (docs/package-description.md) with the
# product's toolchain and link options, and writes it with a SHA256SUMS file into a folder of its
# own. The description is checked before anything is built; a bad one stops here with its
# problems, line by line.
#
#   bash scripts/package.sh DESCRIPTION [--sources FOLDER] [--out FOLDER]
#
# --sources  the folder the description's sources are relative to (default: the description's)
# --out      where the installer and SHA256SUMS go (default: build/packages/<installer name>); the
#            folder appears whole or not at all, an older one is replaced
#
# The package's own build is build/package-build/<installer name>; the window picture and the
# icon are the card art of the native build (build/native), which is made first when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
tool=$root/tools/package/package_description.py

description=""
sources=""
out=""

fail() {
    echo "package: $*" >&2
    exit 1
}

while [ $# -gt 0 ]; do
    case $1 in
        --sources) sources=${2:?--sources needs a folder}; shift 2 ;;
        --out) out=${2:?--out needs a folder}; shift 2 ;;
        -*) fail "unknown option '$1' (see the comment at the top of scripts/package.sh)" ;;
        *) [ -z "$description" ] || fail "one description at a time ('$description' and '$1')"
           description=$1; shift ;;
    esac
done
[ -n "$description" ] || fail "which package? bash scripts/package.sh path/to/description [--out FOLDER]"
[ -f "$description" ] || fail "no description file '$description'"
description=$(realpath -s "$description")
if [ -n "$sources" ]; then
    [ -d "$sources" ] || fail "no sources folder '$sources'"
    sources=$(realpath -s "$sources")
fi

bash "$root/scripts/setup.sh"

# Prints the problems, or what the player will see, and gives the installer name.
if ! name=$(python3 "$tool" check "$description" ${sources:+--sources "$sources"}); then
    fail "nothing was built"
fi
jobs=$(nproc)

cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" --target tazel_art_files -j "$jobs"

package_build=$build/package-build/$name
cmake -S "$root" -B "$package_build" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTAZEL_ART_DIR="$build/native/tools/art/out" \
    -DTAZEL_PACKAGE_DESCRIPTION="$description" -DTAZEL_PACKAGE_SOURCES="$sources" >/dev/null
cmake --build "$package_build" --target tazel_package -j "$jobs"
exe=$(<"$package_build/installer-path.txt")
[ -f "$exe" ] || fail "the build left no installer at $exe"

out=$(realpath -m "${out:-$build/packages/$name}")
mkdir -p "$(dirname "$out")"
staging=$(mktemp -d "$out.partial.XXXXXX")
trap 'rm -rf "$staging"' EXIT
file=$(basename "$exe")
cp "$exe" "$staging/$file"
summary="unsigned"
chmod 0644 "$staging/$file"
(cd "$staging" && sha256sum "$file" >SHA256SUMS)
chmod 0755 "$staging"

if [ -e "$out" ]; then
    previous=$(mktemp -d "$out.previous.XXXXXX")
    mv -T "$out" "$previous/package"
    mv -T "$staging" "$out"
    rm -rf "$previous"
else
    mv -T "$staging" "$out"
fi
trap - EXIT
echo "package: $out/$file, $summary"
cat "$out/SHA256SUMS"
