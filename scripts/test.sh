#!/usr/bin/env bash
# Installs what is missing, builds both widths, runs the fuzz targets briefly
# (natively) and every test under wine64 (on its own Xvfb display). Prints the
# CTest summary and writes build/win64/test-times.txt; exits non-zero when
# anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# The fuzz targets run natively, not under Wine; a finding fails the run
# after CTest has run as well.
fuzz_status=0
"$root/scripts/fuzz.sh" || fuzz_status=$?
"$root/scripts/run-ctest.sh" "$root/build/win64" "$@"
if [ $fuzz_status -ne 0 ]; then
  echo "test: the fuzz targets found faults (see fuzz: above)" >&2
  exit $fuzz_status
fi
