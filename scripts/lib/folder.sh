# shellcheck shell=bash
# The output folder of every script that writes installers for players: it appears whole or not at
# all. It is assembled beside its place; an older one stays in its place until the new one is
# whole and is then swapped for it in one step, never lost. Sourced, not run:
#
#   . "$root/scripts/lib/folder.sh"
#   folder_init release "$out" release   # the name messages begin with, the folder, what it holds;
#                                        # before any long work: fails when OUT is not a folder
#   folder_begin                         # makes "$folder_staging" beside the folder; sets the traps
#   ... write into "$folder_staging" ...
#   folder_commit                        # puts it in the folder's place
#
# folder_out is the folder's absolute path after folder_init. The script's own exit, failure or
# Ctrl-C between folder_begin and folder_commit removes the staging folder and leaves any older one.

folder_name=""
folder_out=""
folder_what=""
folder_staging=""
_folder_aside=""

_folder_fail() {
    echo "$folder_name: $*" >&2
    exit 1
}

folder_init() {
    folder_name=$1
    folder_out=$(realpath -m "$2")
    folder_what=$3
    [ ! -e "$folder_out" ] || [ -d "$folder_out" ] ||
        _folder_fail "'$folder_out' is there and is not a folder; no $folder_what replaces it"
}

# Swaps two paths in one step (renameat2 with RENAME_EXCHANGE, Linux 3.15 and glibc 2.28 or
# later). Status 2, with nothing changed, where the system or the file system offers no such swap.
_folder_swap_in_one_step() {
    command -v python3 >/dev/null || return 2
    # Where SHELLOPTS is exported, a shell-script wrapper around python3 (pyenv's shim) would
    # inherit the script's -eu; the variable is read-only here, so it is dropped for the child.
    env -u SHELLOPTS python3 - "$1" "$2" "$folder_name" <<'EOF'
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
print(f"{sys.argv[3]}: cannot swap {sys.argv[1]} and {sys.argv[2]}: {os.strerror(error)}", file=sys.stderr)
sys.exit(1)
EOF
}

# Only where the swap is not offered does an older folder leave its place, for the moment between
# two renames; it waits here and is put back if the script ends in between.
_folder_finish() {
    trap '' INT TERM HUP # a second Ctrl-C must not cut the putting back short
    if [ -n "$_folder_aside" ] && [ -e "$_folder_aside" ] && [ ! -e "$folder_out" ]; then
        if mv -T "$_folder_aside" "$folder_out"; then
            echo "$folder_name: the older $folder_what is back in $folder_out" >&2
        else
            echo "$folder_name: the older $folder_what could not be put back; it is in $_folder_aside" >&2
            _folder_aside=""
        fi
    fi
    rm -rf ${folder_staging:+"$folder_staging"} ${_folder_aside:+"$_folder_aside"}
}

folder_begin() {
    trap _folder_finish EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    mkdir -p "$(dirname "$folder_out")"
    folder_staging=$(mktemp -d "$folder_out.partial.XXXXXX")
}

folder_commit() {
    chmod 0755 "$folder_staging"
    if [ -e "$folder_out" ]; then
        # After the swap the older folder is in the staging folder, which _folder_finish removes.
        local status=0
        _folder_swap_in_one_step "$folder_staging" "$folder_out" || status=$?
        case $status in
            0) ;;
            2)
                _folder_aside=$folder_staging.previous
                mv -T "$folder_out" "$_folder_aside"
                mv -T "$folder_staging" "$folder_out"
                ;;
            *) _folder_fail "the new $folder_what could not take the older one's place; the older one stays as it was" ;;
        esac
    else
        mv -T "$folder_staging" "$folder_out"
    fi
    _folder_finish
    trap - EXIT HUP INT TERM
}
