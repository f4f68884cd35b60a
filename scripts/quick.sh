#!/usr/bin/env bash
# Daily work: builds the 64-bit build only, installs nothing, and runs CTest in
# build/win64 (extra arguments go to ctest, for example -R page). Run
# scripts/test.sh once first on a new machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build-thirdparty.sh" x86_64
cmake -S "$root" -B "$root/build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win64.cmake" \
  -DVORLA_RUN_TESTS=ON >/dev/null
if ! cmake --build "$root/build/win64" -j"${JOBS:-$(nproc)}" -- --no-print-directory >"$root/build/win64.log" 2>&1; then
  grep -v '^\[' "$root/build/win64.log" >&2
  echo "quick: build failed" >&2
  exit 1
fi
exec "$root/scripts/run-ctest.sh" "$root/build/win64" "$@"
