#!/usr/bin/env bash
# Builds both widths: build/win32 (the shipping build) and build/win64, each
# with its tests (the 64-bit ones run under wine64, the 32-bit ones under the
# WoW64 Wine). Extra arguments are passed to both CMake configures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-$(nproc)}
for width in win64 win32; do
  arch=$([ $width = win64 ] && echo x86_64 || echo i686)
  "$root/scripts/build-thirdparty.sh" "$arch"
  cmake -S "$root" -B "$root/build/$width" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$width.cmake" \
    -DVORLA_RUN_TESTS=ON "$@" >/dev/null
  echo "build: $width"
  # Progress lines are dropped; warnings and errors are shown.
  if ! cmake --build "$root/build/$width" -j"$jobs" -- --no-print-directory >"$root/build/$width.log" 2>&1; then
    grep -v '^\[' "$root/build/$width.log" >&2
    echo "build: $width failed" >&2
    exit 1
  fi
  grep -v '^\[' "$root/build/$width.log" || true
done
