#!/usr/bin/env bash
# Runs CTest in a build folder and records how long each test program took in
# <build>/test-times.txt. Extra arguments go to ctest.
# Usage: run-ctest.sh <build-dir> [ctest arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift
status=0
(cd "$build" && ctest --output-on-failure --timeout 900 "$@") 2>&1 | tee "$build/ctest.log" || status=$?
"$here/test-times.sh" "$build/ctest.log" "$build/test-times.txt"
exit $status
