#!/usr/bin/env bash
# Runs a Windows program of the build under wine64 in the test environment
# (test-env.sh start must have run). Its exit code is the program's.
# Usage: wine-run.sh <build-dir> <program> [args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-common.sh"
build=$(cd "$1" && pwd); shift
export WINEPREFIX=$build/wineprefix
export DISPLAY=$(cat "$build/test-env/display")
export VORLA_BUILD_DIR=$build
export VORLA_PORTAL_DIR=$build/portal
export VORLA_PORTAL_LOG=$build/portal-logs/access.log
export VORLA_FAULTS_LOG=$build/portal-logs/faults.log
exec "$WINE64" "$@"
