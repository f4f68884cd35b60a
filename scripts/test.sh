#!/usr/bin/env bash
# Installs what is missing, builds both widths and the native portal tools, runs the fuzz targets briefly
# (natively) and every test under wine64 (on its own Xvfb display). Prints the
# CTest summary and writes build/win64/test-times.txt; exits non-zero when
# anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
"$root/scripts/build-host.sh"
# The fuzz targets run natively, not under Wine; a finding fails the run
# after CTest has run as well.
fuzz_status=0
"$root/scripts/fuzz.sh" || fuzz_status=$?
# The portal tools' native tests need no Wine; a failure there fails the run
# after the Wine tests have run as well.
host_status=0
if [ -n "$(ctest --test-dir "$root/build/host" -N 2>/dev/null | grep -E '^ +Test +#')" ]; then
  ctest --test-dir "$root/build/host" --output-on-failure || host_status=$?
fi
"$root/scripts/run-ctest.sh" "$root/build/win64" "$@"
if [ $host_status -ne 0 ]; then
  echo "test: the portal tools' native tests failed (see above)" >&2
  exit $host_status
fi
if [ $fuzz_status -ne 0 ]; then
  echo "test: the fuzz targets found faults (see fuzz: above)" >&2
  exit $fuzz_status
fi
