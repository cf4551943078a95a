#!/usr/bin/env bash
# Makes a release folder: the 32-bit TazelDeck.exe, Authenticode-signed when a certificate is
# given, and a SHA256SUMS file. The folder is assembled beside its place; an older release stays in
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
# the build they can run); --no-build releases what was built last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib/signing.sh
. "$root/scripts/lib/signing.sh"
signing_init release
build=${TAZEL_BUILD_DIR:-$root/build}
product_name="Tazel Deck"

out=${TAZEL_RELEASE_DIR:-$build/release}
exe=${TAZEL_RELEASE_EXE:-$build/win-i686/TazelDeck.exe}
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
out=$(realpath -m "$out")
[ ! -e "$out" ] || [ -d "$out" ] || fail "'$out' is there and is not a folder; no release replaces it"

if [ "$build_first" = 1 ]; then
    bash "$root/scripts/build.sh"
fi
[ -f "$exe" ] || fail "$exe is not built"

# Swaps two paths in one step (renameat2 with RENAME_EXCHANGE, Linux 3.15 and glibc 2.28 or
# later). Status 2, with nothing changed, where the system or the file system offers no such swap.
swap_in_one_step() {
    command -v python3 >/dev/null || return 2
    # Where SHELLOPTS is exported, a shell-script wrapper around python3 (pyenv's shim) would
    # inherit this script's -eu; the variable is read-only here, so it is dropped for the child.
    env -u SHELLOPTS python3 - "$1" "$2" <<'EOF'
import ctypes, errno, os, sys

libc = ctypes.CDLL(None, use_errno=True)
renameat2 = getattr(libc, "renameat2", None)
if renameat2 is None:
    sys.exit(2)
renameat2.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_uint]
AT_FDCWD, RENAME_EXCHANGE = -100, 2
first, second = (os.fsencode(path) for path in sys.argv[1:3])
if renameat2(AT_FDCWD, first, AT_FDCWD, second, RENAME_EXCHANGE) == 0:
    sys.exit(0)
error = ctypes.get_errno()
if error in (errno.EINVAL, errno.ENOSYS, errno.EOPNOTSUPP):
    sys.exit(2)
print(f"release: cannot swap {sys.argv[1]} and {sys.argv[2]}: {os.strerror(error)}", file=sys.stderr)
sys.exit(1)
EOF
}

# Only where the swap is not offered does an older release leave its place, for the moment between
# two renames; it waits here and is put back by finish if the script ends in between.
staging=""
aside=""
finish() {
    trap '' INT TERM HUP # a second Ctrl-C must not cut the putting back short
    if [ -n "$aside" ] && [ -e "$aside" ] && [ ! -e "$out" ]; then
        if mv -T "$aside" "$out"; then
            echo "release: the older release is back in $out" >&2
        else
            echo "release: the older release could not be put back; it is in $aside" >&2
            aside=""
        fi
    fi
    rm -rf ${staging:+"$staging"} ${aside:+"$aside"}
}
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$(dirname "$out")"
staging=$(mktemp -d "$out.partial.XXXXXX")
name=$(basename "$exe")

if signing_enabled; then
    signing_sign "$exe" "$staging/$name" "$product_name" || fail "no release was written"
    summary=$(signing_summary)
else
    echo "release: no certificate given (--pkcs12 or TAZEL_SIGN_PKCS12): the release is NOT signed" >&2
    cp "$exe" "$staging/$name"
    summary="unsigned"
fi
signing_done
chmod 0644 "$staging/$name"
(cd "$staging" && sha256sum "$name" >SHA256SUMS)
chmod 0755 "$staging"

if [ -e "$out" ]; then
    # After the swap the older release is in the staging folder, which finish removes.
    status=0
    swap_in_one_step "$staging" "$out" || status=$?
    case $status in
        0) ;;
        2)
            aside=$staging.previous
            mv -T "$out" "$aside"
            mv -T "$staging" "$out"
            ;;
        *) fail "the new release could not take the older one's place; the older one stays as it was" ;;
    esac
else
    mv -T "$staging" "$out"
fi
finish
trap - EXIT HUP INT TERM
echo "release: $out/$name, $summary"
cat "$out/SHA256SUMS"
