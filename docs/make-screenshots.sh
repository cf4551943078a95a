#!/usr/bin/env bash
# Remakes window.png, message-box.png and publisher-window.png beside this script from the built
# installers, shown under Wine at 96 DPI by the window scenarios (their checks run as well; a
# failing check keeps the old pictures). Needs the Windows build: bash scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$root/tests/e2e/harness" &&
    TAZEL_E2E_DOCS="$out" python3 -m unittest -v test_window.WindowAt96Dpi.test_drawn_as_laid_out \
        test_window.PublisherWindow)
cp "$out/window.png" "$out/message-box.png" "$out/publisher-window.png" "$root/docs/"
echo "written: $root/docs/window.png $root/docs/message-box.png $root/docs/publisher-window.png"
