#!/usr/bin/env bash
# Installs what is missing, builds both widths and runs every test under
# wine64 (on its own Xvfb display). Prints the CTest summary; exits non-zero
# when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root/build/win64"
ctest --output-on-failure --timeout 900 "$@"
