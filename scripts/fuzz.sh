#!/usr/bin/env bash
# Builds the libFuzzer targets natively (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each one briefly: first
# every seed of fuzz/corpus/<target>/, then new inputs for FUZZ_SECONDS
# (default 5) seconds. On a finding it prints the check or sanitizer report,
# the saved input's path and its bytes in hex; exits non-zero when any target
# found something.
#
#   scripts/fuzz.sh [target...]      run these targets (default: all)
#   scripts/fuzz.sh --build-only     only build them
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds=${FUZZ_SECONDS:-5}

build_only=0
targets=()
for arg in "$@"; do
  case $arg in
    --build-only) build_only=1 ;;
    *) targets+=("$arg") ;;
  esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" >/dev/null
fi
echo "fuzz: building the targets"
if ! cmake --build "$build" -j"${JOBS:-$(nproc)}" -- --no-print-directory >"$build/build.log" 2>&1; then
  grep -v '^\[' "$build/build.log" >&2
  echo "fuzz: build failed" >&2
  exit 1
fi
[ $build_only -eq 1 ] && exit 0

if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

# The bytes of a saved input in hex, cut after 512 bytes.
hex_of() {
  local size
  size=$(stat -c %s "$1")
  od -An -v -tx1 -N512 "$1" | tr -d ' \n'
  [ "$size" -gt 512 ] && printf ' ... (%s bytes)' "$size"
  echo
}

passed=0
failed=0
for target in "${targets[@]}"; do
  if [ ! -x "$build/bin/$target" ]; then
    echo "fuzz: $target not built (its sources are missing from this tree)"
    continue
  fi
  work="$build/work/$target"      # the corpus grown by earlier runs
  findings="$build/findings/$target"
  rm -rf "$findings"
  mkdir -p "$work" "$findings"
  options=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  [ -f "$root/fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")
  log="$build/$target.log"
  # 2 MiB of stack, what our Windows programs get; sanitized frames are
  # larger, so deep recursion shows here first.
  if (ulimit -s 2048 && "$build/bin/$target" "${options[@]}" "$work" "$root/fuzz/corpus/$target") >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ok (${runs:-?} inputs)"
    passed=$((passed + 1))
    continue
  fi
  failed=$((failed + 1))
  echo "fuzz: $target FOUND A FAULT (log: $log)"
  grep -E -m8 'FUZZ CHECK FAILED|^ +\(|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|^SUMMARY:' "$log" |
    sed 's/^/  /' || true
  grep -E -A14 -m1 'ERROR: AddressSanitizer|runtime error:' "$log" | grep -E '^ +#[0-9]' | sed 's/^/  /' || true
  found=0
  for input in "$findings"/*; do
    [ -f "$input" ] || continue
    found=1
    echo "  input: $input"
    echo "  hex:   $(hex_of "$input")"
  done
  [ $found -eq 1 ] || echo "  (no input saved; see the log)"
done

echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
