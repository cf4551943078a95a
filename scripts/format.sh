#!/usr/bin/env bash
# Lays out every C and C++ source of the tree by .clang-format, with Debian's clang-format 14.
# --check changes nothing: it names each source laid out otherwise, and fails (CI runs it).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

FORMAT=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$FORMAT" ]; then
    echo "format.sh: no clang-format here; bash scripts/setup.sh installs it" >&2
    exit 1
fi
mapfile -t SOURCES < <(find core packer platform payload ui host resources tools tests bench \
    \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -type f | sort)

case "${1:-}" in
"")
    "$FORMAT" -i "${SOURCES[@]}"
    ;;
--check)
    differing=()
    for source in "${SOURCES[@]}"; do
        "$FORMAT" --dry-run --Werror "$source" 2>/dev/null || differing+=("$source")
    done
    if [ ${#differing[@]} -gt 0 ]; then
        printf 'laid out otherwise than .clang-format says: %s\n' "${differing[@]}" >&2
        echo "bash scripts/format.sh lays them out" >&2
        exit 1
    fi
    echo "${#SOURCES[@]} sources laid out as .clang-format says"
    ;;
*)
    echo "usage: bash scripts/format.sh [--check]" >&2
    exit 2
    ;;
esac
