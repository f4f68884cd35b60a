#!/usr/bin/env bash
# What a swarm saves the portal: one portal serving a file as web seed with
# a fixed total rate (16 MB/s shared by every response), so the origin is
# the scarce resource; opentracker; and 8 copies of p2sp-get started together
# on the same torrent, all on loopback. Printed: each copy's time, the
# slowest copy's time, the bytes the origin served (from its log) divided by
# the file size, and the same with the torrent left out (HTTP only); and the
# peak memory of a copy (the wine process, as the system counts it) while 8
# run. The origin is tests/servers/range_server.py with --total-rate: nginx's
# limit_rate lets every request start with a second's worth at full speed,
# and the engine's requests are short, so nginx would not hold the total.
# Figures, not a test: nothing here fails on a slow machine.
#
# usage: bench/swarm.sh [BIN_DIR]   (default: build/win64/bin)
# Environment: BENCH_SIZE_MIB (default 256), BENCH_COPIES (default 8),
# BENCH_KEEP (keep the work folder, the copies' logs and swarm traces),
# BENCH_ORIGIN_RATE (bytes per second, default 16000000), BENCH_PORT (first
# of 20 ports, default 17400), BENCH_SWARM_ONLY (leave out the HTTP-only run,
# which takes the file size times the copies over the origin's rate).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN_DIR=$(realpath "${1:-$ROOT/build/win64/bin}")
SIZE_MIB=${BENCH_SIZE_MIB:-256}
COPIES=${BENCH_COPIES:-8}
PORT=${BENCH_PORT:-17400}
ORIGIN_RATE=${BENCH_ORIGIN_RATE:-16000000}
PORTAL=$PORT TRACKER=$((PORT + 1)) FIRST_PEER=$((PORT + 2))
WORK=$(mktemp -d /tmp/p2sp-swarm.XXXXXX)
SIZE=$((SIZE_MIB * 1048576))

. "$ROOT/scripts/wine-common.sh"
export WINEPREFIX=${WINEPREFIX:-$(dirname "$BIN_DIR")/wineprefix}
export WINEDEBUG=-all

pids=()
cleanup() {
    [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null || true
    [ -n "${BENCH_KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for port in $PORTAL $TRACKER; do
    if port_open "$port"; then echo "swarm benchmark: port $port is taken: another run? (BENCH_PORT)" >&2; exit 1; fi
done
mkdir -p "$WORK/www" "$WORK/tracker"
head -c "$SIZE" /dev/urandom >"$WORK/www/game.bin"
chmod a+r "$WORK/www/game.bin"
mktorrent -a "http://127.0.0.1:$TRACKER/announce" -l 18 -n game.bin -w "http://127.0.0.1:$PORTAL/game.bin" \
    -o "$WORK/www/game.torrent" "$WORK/www/game.bin" >/dev/null
chmod a+r "$WORK/www/game.torrent"
python3 "$ROOT/tests/servers/torrent_info.py" "$WORK/www/game.torrent" >"$WORK/tracker/whitelist"

python3 "$ROOT/tests/servers/range_server.py" --port "$PORTAL" --root "$WORK/www" --log "$WORK/origin.log" \
    --total-rate "$ORIGIN_RATE" >/dev/null 2>&1 </dev/null &
pids+=($!)
opentracker -i 127.0.0.1 -p "$TRACKER" -P "$TRACKER" -d "$WORK/tracker" -w whitelist >/dev/null 2>&1 &
pids+=($!)
for port in $PORTAL $TRACKER; do
    for _ in $(seq 100); do port_open "$port" && break; sleep 0.1; done
    port_open "$port" || { echo "swarm benchmark: nothing listens on port $port" >&2; exit 1; }
done

winpath() { echo "Z:${1//\//\\}"; }

# run LABEL [harness options]: COPIES harnesses at once; prints their times.
run() {
    local label=$1
    shift
    : >"$WORK/origin.log"
    rm -rf "$WORK/out"
    mkdir -p "$WORK/out"
    local started copies=()
    started=$(date +%s%N)
    for i in $(seq 1 "$COPIES"); do
        mkdir -p "$WORK/out/$i"
        [ -n "${BENCH_KEEP:-}" ] && export P2SP_SWARM_TRACE="$(winpath "$WORK/out/trace-$i.txt")"
        /usr/bin/time -o "$WORK/out/mem-$i.txt" -f '%M' "$WINE64" "$BIN_DIR/p2sp-get.exe" \
            "http://127.0.0.1:$PORTAL/game.bin" "$(winpath "$WORK/out/$i/game.bin")" --poll-ms 500 --timeout-s 3600 \
            --port $((FIRST_PEER + i)) --upload-cap 100000000 "$@" >"$WORK/out/log-$i.txt" 2>&1 </dev/null &
        copies+=($!)
    done
    local failed=0
    for pid in "${copies[@]}"; do wait "$pid" || failed=$((failed + 1)); done
    local wall=$(( ($(date +%s%N) - started) / 1000000 ))
    local slowest=0 times=()
    for i in $(seq 1 "$COPIES"); do
        local ms
        ms=$(tr -d '\r' <"$WORK/out/log-$i.txt" | sed -n 's/^finished state 1, [0-9]* bytes in \([0-9]*\) ms/\1/p')
        [ -z "$ms" ] && ms=-1
        cmp -s "$WORK/www/game.bin" "$WORK/out/$i/game.bin" || failed=$((failed + 1))
        times+=("$(awk -v ms="$ms" 'BEGIN {printf "%.1f", ms / 1000}')")
        [ "$ms" -gt "$slowest" ] && slowest=$ms
    done
    local served peak
    served=$(python3 -c 'import json,sys; print(sum(json.loads(l)["sent"] for l in open(sys.argv[1]) if l.strip()))' "$WORK/origin.log")
    peak=$(cat "$WORK/out"/mem-*.txt 2>/dev/null | sort -n | tail -1)
    printf '%-10s copies %s s | slowest %s s | origin served %.2f x file | peak %s MiB | %d wrong or failed\n' \
        "$label" "${times[*]}" "$(awk -v ms="$slowest" 'BEGIN {printf "%.1f", ms / 1000}')" \
        "$(awk -v s="$served" -v f="$SIZE" 'BEGIN {print s / f}')" "$((${peak:-0} / 1024))" "$failed"
    echo "$label $slowest $served" >>"$WORK/summary.txt"
}

echo "swarm benchmark: $COPIES copies of a $SIZE_MIB MiB file; the origin sends $ORIGIN_RATE bytes/s in all"
run "swarm" --seed "http://127.0.0.1:$PORTAL/game.torrent"
[ -n "${BENCH_KEEP:-}" ] && cp -r "$WORK/out" "$WORK/out-swarm"
if [ -n "${BENCH_SWARM_ONLY:-}" ]; then
    exit 0
fi
run "http-only"
read -r _ swarm_slowest swarm_served <<<"$(grep '^swarm ' "$WORK/summary.txt")"
read -r _ http_slowest http_served <<<"$(grep '^http-only ' "$WORK/summary.txt")"
awk -v a="$http_slowest" -v b="$swarm_slowest" -v sa="$swarm_served" -v sh="$http_served" -v f="$SIZE" -v n="$COPIES" 'BEGIN {
    printf "targets: origin <= 2.00 x file with the swarm (got %.2f; HTTP only %.2f, ideal %d)\n", sa / f, sh / f, n
    printf "         slowest copy >= 3x sooner than HTTP only (got %.2fx)\n", (b > 0 ? a / b : 0)
}'
