#!/usr/bin/env bash
# The coverage report (a tool, not a test): builds an instrumented copy of the core and of the
# 32-bit installer with its test packages in build/coverage/, runs the unit tests and every
# end-to-end scenario against it, and writes build/coverage/report.md: the lines of core/,
# platform/, payload/, ui/ and host/ that the tests execute, and every one they do not, with
# the reason given in tools/coverage/reasons.txt. The shipped build in build/win-i686 is not touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shipped=${TAZEL_BUILD_DIR:-$root/build}
out=$shipped/coverage
jobs=$(nproc)

bash "$root/scripts/setup.sh"
# The signed-release scenario's release carries the package maker's page: the shipped build's,
# built first where it is not, as this build makes none of its own.
export TAZEL_WEB_SITE=$shipped/web/site
[ -f "$TAZEL_WEB_SITE/index.html" ] || bash "$root/scripts/build.sh"

cmake -S "$root" -B "$out/native" -DCMAKE_BUILD_TYPE=Release -DTAZEL_COVERAGE=ON >/dev/null
cmake --build "$out/native" -j "$jobs"
cmake -S "$root" -B "$out/win-i686" -DCMAKE_BUILD_TYPE=MinSizeRel -DTAZEL_COVERAGE=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTAZEL_ART_DIR="$out/native/tools/art/out" \
    -DTAZEL_BUILD_PACKER="$out/native/packer/tazelpack-build" >/dev/null
cmake --build "$out/win-i686" -j "$jobs"
# The signed-release scenario releases this build, and a release carries the Linux packer too,
# which carries the Windows build's stub (as in scripts/build.sh).
cmake --build "$out/native" --target tazelpack -j "$jobs"

# Counters of an earlier run would add to this one's.
find "$out/native" "$out/win-i686" -name '*.gcda' -delete
rm -rf "$out/counters" "$out/native/tests/e2e/output"
mkdir -p "$out/counters"

# A failing test still leaves its counters; the report names the failures.
"$out/native/tests/core/tazel_core_tests" --gtest_brief=1 >"$out/unit-tests.log" 2>&1 &&
    unit_status=0 || unit_status=$?
# The native build's end-to-end tests run the Windows build beside it, build/coverage/win-i686.
TAZEL_E2E_COVERAGE="$out/counters" ctest --test-dir "$out/native" -L e2e -j "$jobs" --output-on-failure \
    >"$out/e2e-tests.log" 2>&1 && e2e_status=0 || e2e_status=$?

# Fails, after writing the report, when a test failed: its figure is not the tests' figure then.
python3 "$root/tools/coverage/report.py" --source "$root" --build "$out" \
    --unit-status "$unit_status" --e2e-status "$e2e_status"
