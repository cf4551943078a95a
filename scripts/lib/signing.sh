# shellcheck shell=bash
# Authenticode signing for every script that writes an installer for players, so that all of them
# take the same options, the same environment and the same checks. Sourced, not run:
#
#   . "$root/scripts/lib/signing.sh"    # at the script's top level, before its arguments are shifted
#   signing_init release                 # the name its messages begin with
#   ... in the argument loop, before the script's own options:
#       if signing_option "$1" "${2-}"; then shift "$signing_shift"; continue; fi
#   signing_check                        # before any long work: fails on what cannot sign
#   signing_enabled && signing_sign IN OUT "Description"
#
# Options: --pkcs12 FILE, --password-file FILE, --url URL, --timestamp-url URL. Environment twins:
# TAZEL_SIGN_PKCS12, TAZEL_SIGN_PASSWORD_FILE, TAZEL_SIGN_URL, TAZEL_TIMESTAMP_URL. The password
# comes from TAZEL_SIGN_PASSWORD or from the password file's first line, never from the command
# line, where any user's `ps` would show it. It goes to osslsigncode through a pipe and into no
# child's environment.
#
# The password never reaches a trace, whatever turned xtrace on (bash -x, set -x, SHELLOPTS,
# BASH_ENV): only the few functions that hold it switch xtrace off, for their own body alone
# (`local -`), and nothing that holds it is ever a command's argument, which a trace would show.
# They also switch allexport off, so that the password is not exported either.

signing_name=sign
signing_pkcs12=${TAZEL_SIGN_PKCS12:-}
signing_password_file=${TAZEL_SIGN_PASSWORD_FILE:-}
signing_url=${TAZEL_SIGN_URL:-}
signing_timestamp_url=${TAZEL_TIMESTAMP_URL:-}
signing_shift=0
_signing_have_password=0

# A password on the command line is looked for here, while sourcing, by a loop whose trace shows
# no argument: handed to any function first, it would appear in the trace of that call.
_signing_password_argument=0
for _signing_argument in "$@"; do
    case $_signing_argument in
        --password | --password=* | --pass | --pass=* | -pass | -pass=*) _signing_password_argument=1 ;;
    esac
done
unset _signing_argument

signing_fail() {
    echo "$signing_name: $*" >&2
    exit 1
}

# Takes the password out of the environment at once, before anything is started that would
# inherit it. The variable that holds it is made afresh with allexport off, and so never exported.
signing_init() {
    signing_name=$1
    [ "$_signing_password_argument" = 0 ] ||
        signing_fail "a password on the command line is visible to every user; use TAZEL_SIGN_PASSWORD or --password-file"
    local -
    set +o xtrace +o allexport
    unset _signing_password
    _signing_password=""
    if [ -n "${TAZEL_SIGN_PASSWORD+set}" ]; then
        _signing_password=$TAZEL_SIGN_PASSWORD
        _signing_have_password=1
        unset TAZEL_SIGN_PASSWORD
    fi
}

# Takes one signing option and its value: status 0 with signing_shift set to the words taken,
# status 1 when the word is not a signing option.
signing_option() {
    case $1 in
        --pkcs12) signing_pkcs12=${2:?--pkcs12 needs a file} ;;
        --password-file) signing_password_file=${2:?--password-file needs a file} ;;
        --url) signing_url=${2:?--url needs a URL} ;;
        --timestamp-url) signing_timestamp_url=${2:?--timestamp-url needs a URL} ;;
        *) return 1 ;;
    esac
    # shellcheck disable=SC2034 # read by the sourcing script
    signing_shift=2
}

_signing_read_password_file() {
    local -
    set +o xtrace +o allexport
    IFS= read -r _signing_password <"$signing_password_file" || true # a last line without its newline is read all the same
    _signing_password=${_signing_password%$'\r'}
    _signing_have_password=1
}

# Everything that can be checked without the build.
signing_check() {
    if [ -n "$signing_pkcs12" ]; then
        [ -f "$signing_pkcs12" ] && [ -r "$signing_pkcs12" ] || signing_fail "cannot read the certificate file '$signing_pkcs12'"
        if [ -n "$signing_password_file" ]; then
            [ "$_signing_have_password" = 0 ] || signing_fail "give the password in TAZEL_SIGN_PASSWORD or in a file, not both"
            [ -f "$signing_password_file" ] && [ -r "$signing_password_file" ] || signing_fail "cannot read the password file '$signing_password_file'"
            _signing_read_password_file
        fi
        # An empty password is a password too, but it has to be given as one (TAZEL_SIGN_PASSWORD=).
        [ "$_signing_have_password" = 1 ] || signing_fail "the certificate's password is missing: set TAZEL_SIGN_PASSWORD or give --password-file"
        command -v osslsigncode >/dev/null || signing_fail "osslsigncode is not installed (scripts/setup.sh installs it)"
    elif [ -n "$signing_password_file" ] || [ "$_signing_have_password" = 1 ]; then
        signing_fail "a password was given but no certificate (--pkcs12 or TAZEL_SIGN_PKCS12)"
    fi
}

signing_enabled() {
    [ -n "$signing_pkcs12" ]
}

# Runs a command with the password as its standard input; its output and errors go to stdout.
# printf is a shell builtin: the password appears in no process's arguments.
_signing_with_password() {
    local -
    set +o xtrace +o allexport
    printf '%s\n' "$_signing_password" | "$@" 2>&1
}

# Writes OUT, IN signed under the given description. On failure it shows osslsigncode's words and
# returns 1; OUT may then be left half written.
signing_sign() {
    local sign=(osslsigncode sign -pkcs12 "$signing_pkcs12" -readpass /dev/stdin -h sha256 -n "$3")
    [ -n "$signing_url" ] && sign+=(-i "$signing_url")
    [ -n "$signing_timestamp_url" ] && sign+=(-ts "$signing_timestamp_url")
    sign+=(-in "$1" -out "$2")
    local log
    if ! log=$(_signing_with_password "${sign[@]}"); then
        printf '%s\n' "$log" | sed 's/^/  osslsigncode: /' >&2
        echo "$signing_name: signing failed (osslsigncode's words above): a wrong password or a damaged" \
             "certificate file${signing_timestamp_url:+ or no answer from the timestamp service}" >&2
        return 1
    fi
}

# How the last signing was done, for the script's closing line.
signing_summary() {
    echo "signed with ${signing_pkcs12##*/} (SHA-256${signing_timestamp_url:+, timestamped by $signing_timestamp_url})"
}

# Forgets the password once nothing needs it any more.
signing_done() {
    local -
    set +o xtrace +o allexport
    _signing_password=""
}
