#!/usr/bin/env bash
# Builds the installer for one package description (docs/package-description.md) with the
# product's toolchain and link options, and writes it, Authenticode-signed when a certificate is
# given, with a SHA256SUMS file into a folder of its own. The description is checked before
# anything is built; a bad one stops here with its problems, line by line.
#
#   bash scripts/package.sh DESCRIPTION [--sources FOLDER] [--out FOLDER]
#                           [--pkcs12 FILE] [--password-file FILE] [--url URL] [--timestamp-url URL]
#
# --sources  the folder the description's sources are relative to (default: the description's)
# --out      where the installer and SHA256SUMS go (default: build/packages/<installer name>)
#
# Signing is scripts/release.sh's, with the same options, environment twins (TAZEL_SIGN_PKCS12,
# TAZEL_SIGN_PASSWORD_FILE, TAZEL_SIGN_URL, TAZEL_TIMESTAMP_URL) and password rules
# (scripts/lib/signing.sh); the signature names the package by its display name. The folder
# appears whole or not at all, and an older one is replaced only by a whole new one
# (scripts/lib/folder.sh). The package's own build is build/package-build/<installer name>; the
# window picture and the icon are the card art of the native build (build/native), made first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/signing.sh
. "$root/scripts/lib/signing.sh"
signing_init package
# shellcheck source=scripts/lib/folder.sh
. "$root/scripts/lib/folder.sh"
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
    if signing_option "$1" "${2-}"; then
        shift "$signing_shift"
        continue
    fi
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

# Everything that can be checked without the build is checked before it.
signing_check
bash "$root/scripts/setup.sh"
# Prints the problems, or what the player will see; gives the installer name and the display name.
if ! checked=$(python3 "$tool" check "$description" ${sources:+--sources "$sources"}); then
    fail "nothing was built"
fi
name=${checked%%$'\n'*}
display_name=${checked#*$'\n'}
folder_init package "${out:-$build/packages/$name}" package

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

folder_begin
file=$(basename "$exe")
if signing_enabled; then
    signing_sign "$exe" "$folder_staging/$file" "$display_name" || fail "no package was written"
    summary=$(signing_summary)
else
    echo "package: no certificate given (--pkcs12 or TAZEL_SIGN_PKCS12): the installer is NOT signed" >&2
    cp "$exe" "$folder_staging/$file"
    summary="unsigned"
fi
signing_done
chmod 0644 "$folder_staging/$file"
(cd "$folder_staging" && sha256sum "$file" >SHA256SUMS)
folder_commit
echo "package: $folder_out/$file, $summary"
cat "$folder_out/SHA256SUMS"
