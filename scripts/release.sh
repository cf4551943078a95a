#!/usr/bin/env bash
# Makes a release folder: the 32-bit TazelDeck.exe, Authenticode-signed when a certificate is
# given, and a SHA256SUMS file. The folder appears whole or not at all: it is assembled in a
# temporary folder beside it and renamed into place at the end.
#
#   bash scripts/release.sh [--pkcs12 FILE] [--password-file FILE] [--url URL] [--timestamp-url URL]
#                           [--out FOLDER] [--no-build]
#
# Each option may come from the environment instead: TAZEL_SIGN_PKCS12, TAZEL_SIGN_PASSWORD_FILE,
# TAZEL_SIGN_URL, TAZEL_TIMESTAMP_URL, TAZEL_RELEASE_DIR (default build/release). The password
# comes from TAZEL_SIGN_PASSWORD or from the password file's first line, never from the command
# line, where any user's `ps` would show it. TAZEL_RELEASE_EXE names another executable to release
# (the tests sign the build they can run); --no-build releases what was built last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
product_name="Tazel Deck"

pkcs12=${TAZEL_SIGN_PKCS12:-}
password_file=${TAZEL_SIGN_PASSWORD_FILE:-}
url=${TAZEL_SIGN_URL:-}
timestamp_url=${TAZEL_TIMESTAMP_URL:-}
out=${TAZEL_RELEASE_DIR:-$build/release}
exe=${TAZEL_RELEASE_EXE:-$build/win-i686/TazelDeck.exe}
build_first=1

fail() {
    echo "release: $*" >&2
    exit 1
}

while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12) pkcs12=${2:?--pkcs12 needs a file}; shift 2 ;;
        --password-file) password_file=${2:?--password-file needs a file}; shift 2 ;;
        --url) url=${2:?--url needs a URL}; shift 2 ;;
        --timestamp-url) timestamp_url=${2:?--timestamp-url needs a URL}; shift 2 ;;
        --out) out=${2:?--out needs a folder}; shift 2 ;;
        --no-build) build_first=0; shift ;;
        --password | --pass | -pass) fail "a password on the command line is visible to every user; use TAZEL_SIGN_PASSWORD or --password-file" ;;
        *) fail "unknown argument '$1' (see the comment at the top of scripts/release.sh)" ;;
    esac
done

# The password is read here and handed to the signing tool through a pipe; it goes into no
# child's environment.
password=""
have_password=0
if [ -n "${TAZEL_SIGN_PASSWORD+set}" ]; then
    password=$TAZEL_SIGN_PASSWORD
    have_password=1
    unset TAZEL_SIGN_PASSWORD
fi

# Everything that can be checked without the build is checked before it.
if [ -n "$pkcs12" ]; then
    [ -f "$pkcs12" ] && [ -r "$pkcs12" ] || fail "cannot read the certificate file '$pkcs12'"
    if [ -n "$password_file" ]; then
        [ "$have_password" = 0 ] || fail "give the password in TAZEL_SIGN_PASSWORD or in a file, not both"
        [ -f "$password_file" ] && [ -r "$password_file" ] || fail "cannot read the password file '$password_file'"
        IFS= read -r password <"$password_file" || true # a last line without its newline is read all the same
        password=${password%$'\r'}
        have_password=1
    fi
    # An empty password is a password too, but it has to be given as one (TAZEL_SIGN_PASSWORD=).
    [ "$have_password" = 1 ] || fail "the certificate's password is missing: set TAZEL_SIGN_PASSWORD or give --password-file"
    command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (scripts/setup.sh installs it)"
elif [ -n "$password_file" ] || [ "$have_password" = 1 ]; then
    fail "a password was given but no certificate (--pkcs12 or TAZEL_SIGN_PKCS12)"
fi

if [ "$build_first" = 1 ]; then
    bash "$root/scripts/build.sh"
fi
[ -f "$exe" ] || fail "$exe is not built"

out=$(realpath -m "$out")
mkdir -p "$(dirname "$out")"
staging=$(mktemp -d "$out.partial.XXXXXX")
trap 'rm -rf "$staging"' EXIT
name=$(basename "$exe")

if [ -n "$pkcs12" ]; then
    sign=(osslsigncode sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256 -n "$product_name")
    [ -n "$url" ] && sign+=(-i "$url")
    [ -n "$timestamp_url" ] && sign+=(-ts "$timestamp_url")
    sign+=(-in "$exe" -out "$staging/$name")
    # printf is a shell builtin: the password appears in no process's arguments.
    if ! log=$(printf '%s\n' "$password" | "${sign[@]}" 2>&1); then
        printf '%s\n' "$log" | sed 's/^/  osslsigncode: /' >&2
        fail "signing failed (osslsigncode's words above): a wrong password or a damaged certificate file" \
             "${timestamp_url:+or no answer from the timestamp service }- no release was written"
    fi
    summary="signed with $(basename "$pkcs12") (SHA-256${timestamp_url:+, timestamped by $timestamp_url})"
else
    echo "release: no certificate given (--pkcs12 or TAZEL_SIGN_PKCS12): the release is NOT signed" >&2
    cp "$exe" "$staging/$name"
    summary="unsigned"
fi
password=""
chmod 0644 "$staging/$name"
(cd "$staging" && sha256sum "$name" >SHA256SUMS)
chmod 0755 "$staging"

# An older release of the same folder is put aside first and removed once the new one is in place.
if [ -e "$out" ]; then
    previous=$(mktemp -d "$out.previous.XXXXXX")
    mv -T "$out" "$previous/release"
    mv -T "$staging" "$out"
    rm -rf "$previous"
else
    mv -T "$staging" "$out"
fi
trap - EXIT
echo "release: $out/$name, $summary"
cat "$out/SHA256SUMS"
