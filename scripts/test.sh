#!/usr/bin/env bash
# Installs what is missing, builds both widths and the native portal tools, runs the fuzz targets briefly
# (natively), every test of the 64-bit build under wine64 and those of the
# 32-bit build under the WoW64 Wine (scripts/wine-wow64.sh), each on its own
# Xvfb display. Prints the CTest summaries and writes test-times.txt in each
# build folder; exits non-zero when anything fails.
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
w64_status=0
"$root/scripts/run-ctest.sh" "$root/build/win64" "$@" || w64_status=$?
# The 32-bit build is the one players get: its test programs, the engine,
# swarm and publishing scenarios run too. The stories judge the page by its
# pixels and run in the 64-bit build only (tests/platform/).
w32_status=0 w32_skipped=""
wine_status=0
"$root/scripts/wine-wow64.sh" || wine_status=$?
if [ $wine_status -eq 0 ]; then
  "$root/scripts/run-ctest.sh" "$root/build/win32" "$@" || w32_status=$?
elif [ $wine_status -eq 3 ]; then
  w32_skipped=1
else
  w32_status=$wine_status
fi
# What a player downloads first: the shipped program's parts and size.
"$root/scripts/sizes.sh" "$root/build/win32" || true
[ $w64_status -eq 0 ] || exit $w64_status
[ $w32_status -eq 0 ] || { echo "test: the 32-bit build's tests failed (see above)" >&2; exit $w32_status; }
if [ $host_status -ne 0 ]; then
  echo "test: the portal tools' native tests failed (see above)" >&2
  exit $host_status
fi
if [ $fuzz_status -ne 0 ]; then
  echo "test: the fuzz targets found faults (see fuzz: above)" >&2
  exit $fuzz_status
fi
if [ -n "$w32_skipped" ]; then
  echo "test: THE 32-BIT BUILD WAS NOT RUN: no WoW64 Wine here (scripts/wine-wow64.sh says how to get one above)" >&2
fi
