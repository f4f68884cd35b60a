#!/usr/bin/env bash
# Runs every fuzz target for longer than scripts/fuzz.sh does, from its seeds
# only, and goes on past findings (libFuzzer's fork mode, one job at a time).
# Prints a table: executions, executions per second, corpus size reached and
# findings, then each kind of finding once with one input that shows it.
# Figures, not a test: it exits 0 whatever it finds.
#
# usage: bench/fuzz.sh [SECONDS]   (per target, default 60)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_EACH=${1:-60}
BUILD="$ROOT/build/fuzz"
BENCH="$BUILD/bench"

"$ROOT/scripts/fuzz.sh" --build-only
rm -rf "$BENCH"
mkdir -p "$BENCH"

# The first check message or sanitizer summary that an input brings up.
kind_of() {
    local target=$1 input=$2
    (ulimit -s 2048 && "$BUILD/bin/$target" -runs=1 "$input") 2>&1 |
        grep -E -m1 'FUZZ CHECK FAILED|^SUMMARY: (AddressSanitizer|UndefinedBehaviorSanitizer|LeakSanitizer|libFuzzer: (timeout|out-of-memory))' |
        sed -e "s|$ROOT/||" -e 's/^FUZZ CHECK FAILED //' -e '/^SUMMARY/s/ ([^)]*)//g' || true
}

TABLE="$BENCH/table.txt"
KINDS="$BENCH/kinds.txt"
printf '%-16s %12s %9s %7s %9s\n' target executions exec/s corpus findings >"$TABLE"
: >"$KINDS"
for dir in "$ROOT"/fuzz/corpus/*/; do
    target=$(basename "$dir")
    [ -x "$BUILD/bin/$target" ] || continue
    work="$BENCH/$target/corpus"
    findings="$BENCH/$target/findings"
    mkdir -p "$work" "$findings"
    options=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$SECONDS_EACH"
             -timeout=5 -rss_limit_mb=2048 -artifact_prefix="$findings/")
    [ -f "$ROOT/fuzz/dict/$target.dict" ] && options+=(-dict="$ROOT/fuzz/dict/$target.dict")
    echo "bench: $target for ${SECONDS_EACH}s" >&2
    start=$(date +%s%N)
    (ulimit -s 2048 && "$BUILD/bin/$target" "${options[@]}" "$work" "$dir") >"$BENCH/$target/log" 2>&1 || true
    elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    # Fork mode's status lines: "#N: cov: C ft: F corp: K ... oom/timeout/crash: a/b/c time: ...".
    last=$(grep -E '^#[0-9]+: cov:' "$BENCH/$target/log" | tail -1)
    executions=$(sed -E -n 's/^#([0-9]+):.*/\1/p' <<<"$last")
    corpus=$(sed -E -n 's/.* corp: ([0-9]+).*/\1/p' <<<"$last")
    found=$(find "$findings" -type f | wc -l)
    rate=$((${executions:-0} * 1000 / (elapsed_ms > 0 ? elapsed_ms : 1)))
    printf '%-16s %12s %9s %7s %9s\n' "$target" "${executions:-0}" "$rate" "${corpus:-0}" "$found" >>"$TABLE"
    # One line per kind: the first input that shows it, by name order, at most 60 tried.
    declare -A seen=()
    for input in $(find "$findings" -type f | sort | head -60); do
        kind=$(kind_of "$target" "$input")
        [ -n "$kind" ] || kind="(does not repeat on its own)"
        if [ -z "${seen[$kind]:-}" ]; then
            seen[$kind]=1
            printf '%s: %s\n    input %s\n' "$target" "$kind" "${input#$ROOT/}" >>"$KINDS"
        fi
    done
    unset seen
done

cat "$TABLE"
if [ -s "$KINDS" ]; then
    echo
    echo "findings by kind:"
    cat "$KINDS"
fi
