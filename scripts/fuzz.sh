#!/usr/bin/env bash
# Fuzzing campaigns on the readers of bytes from outside (tests/fuzz), built with clang++-14 and
# libFuzzer in build/fuzz.
#
#     bash scripts/fuzz.sh [TARGET] [--seconds N]   a campaign of N seconds (600) on TARGET, or on
#                                                   each target in turn
#     bash scripts/fuzz.sh [TARGET] --merge [DIR]   the tree's corpus minimised together with DIR
#                                                   (build/fuzz/seeds/TARGET, tests/fuzz/make_seeds.py)
#     bash scripts/fuzz.sh TARGET --seconds N --regression
#                                                   what CTest runs: built already, from the tree's
#                                                   corpus alone, a fresh scratch corpus
#
# A campaign starts from the tree's corpus (tests/fuzz/corpus/TARGET) and what earlier campaigns
# found (build/fuzz/corpus/TARGET), and adds its finds there, never to the tree. A crash, leak,
# slow input (over 1 s) or memory past 256 MB stops it, the input in build/fuzz/artifacts/. It
# ends with its executions a second, its coverage (libFuzzer's cov and ft), its peak resident
# memory and the slowest input of its corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAZEL_BUILD_DIR:-$root/build}
fuzz=$build/fuzz
all=(description art stub record coded_entry image_reader resources)

targets=() seconds=600 mode=campaign merge_from=""
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds=$2; shift ;;
    --regression) mode=regression ;;
    --merge) mode=merge; if [ $# -gt 1 ] && [ "${2#--}" = "$2" ]; then merge_from=$2; shift; fi ;;
    -*) echo "fuzz: unknown option $1 (see scripts/fuzz.sh)" >&2; exit 2 ;;
    *) [[ " ${all[*]} " == *" $1 "* ]] || { echo "fuzz: no target $1; the targets: ${all[*]}" >&2; exit 2; }
       targets+=("$1") ;;
    esac
    shift
done
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

# The native build builds the targets for CTest; a campaign builds them itself, one build at a time.
if [ "$mode" != regression ]; then
    bash "$root/scripts/setup.sh"
    mkdir -p "$fuzz"
    flock "$fuzz/.build-lock" sh -c "cmake -S '$root/tests/fuzz' -B '$fuzz' -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_C_COMPILER=clang-14 >/dev/null && cmake --build '$fuzz' -j '$(nproc)' >/dev/null"
fi

limits=(-rss_limit_mb=256 -timeout=1)

# The tree's corpus of the target and DIR minimised into one: the inputs that add coverage. An
# input that showed a finding (finding-*) stays as it is, whatever it adds.
merge() {
    local target=$1 from=${merge_from:-$fuzz/seeds/$1} seeds=$root/tests/fuzz/corpus/$1 merged
    if [ ! -d "$from" ]; then
        echo "fuzz: no folder $from to merge (tests/fuzz/make_seeds.py makes the seeds)" >&2
        return 1
    fi
    merged=$(mktemp -d)
    mkdir -p "$seeds"
    "$fuzz/fuzz_$target" -merge=1 "${limits[@]}" "$merged" "$seeds" "$from" >"$fuzz/logs/$target-merge.log" 2>&1
    find "$seeds" -type f ! -name 'finding-*' -delete
    cp "$merged"/* "$seeds"/ 2>/dev/null || true
    rm -rf "$merged"
    echo "$target: $(find "$seeds" -type f | wc -l) inputs of $(cat "$seeds"/* | wc -c) bytes in" \
         "tests/fuzz/corpus/$target"
}

campaign() {
    local target=$1 scratch=$fuzz/corpus/$1 log=$fuzz/logs/$1.log options status=0
    if [ "$mode" = regression ]; then
        scratch=$fuzz/regression/$target
        rm -rf "$scratch"
    fi
    mkdir -p "$scratch" "$fuzz/artifacts"
    options=("${limits[@]}" -max_total_time="$seconds" -print_final_stats=1
             -artifact_prefix="$fuzz/artifacts/$target-")
    [ -f "$root/tests/fuzz/$target.dict" ] && options+=(-dict="$root/tests/fuzz/$target.dict")
    echo "$target: $seconds s from $(date +%T), load $(cut -d' ' -f1-3 /proc/loadavg)"
    local corpora=("$scratch")
    [ -d "$root/tests/fuzz/corpus/$target" ] && corpora+=("$root/tests/fuzz/corpus/$target")
    "$fuzz/fuzz_$target" "${options[@]}" "${corpora[@]}" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        grep -E '^(==|SUMMARY|.*check failed|artifact_prefix)' "$log" | tail -n 20 >&2
        echo "$target: FAILED (status $status): $log" >&2
        return $status
    fi
    local last
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    echo "$target: $(sed -n 's/^stat::average_exec_per_sec: *//p' "$log") exec/s," \
         "cov $(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")," \
         "ft $(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")," \
         "peak RSS $(sed -n 's/^stat::peak_rss_mb: *//p' "$log") MB, load $(cut -d' ' -f1-3 /proc/loadavg)"
    [ "$mode" = regression ] && return 0
    # Each input of the corpus once more, timed one by one.
    local slowest
    slowest=$(find "${corpora[@]}" -type f -print0 |
              xargs -0 "$fuzz/fuzz_$target" "${limits[@]}" 2>&1 |
              sed -n 's/^Executed \(.*\) in \([0-9]*\) ms$/\2 ms: \1/p' | sort -n | tail -n 1)
    echo "$target: slowest input of its corpus $slowest"
}

mkdir -p "$fuzz/logs"
failed=0
for target in "${targets[@]}"; do
    if [ "$mode" = merge ]; then
        merge "$target"
    else
        campaign "$target" || failed=1
    fi
done
exit $failed
