#!/usr/bin/env bash
# What a swarm saves the portal when its players sit behind home routers: the
# swarm benchmark in the network lab (tests/lab/lab.sh). Eight homes, each a
# router that translates its player's addresses and shapes its uplink
# (1024 KiB/s), a player behind it running p2sp-get under Wine in a prefix of
# its own. Four routers map ports (two by PCP and NAT-PMP, two by UPnP IGD),
# four do not, so their players can dial out but never be dialled. The origin
# (tests/servers/range_server.py, 16 MB/s in all, also the torrent's web seed)
# and opentracker are on the lab's Internet. The engine runs its shipped
# defaults: it listens on every interface, asks its router for a mapping and
# uses no loopback peer; every setting is printed with the figures.
#
# Three runs with the same players: HTTP alone (no torrent), then the swarm,
# every copy seeding until the last has finished (within the engine's seeding
# limits), first as shipped (TCP and uTP, introductions between players that
# cannot dial each other), then over TCP alone (SetP2spOption(9, "0")).
# Printed per run: the slowest and median copy, the slowest against HTTP
# alone, what the origin served over the file size, the copies that are not
# the file byte for byte, and which pairs of players exchanged data, by kind
# of pair (both mapped, one mapped, neither).
#
# Who exchanged with whom comes from the copies' swarm traces: a connection's
# close line names the peer's address and the block bytes got from it and
# sent to it. Behind address translation a player sees another one at that
# player's router's address (198.18.1.<home>), whether it dialled the router's
# mapped port or was dialled from the router's translated source; a pair of
# homes exchanged data when any connection between them carried a block
# either way, in either player's trace.
#
# Figures, not a test: nothing here fails on a slow machine. Needs root (the
# lab's namespaces); everything it builds is removed at the end, also after a
# failure or an interrupt.
#
# usage: bench/swarm-lab.sh [BIN_DIR]   (default: build/win64/bin), or
#        bench/swarm.sh --lab [BIN_DIR]
# Environment: BENCH_SIZE_MIB (default 64), BENCH_ORIGIN_RATE (bytes per
# second, default 16000000), BENCH_TIMEOUT_S (a copy gives up after this,
# default 600), BENCH_SWARM_ONLY (leave out HTTP alone), BENCH_KEEP (keep the
# work folder: the copies' logs, swarm traces, the routers' and origin's
# logs), WINEPREFIX (the prefix each player's own is copied from, default the
# one beside BIN_DIR; made with scripts/wine-prefix.sh when it is not ready).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN_DIR=$(realpath "${1:-$ROOT/build/win64/bin}")
SIZE_MIB=${BENCH_SIZE_MIB:-64}
ORIGIN_RATE=${BENCH_ORIGIN_RATE:-16000000}
TIMEOUT_S=${BENCH_TIMEOUT_S:-600}
SIZE=$((SIZE_MIB * 1048576))
UPLINK_KIB=1024  # lab_up's default
HOMES=8
# Each home's router: the port-mapping methods it offers, or none.
ROUTER_MAPPING=("" "pcp,natpmp" "pcp,natpmp" "upnp" "upnp" "" "" "" "")
PEER_PORT=6881  # the first of the program's own range, 6881-6889

. "$ROOT/tests/lab/lab.sh"
. "$ROOT/scripts/wine-common.sh"
. "$ROOT/bench/swarm-common.sh"
if ! why=$(lab_can_run); then
    echo "swarm benchmark (lab): $why; run it as root" >&2
    exit 1
fi
for tool in opentracker mktorrent; do
    command -v $tool >/dev/null || { echo "swarm benchmark (lab): needs $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -f "$BIN_DIR/p2sp-get.exe" ] || { echo "swarm benchmark (lab): no p2sp-get.exe in $BIN_DIR" >&2; exit 1; }
BASE_PREFIX=${WINEPREFIX:-$(dirname "$BIN_DIR")/wineprefix}
[ -f "$BASE_PREFIX/.vorla-ready" ] || "$ROOT/scripts/wine-prefix.sh" "$BASE_PREFIX" >/dev/null
export WINEDEBUG=-all

started=$SECONDS
WORK=$(mktemp -d /tmp/p2sp-swarm-lab.XXXXXX)
chmod 755 "$WORK"  # the tracker reads its access list as another user
cleanup() {
    lab_down
    if [ -n "${BENCH_KEEP:-}" ]; then echo "kept: $WORK" >&2; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mapped() { [ -n "${ROUTER_MAPPING[$1]}" ]; }
method_text() { case $1 in pcp,natpmp) echo "PCP and NAT-PMP" ;; upnp) echo "UPnP IGD" ;; *) echo "$1" ;; esac; }

echo "  building the lab: $HOMES homes..." >&2
lab_up "$HOMES" "$UPLINK_KIB" || { echo "swarm benchmark (lab): the lab could not be built" >&2; exit 1; }
for i in $(seq 1 "$HOMES"); do
    mapped "$i" && lab_start_portmap "$i" "${ROUTER_MAPPING[$i]}" "$WORK/router$i.log"
done
ORIGIN=$(lab_host_address 1) TRACKER=$(lab_host_address 2)
ANNOUNCE=http://$TRACKER:6969/announce
FILE_URL=http://$ORIGIN:8080/game.bin
TORRENT_URL=http://$ORIGIN:8080/game.torrent

mkdir -p "$WORK/www" "$WORK/tracker"
head -c "$SIZE" /dev/urandom >"$WORK/www/game.bin"
chmod a+r "$WORK/www/game.bin"
swarm_torrent "$WORK/www/game.bin" "$ANNOUNCE" "$FILE_URL" "$WORK/www/game.torrent" "$WORK/tracker/whitelist"
# Both end with the lab (lab_down ends what runs in its namespaces).
ip netns exec "$(lab_ns inet)" python3 "$ROOT/tests/servers/range_server.py" --host "$ORIGIN" --port 8080 --root "$WORK/www" \
    --log "$WORK/origin.log" --total-rate "$ORIGIN_RATE" </dev/null >"$WORK/origin.out" 2>&1 &
ip netns exec "$(lab_ns inet)" opentracker -i "$TRACKER" -p 6969 -P 6969 -d "$WORK/tracker" -w whitelist \
    </dev/null >"$WORK/tracker.out" 2>&1 &
disown -a
for _ in $(seq 100); do grep -q '^listening' "$WORK/origin.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^listening' "$WORK/origin.out" || { echo "swarm benchmark (lab): the origin did not start" >&2; exit 1; }
lab_exec inet python3 "$ROOT/tests/servers/torrent_info.py" --wait-allowed "$ANNOUNCE" "$WORK/www/game.torrent" ||
    { echo "swarm benchmark (lab): the tracker never accepted the torrent" >&2; exit 1; }

echo "  copying a Wine prefix for each player..." >&2
for i in $(seq 1 "$HOMES"); do cp -a "$BASE_PREFIX" "$WORK/prefix$i"; done

# run LABEL [harness options]: every player's harness at once, in its home;
# the figures go to $WORK/summary.txt as "LABEL slowest median served failed
# pairs", pairs being "both/of one/of neither/of" or "-" without a torrent.
run() {
    local label=$1
    shift
    local out=$WORK/$label copies=() i pid
    mkdir -p "$out"
    : >"$WORK/origin.log"
    for i in $(seq 1 "$HOMES"); do
        mkdir -p "$out/dl$i"
        ip netns exec "$(lab_ns "p$i")" env WINEPREFIX="$WORK/prefix$i" P2SP_SWARM_TRACE="$(winpath "$out/trace$i.txt")" \
            "$WINE64" "$BIN_DIR/p2sp-get.exe" "$FILE_URL" "$(winpath "$out/dl$i/game.bin")" \
            --listen-address 0.0.0.0 --port "$PEER_PORT" --no-loopback-peers --port-mapping \
            --poll-ms 500 --timeout-s "$TIMEOUT_S" "$@" </dev/null >"$out/log$i.txt" 2>&1 &
        copies+=($!)
    done
    # Copies given a file to wait for seed until every copy has its own.
    if [[ " $* " == *" --seed-until "* ]]; then
        while [ "$(copies_done "$out"/log*.txt)" -lt "$HOMES" ]; do
            local alive=0
            for pid in "${copies[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
            [ $alive -eq 1 ] || break
            sleep 0.5
        done
        touch "$out/all-done"
    fi
    local exits=()
    for pid in "${copies[@]}"; do
        if wait "$pid"; then exits+=(0); else exits+=($?); fi
    done
    local ms_list=() times=() failed=0 ms
    for i in $(seq 1 "$HOMES"); do
        ms=$(copy_ms "$out/log$i.txt")
        ms_list+=("$ms")
        times+=("$(seconds "$ms")")
        cmp -s "$WORK/www/game.bin" "$out/dl$i/game.bin" || failed=$((failed + 1))
    done
    echo "  $label: copies ${times[*]} s, exit codes ${exits[*]}" >&2
    local pairs=-
    if [[ " $* " == *" --seed "* ]]; then
        pairs=$(pair_figures "$out")
        for i in $(seq 1 "$HOMES"); do echo "    home $i: $(reach_summary "$out/log$i.txt")" >&2; done
    fi
    cp "$WORK/origin.log" "$out/origin.log"
    echo "$label $(slowest_ms "${ms_list[@]}") $(median_ms "${ms_list[@]}") $(origin_served "$WORK/origin.log") $failed $pairs" \
        >>"$WORK/summary.txt"
}

# reach_summary LOG: the mapping a copy was granted, and the most peer
# connections it held at once that it dialled and that it accepted, from the
# harness's "reach" lines.
reach_summary() {
    tr -d '\r' <"$1" | awk '
        $1 == "reach" {
            for (i = 2; i < NF; i += 2) v[$i] = $(i + 1)
            if (v["dialled"] > d) d = v["dialled"]
            if (v["accepted"] > a) a = v["accepted"]
        }
        END {
            split("none PCP NAT-PMP UPnP", name, " ")
            m = ("mapping" in v) ? name[v["mapping"] + 1] : "?"
            printf "mapping %s (router port %s); at most %d dialled and %d accepted peers at once\n", m, v["mapped-port"], d, a
        }'
}

# pair_figures RUN_DIR: from the copies' swarm traces, the pairs of homes
# that exchanged blocks, as "both/of one/of neither/of"; the bytes each home
# got from each other one go to RUN_DIR/pairs.txt.
pair_figures() {
    local mapped_homes="" i
    for i in $(seq 1 "$HOMES"); do mapped "$i" && mapped_homes+="$i,"; done
    python3 - "$1" "$HOMES" "$mapped_homes" <<'PY'
import itertools, re, sys
run, homes, mapped = sys.argv[1], int(sys.argv[2]), {int(h) for h in sys.argv[3].split(",") if h}
# close peer <id> <address>:<port>: <why> (got <bytes> sent <bytes>); the
# address is an IPv4 address as 8 hex digits, most significant first.
close = re.compile(r"^close peer (-?\d+) ([0-9a-f]{8}|\[[^\]]*\]):(\d+): (.*) \(got (\d+) sent (\d+)\)\s*$")
accepted = re.compile(r"^accepted (?:uTP )?peer (-?\d+) ")
got = {}       # (home, peer home) -> bytes the home got from it
sent = {}      # (home, peer home) -> bytes it sent there
links = {}     # (home, peer home) -> [dialled with blocks, accepted with blocks]
exchanged = set()
for home in range(1, homes + 1):
    try:
        lines = open("%s/trace%d.txt" % (run, home), errors="replace").read().splitlines()
    except OSError:
        continue
    incoming = {m.group(1) for m in map(accepted.match, lines) if m}
    for line in lines:
        m = close.match(line)
        if not m or m.group(2).startswith("["):
            continue
        a = int(m.group(2), 16)
        if a >> 8 != (198 << 16 | 18 << 8 | 1):  # a router's address, 198.18.1.<home>
            continue
        other = a & 0xFF
        if other == home or not 1 <= other <= homes:
            continue
        g, s = int(m.group(5)), int(m.group(6))
        got[home, other] = got.get((home, other), 0) + g
        sent[home, other] = sent.get((home, other), 0) + s
        if g or s:
            exchanged.add((min(home, other), max(home, other)))
            links.setdefault((home, other), [0, 0])[m.group(1) in incoming] += 1
# The same pairs, counting only blocks their receiver kept.
kept = {(min(h, o), max(h, o)) for (h, o), g in got.items() if g}
kinds = {2: [0, 0, 0], 1: [0, 0, 0], 0: [0, 0, 0]}
for a, b in itertools.combinations(range(1, homes + 1), 2):
    kind = kinds[(a in mapped) + (b in mapped)]
    kind[2] += 1
    kind[0] += (a, b) in exchanged
    kind[1] += (a, b) in kept
with open(run + "/pairs.txt", "w") as f:
    f.write("MiB each home (row) got from each other home (column), from its own trace\n")
    f.write("      " + "".join("%7d" % c for c in range(1, homes + 1)) + "\n")
    for r in range(1, homes + 1):
        cells = "".join("%7s" % ("-" if r == c else "%.1f" % (got.get((r, c), 0) / 1048576)) for c in range(1, homes + 1))
        f.write("%-6s%s\n" % ("%d%s" % (r, "*" if r in mapped else ""), cells))
    f.write("(* mapped)\nconnections that carried blocks, by who dialled, from each home's trace:\n")
    for (h, o), (dialled, incoming) in sorted(links.items()):
        f.write("  home %d with home %d: %d dialled, %d accepted; got %d sent %d bytes (home %d's trace: got %d sent %d)\n"
                % (h, o, dialled, incoming, got.get((h, o), 0), sent.get((h, o), 0), o, got.get((o, h), 0), sent.get((o, h), 0)))
    total_sent = sum(sent.values())
    total_got = sum(got.values())
    f.write("blocks between players: %.1f MiB sent, %.1f MiB of them kept by the receivers (the rest came after\n"
            "a cancel, an endgame duplicate, a piece HTTP had taken, or was in flight at a close)\n"
            % (total_sent / 1048576, total_got / 1048576))
    f.write("pairs whose receiver kept blocks: both mapped %s, one mapped %s, neither %s\n"
            % tuple("%d/%d" % (kinds[k][1], kinds[k][2]) for k in (2, 1, 0)))
print(" ".join("%d/%d" % (kinds[k][0], kinds[k][2]) for k in (2, 1, 0)))
PY
}

n_mapped=0
for i in $(seq 1 "$HOMES"); do mapped "$i" && n_mapped=$((n_mapped + 1)); done
echo "swarm benchmark in the network lab: $HOMES players in $HOMES homes, a $SIZE_MIB MiB file (256 KiB pieces)"
for i in $(seq 1 "$HOMES"); do
    mapped "$i" && echo "  home $i: router maps ports by $(method_text "${ROUTER_MAPPING[$i]}")" ||
        echo "  home $i: router without port mapping"
done
echo "  homes: $n_mapped mapped, $((HOMES - n_mapped)) not; every router translates addresses and lets nothing"
echo "         unsolicited in but what a mapping forwards; uplink $UPLINK_KIB KiB/s each (token bucket), downlink unshaped"
echo "  origin: $ORIGIN:8080, $ORIGIN_RATE B/s in all, shared by every response (also the torrent's web seed);"
echo "          tracker: opentracker at $ANNOUNCE"
echo "  engine: shipped defaults: HTTP up to 16 connections per source, measured alone and stepping back beside"
echo "          peers; upload cap $SWARM_DEFAULT_CAP B/s for the whole engine; seeding ends at 100 % of the file or"
echo "          30 minutes after finishing; up to 40 peers, 8 per host; 4 upload slots, one optimistic; listening"
echo "          on 0.0.0.0:$PEER_PORT; port mapping asked of the router (PCP, NAT-PMP, then UPnP IGD); no loopback peers"
if [ -z "${BENCH_SWARM_ONLY:-}" ]; then
    echo "  running HTTP alone (no torrent)..." >&2
    run http-only
fi
echo "  running the swarm, every copy seeding until the last has finished..." >&2
run swarm --seed "$TORRENT_URL" --seed-until "$(winpath "$WORK/swarm/all-done")"
echo "  running it again over TCP alone..." >&2
run swarm-tcp --seed "$TORRENT_URL" --seed-until "$(winpath "$WORK/swarm-tcp/all-done")" --no-utp

echo
printf '| %-24s | %9s | %9s | %13s | %20s | %16s | %6s | %12s | %11s | %10s |\n' "run" "slowest" "median" \
    "vs HTTP alone" "origin served / file" "bound on slowest" "failed" "both mapped" "one mapped" "neither"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n' "--------------------------" "-----------" "-----------" \
    "---------------" "----------------------" "------------------" "--------" "--------------" "-------------" \
    "------------"
http_slowest=$(awk '$1 == "http-only" {print $2}' "$WORK/summary.txt")
while read -r label slowest median served failed both one neither; do
    if [ "$label" = http-only ]; then
        name="HTTP alone" ratio=- bound=- both=- one=- neither=-
    else
        name="swarm, seed to the last"
        [ "$label" = swarm-tcp ] && name="... over TCP alone"
        # The origin and every player's uplink are all that can feed the copies.
        bound=$(awk -v n="$HOMES" -v f="$SIZE" -v r="$ORIGIN_RATE" -v c="$SWARM_DEFAULT_CAP" -v u="$((UPLINK_KIB * 1024))" \
            'BEGIN {printf "%.1f s", n * f / (r + n * (c < u ? c : u))}')
        ratio=-
        [ -n "$http_slowest" ] &&
            ratio=$(awk -v a="$http_slowest" -v b="$slowest" 'BEGIN {printf "%.2fx sooner", (b > 0 ? a / b : 0)}')
    fi
    printf '| %-24s | %7s s | %7s s | %13s | %18.2f x | %16s | %6s | %12s | %11s | %10s |\n' "$name" \
        "$(seconds "$slowest")" "$(seconds "$median")" "$ratio" \
        "$(awk -v s="$served" -v f="$SIZE" 'BEGIN {print s / f}')" "$bound" "$failed" "${both:--}" "${one:--}" "${neither:--}"
done <"$WORK/summary.txt"
echo
echo "'vs HTTP alone': the HTTP-only slowest copy's time over this run's (above 1 is sooner). 'bound on slowest':"
echo "the copies' bytes over the origin's rate plus every player's upload (cap and uplink, the lower), the least"
echo "time the slowest can take. Pairs: the pairs of homes whose players exchanged blocks, of all such pairs, by"
echo "how many of the two routers map ports (from the players' swarm traces)."
echo
echo "as shipped (TCP and uTP, introductions):"
cat "$WORK/swarm/pairs.txt"
echo
echo "over TCP alone:"
cat "$WORK/swarm-tcp/pairs.txt"
echo
echo "lab run took $((SECONDS - started)) s in all (lab, prefixes, every run)"
