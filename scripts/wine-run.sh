#!/usr/bin/env bash
# Runs a Windows program of the build under the Wine of its width (wine64, or
# the WoW64 Wine for the 32-bit build) in the test environment (test-env.sh
# start must have run). Its exit code is the program's.
# Usage: wine-run.sh <build-dir> <program> [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
build=$(cd "$1" && pwd); shift
use_test_env "$build"
export VORLA_BUILD_DIR=$build
export VORLA_PORTAL_DIR=$build/portal
export VORLA_PORTAL_LOG=$build/portal-logs/access.log
export VORLA_FAULTS_LOG=$build/portal-logs/faults.log
# Drawing tests that cannot pass where the platform does not draw (test-env.sh
# found so) are left out of a test program's run.
if [ -f "$build/test-env/drawing-gap" ] && [ -z "${GTEST_FILTER:-}" ]; then
  export GTEST_FILTER=-$(sed 's/#.*//' "$here/../tests/platform/wow64-drawing-gap.txt" | xargs | tr ' ' ':')
fi
exec "$WINE64" "$@"
