#!/usr/bin/env bash
# What a swarm saves the portal, with the engine as shipped: one portal
# serving a file as web seed with a fixed total rate (16 MB/s shared by every
# response), so the origin is the scarce resource; opentracker; and 8 copies
# of p2sp-get started together on the same torrent, all on loopback. The
# engine runs its defaults (upload cap, seeding limits, connections); only
# the upload cap changes between the columns, and it is printed with them.
#
# For each upload cap (1 MiB/s, the default; 4 MiB/s; unlimited) two runs:
# copies that leave as soon as they are done, and copies that seed until the
# last one has finished (as players with their page open do, within the
# engine's seeding limits). Printed per run: each copy's time, the slowest
# and the median, the slowest against HTTP alone, what the origin served
# over the file size, the peak memory of a copy, and the bound the uploads
# put on the slowest copy (all copies together cannot get more than the
# origin plus every copy's upload cap). Figures, not a test: nothing here
# fails on a slow machine.
#
# The origin is tests/servers/range_server.py with --total-rate: nginx's
# limit_rate lets every request start with a second's worth at full speed,
# and the engine's requests are short, so nginx would not hold the total.
#
# usage: bench/swarm.sh [BIN_DIR]   (default: build/win64/bin)
#        bench/swarm.sh --lab [BIN_DIR], or BENCH_LAB=1: players behind home
#        routers in the network lab instead (bench/swarm-lab.sh, needs root)
# Environment: BENCH_SIZE_MIB (default 256), BENCH_COPIES (default 8),
# BENCH_ORIGIN_RATE (bytes per second, default 16000000), BENCH_CAPS (upload
# caps in bytes per second, "default" for the engine's own, default
# "default 4194304 unlimited"), BENCH_KEEP (keep the work folder, the copies'
# logs and swarm traces), BENCH_PORT (first of 20 ports, default 17400),
# BENCH_SWARM_ONLY (leave out the HTTP-only run, which takes the file size
# times the copies over the origin's rate; the ratio column is then empty).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --lab ] || [ -n "${BENCH_LAB:-}" ]; then
    [ "${1:-}" = --lab ] && shift
    exec "$ROOT/bench/swarm-lab.sh" "$@"
fi
BIN_DIR=$(realpath "${1:-$ROOT/build/win64/bin}")
SIZE_MIB=${BENCH_SIZE_MIB:-256}
COPIES=${BENCH_COPIES:-8}
PORT=${BENCH_PORT:-17400}
ORIGIN_RATE=${BENCH_ORIGIN_RATE:-16000000}
CAPS=(${BENCH_CAPS:-default 4194304 unlimited})
PORTAL=$PORT TRACKER=$((PORT + 1)) FIRST_PEER=$((PORT + 2))
WORK=$(mktemp -d /tmp/p2sp-swarm.XXXXXX)
SIZE=$((SIZE_MIB * 1048576))

. "$ROOT/scripts/wine-common.sh"
. "$ROOT/bench/swarm-common.sh"
DEFAULT_CAP=$SWARM_DEFAULT_CAP UNLIMITED=$SWARM_UNLIMITED
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
for port in $(seq "$PORTAL" $((FIRST_PEER + COPIES))); do
    if port_open "$port"; then echo "swarm benchmark: port $port is taken: another run? (BENCH_PORT)" >&2; exit 1; fi
done
mkdir -p "$WORK/www" "$WORK/tracker"
head -c "$SIZE" /dev/urandom >"$WORK/www/game.bin"
chmod a+r "$WORK/www/game.bin"
swarm_torrent "$WORK/www/game.bin" "http://127.0.0.1:$TRACKER/announce" "http://127.0.0.1:$PORTAL/game.bin" \
    "$WORK/www/game.torrent" "$WORK/tracker/whitelist"

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

# run LABEL SEED_UNTIL_LAST [harness options]: COPIES harnesses at once; the
# figures go to $WORK/summary.txt as "LABEL slowest median served peak failed".
run() {
    local label=$1 stay=$2
    shift 2
    : >"$WORK/origin.log"
    rm -rf "$WORK/out"
    mkdir -p "$WORK/out"
    local copies=() i
    local stay_args=()
    [ "$stay" = yes ] && stay_args=(--seed-until "$(winpath "$WORK/out/all-done")")
    for i in $(seq 1 "$COPIES"); do
        mkdir -p "$WORK/out/$i"
        [ -n "${BENCH_KEEP:-}" ] && export P2SP_SWARM_TRACE="$(winpath "$WORK/out/trace-$i.txt")"
        /usr/bin/time -o "$WORK/out/mem-$i.txt" -f '%M' "$WINE64" "$BIN_DIR/p2sp-get.exe" \
            "http://127.0.0.1:$PORTAL/game.bin" "$(winpath "$WORK/out/$i/game.bin")" --poll-ms 500 --timeout-s 3600 \
            --port $((FIRST_PEER + i)) "${stay_args[@]}" "$@" >"$WORK/out/log-$i.txt" 2>&1 </dev/null &
        copies+=($!)
    done
    # Copies that stay seed until every copy has its file.
    if [ "$stay" = yes ]; then
        while :; do
            [ "$(copies_done "$WORK"/out/log-*.txt)" -ge "$COPIES" ] && break
            local alive=0 pid
            for pid in "${copies[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
            [ $alive -eq 1 ] || break
            sleep 0.5
        done
        touch "$WORK/out/all-done"
    fi
    local failed=0 pid
    for pid in "${copies[@]}"; do wait "$pid" || failed=$((failed + 1)); done
    local times=() ms_list=()
    for i in $(seq 1 "$COPIES"); do
        local ms
        ms=$(copy_ms "$WORK/out/log-$i.txt")
        cmp -s "$WORK/www/game.bin" "$WORK/out/$i/game.bin" || failed=$((failed + 1))
        times+=("$(seconds "$ms")")
        ms_list+=("$ms")
    done
    local slowest median served peak
    slowest=$(slowest_ms "${ms_list[@]}")
    median=$(median_ms "${ms_list[@]}")
    served=$(origin_served "$WORK/origin.log")
    peak=$(cat "$WORK/out"/mem-*.txt 2>/dev/null | sort -n | tail -1)
    echo "  $label: copies ${times[*]} s" >&2
    echo "$label $slowest $median $served $((${peak:-0} / 1024)) $failed" >>"$WORK/summary.txt"
    [ -n "${BENCH_KEEP:-}" ] && cp -r "$WORK/out" "$WORK/out-${label//[^a-z0-9-]/_}"
    return 0
}

echo "swarm benchmark: $COPIES copies of a $SIZE_MIB MiB file (256 KiB pieces), all on loopback"
echo "  origin: $ORIGIN_RATE B/s in all, shared by every response (also the torrent's web seed)"
echo "  engine: shipped defaults: HTTP up to 16 connections per source, measured alone and stepping back beside"
echo "          peers; upload cap $DEFAULT_CAP B/s for the whole engine; seeding ends at 100 % of the file or"
echo "          30 minutes after finishing; up to 40 peers, 8 per host; the harness listens on 127.0.0.1 and"
echo "          allows loopback peers (a test tool); 4 upload slots, one optimistic"
if [ -z "${BENCH_SWARM_ONLY:-}" ]; then
    echo "  running HTTP alone (no torrent)..." >&2
    run http-only no
fi
for cap in "${CAPS[@]}"; do
    cap_args=()
    case $cap in
    default) value=$DEFAULT_CAP ;;
    unlimited) value=$UNLIMITED; cap_args=(--upload-cap "$UNLIMITED") ;;
    *) value=$cap; cap_args=(--upload-cap "$cap") ;;
    esac
    for stay in no yes; do
        echo "  running upload cap $cap, seeding until the last: $stay..." >&2
        run "swarm-$cap-$stay" "$stay" --seed "http://127.0.0.1:$PORTAL/game.torrent" "${cap_args[@]}"
    done
done

echo
printf '| %-22s | %-16s | %9s | %9s | %13s | %20s | %16s | %8s | %6s |\n' "upload cap per copy" "after finishing" \
    "slowest" "median" "vs HTTP alone" "origin served / file" "bound on slowest" "peak MiB" "failed"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n' "------------------------" "------------------" "-----------" \
    "-----------" "---------------" "----------------------" "------------------" "----------" "--------"
http_slowest=$(awk '$1 == "http-only" {print $2}' "$WORK/summary.txt")
while read -r label slowest median served peak failed; do
    if [ "$label" = http-only ]; then
        cap_text="HTTP alone" after="-" bound="-" ratio="-"
    else
        cap=${label#swarm-}
        cap=${cap%-*}
        stay=${label##*-}
        case $cap in
        default) value=$DEFAULT_CAP; cap_text="$DEFAULT_CAP (default)" ;;
        unlimited) value=$UNLIMITED; cap_text="unlimited" ;;
        *) value=$cap; cap_text=$cap ;;
        esac
        [ "$stay" = yes ] && after="seed to the last" || after="leave at once"
        # Every copy needs the file; the origin and every copy's upload are all that can feed them.
        bound=-
        [ "$value" != "$UNLIMITED" ] && bound=$(awk -v n="$COPIES" -v f="$SIZE" -v r="$ORIGIN_RATE" -v c="$value" \
            'BEGIN {printf "%.1f s", n * f / (r + n * c)}')
        ratio=-
        [ -n "$http_slowest" ] &&
            ratio=$(awk -v a="$http_slowest" -v b="$slowest" 'BEGIN {printf "%.2fx sooner", (b > 0 ? a / b : 0)}')
    fi
    printf '| %-22s | %-16s | %7s s | %7s s | %13s | %18.2f x | %16s | %8s | %6s |\n' "$cap_text" "$after" \
        "$(seconds "$slowest")" "$(seconds "$median")" "$ratio" \
        "$(awk -v s="$served" -v f="$SIZE" 'BEGIN {print s / f}')" "$bound" "$peak" "$failed"
done <"$WORK/summary.txt"
echo
echo "'vs HTTP alone': the HTTP-only slowest copy's time over this run's (above 1 is sooner). 'bound on slowest':"
echo "the copies' bytes over the origin's rate plus every copy's upload cap, the least time the slowest can take."
