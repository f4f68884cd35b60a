#!/usr/bin/env bash
# Builds the native project host/ (the portal's tools for Linux and their
# native tests) in build/host. Extra arguments are passed to the configure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/host"
cmake -S "$root/host" -B "$build" "$@" >/dev/null
echo "build: host"
if ! cmake --build "$build" -j"${JOBS:-$(nproc)}" -- --no-print-directory >"$build/build.log" 2>&1; then
  grep -v '^\[' "$build/build.log" >&2
  echo "build: host failed" >&2
  exit 1
fi
grep -v '^\[' "$build/build.log" || true
