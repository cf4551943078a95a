#!/usr/bin/env bash
# Makes a release folder: the 32-bit TazelDeck.exe and the Windows package maker TazelPack.exe,
# both Authenticode-signed when a certificate is given, the Linux package maker tazelpack, the
# package maker's page in web/ (a static site, for any host), and a SHA256SUMS file of them all. The folder is assembled beside its place; an older release stays in
# its place until the new one is whole and is then swapped for it in one step.
#
#   bash scripts/release.sh [--pkcs12 FILE] [--password-file FILE] [--url URL] [--timestamp-url URL]
#                           [--out FOLDER] [--no-build]
#
# Each option may come from the environment instead: TAZEL_SIGN_PKCS12, TAZEL_SIGN_PASSWORD_FILE,
# TAZEL_SIGN_URL, TAZEL_TIMESTAMP_URL, TAZEL_RELEASE_DIR (default build/release). The password
# comes from TAZEL_SIGN_PASSWORD or from the password file's first line, never from the command
# line, where any user's `ps` would show it, and never reaches a trace (see scripts/lib/signing.sh,
# which holds the signing). TAZEL_RELEASE_EXE names another executable to release (the tests sign
# the build they can run); --no-build releases what was built last. The folder's swap is
# scripts/lib/folder.sh's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/signing.sh
. "$root/scripts/lib/signing.sh"
signing_init release
# shellcheck source=scripts/lib/folder.sh
. "$root/scripts/lib/folder.sh"
build=${TAZEL_BUILD_DIR:-$root/build}
product_name="Tazel Deck"

out=${TAZEL_RELEASE_DIR:-$build/release}
exe=${TAZEL_RELEASE_EXE:-$build/win-i686/TazelDeck.exe}
windows_packer=$build/win-i686/TazelPack.exe
linux_packer=$build/native/packer/tazelpack
# The page is the build's own; the coverage build, which makes none, names the shipped build's.
page=${TAZEL_WEB_SITE:-$build/web/site}
build_first=1

fail() {
    echo "release: $*" >&2
    exit 1
}

while [ $# -gt 0 ]; do
    if signing_option "$1" "${2-}"; then
        shift "$signing_shift"
        continue
    fi
    case $1 in
        --out) out=${2:?--out needs a folder}; shift 2 ;;
        --no-build) build_first=0; shift ;;
        *) fail "unknown argument '$1' (see the comment at the top of scripts/release.sh)" ;;
    esac
done

# Everything that can be checked without the build is checked before it.
signing_check
folder_init release "$out" release
out=$folder_out

if [ "$build_first" = 1 ]; then
    bash "$root/scripts/build.sh"
fi
for file in "$exe" "$windows_packer" "$linux_packer" "$page/index.html"; do
    [ -f "$file" ] || fail "$file is not built"
done

folder_begin
staging=$folder_staging
name=$(basename "$exe")

if signing_enabled; then
    signing_sign "$exe" "$staging/$name" "$product_name" || fail "no release was written"
    signing_sign "$windows_packer" "$staging/TazelPack.exe" "$product_name package maker" || fail "no release was written"
    summary=$(signing_summary)
else
    echo "release: no certificate given (--pkcs12 or TAZEL_SIGN_PKCS12): the release is NOT signed" >&2
    cp "$exe" "$staging/$name"
    cp "$windows_packer" "$staging/TazelPack.exe"
    summary="unsigned"
fi
signing_done
cp "$linux_packer" "$staging/tazelpack"
cp -R "$page" "$staging/web"
chmod 0644 "$staging/$name" "$staging/TazelPack.exe" "$staging"/web/*
chmod 0755 "$staging/tazelpack" "$staging/web"
(cd "$staging" && sha256sum "$name" TazelPack.exe tazelpack web/* >SHA256SUMS)
folder_commit
echo "release: $out/$name, the package makers TazelPack.exe and tazelpack and its page web/, $summary"
cat "$out/SHA256SUMS"
