#!/usr/bin/env bash
# Installs what is missing, builds both widths, runs the fuzz targets briefly
# (natively) and every test under wine64 (on its own Xvfb display). Prints the
# CTest summary; exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# The fuzz targets run natively, not under Wine; a finding fails the run
# after CTest has run as well.
fuzz_status=0
"$root/scripts/fuzz.sh" || fuzz_status=$?
cd "$root/build/win64"
ctest --output-on-failure --timeout 900 "$@"
if [ $fuzz_status -ne 0 ]; then
  echo "test: the fuzz targets found faults (see fuzz: above)" >&2
  exit $fuzz_status
fi
