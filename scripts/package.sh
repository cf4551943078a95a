#!/usr/bin/env bash
# Makes the installer for one package description (docs/publishing.md) with the package
# maker, tazelpack, and writes it, Authenticode-signed when a certificate is given, with a
# SHA256SUMS file into a folder of its own. A bad description stops here with its problems, line
# by line, and nothing is written.
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
# (scripts/lib/folder.sh). The packer is the build's (build/native/packer/tazelpack), made first
# when it is not there; TAZEL_PACKER names another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/signing.sh
. "$root/scripts/lib/signing.sh"
signing_init package
# shellcheck source=scripts/lib/folder.sh
. "$root/scripts/lib/folder.sh"
build=${TAZEL_BUILD_DIR:-$root/build}
packer=${TAZEL_PACKER:-$build/native/packer/tazelpack}

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

# Everything that can be checked without the packer is checked before it.
signing_check
[ -x "$packer" ] || bash "$root/scripts/build.sh" >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The packer prints the problems, or what the player will see, on standard error.
if ! exe=$("$packer" "$description" ${sources:+--sources "$sources"} --out "$scratch" 2>"$scratch/said"); then
    cat "$scratch/said" >&2
    fail "nothing was written"
fi
cat "$scratch/said" >&2
file=$(basename "$exe")
name=${file%.exe}
# The signature names the package as the player reads it, from the packer's summary.
display_name=$(sed -n "s/^  the window's bottom line: \(.*\) Installation$/\1/p" "$scratch/said")
folder_init package "${out:-$build/packages/$name}" package

folder_begin
if signing_enabled; then
    signing_sign "$exe" "$folder_staging/$file" "${display_name:-$name}" || fail "no package was written"
    summary=$(signing_summary)
else
    echo "package: no certificate given (--pkcs12 or TAZEL_SIGN_PKCS12): the installer is NOT signed" >&2
    cp "$exe" "$folder_staging/$file"
    summary="unsigned"
fi
signing_done
# folder_begin's traps took over from the one above.
rm -rf "$scratch"
chmod 0644 "$folder_staging/$file"
(cd "$folder_staging" && sha256sum "$file" >SHA256SUMS)
folder_commit
echo "package: $folder_out/$file, $summary"
cat "$folder_out/SHA256SUMS"
