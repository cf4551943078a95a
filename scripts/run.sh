#!/usr/bin/env bash
# Builds the installer and runs it under Wine, as a player would, in a prefix of the project's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
exec python3 "$root/scripts/run_installer.py"
