#!/usr/bin/env bash
# Swarm scenarios of the engine, driven through p2sp-get.exe under wine,
# against real BitTorrent peers on loopback only: opentracker, transmission,
# qbittorrent-nox, aria2 and tests/servers/fault_peer.py, each started here
# with its own folders and ports 17260-17293 and ended by its process id. The
# HTTP side is tests/servers/range_server.py (17259). Fault peers that play
# hosts of their own take addresses 127.0.0.11-19 (the harness allows
# loopback peers); nothing listens beyond loopback.
#
# usage: swarm_scenarios.sh <build-dir>
# Environment (for runs outside CTest):
#   P2SP_WINE_RUN   command that runs a Windows program (default: scripts/wine-run.sh <build-dir>)
#   P2SP_SCENARIOS  space-separated scenario names: run only these
#   P2SP_DLL        another engine for the harness to load (Windows path), e.g. an
#                   older build, to show which scenarios it fails
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
bin=$build/bin
work=$build/swarm-scenarios
HTTP_PORT=17259
HTTP_URL=http://127.0.0.1:$HTTP_PORT
TRACKER_PORT=17260
ANNOUNCE=http://127.0.0.1:$TRACKER_PORT/announce
if [ -n "${P2SP_WINE_RUN:-}" ]; then
    read -ra WINE <<<"$P2SP_WINE_RUN"
else
    WINE=("$root/scripts/wine-run.sh" "$build")
fi

rm -rf "$work"
mkdir -p "$work/srv" "$work/tracker"

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# Every fixed port of the scenarios must be free: another run (or anything
# else) listening there would answer in our place.
for port in $(seq 17259 17293); do
    for _ in $(seq 240); do port_open $port || break; sleep 1; done
    if port_open $port; then echo "port $port stays busy: another test run?"; exit 1; fi
done

# Every process started here; each is ended by its id, and only those, and
# forgotten once it has ended.
pids=()
cleanup() {
    [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
    [ ${#pids[@]} -gt 0 ] && wait "${pids[@]}" 2>/dev/null
}
trap cleanup EXIT
stop_pid() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    local kept=() p
    for p in "${pids[@]}"; do [ "$p" = "$1" ] || kept+=("$p"); done
    pids=("${kept[@]}")
}
wait_port() { for _ in $(seq 100); do port_open "$1" && return 0; sleep 0.1; done; return 1; }

python3 "$root/tests/servers/range_server.py" --port $HTTP_PORT --root "$work/srv" --log "$work/http.log" \
    >"$work/http-server.out" 2>&1 </dev/null &
pids+=($!)
wait_port $HTTP_PORT || { echo "the HTTP server did not start"; exit 1; }

MIB=1048576
failures=0
fault_pids=()
make_file() { head -c "$2" /dev/urandom >"$1"; chmod a+r "$1"; }
winpath() { echo "Z:${1//\//\\}"; }
md5() { md5sum <"$1" | cut -d' ' -f1; }

# ---- the tracker ------------------------------------------------------------
# opentracker serves only the info hashes in its access list, a file inside
# the folder it enters at start; it reads the list at start, so it is
# started again whenever a torrent is added.
tracker_pid=
tracker_start() {
    [ -n "$tracker_pid" ] && stop_pid "$tracker_pid"
    mkdir -p "$work/tracker"
    opentracker -i 127.0.0.1 -p $TRACKER_PORT -P $TRACKER_PORT -d "$work/tracker" -w whitelist \
        >"$work/tracker.out" 2>&1 </dev/null &
    tracker_pid=$!
    pids+=($tracker_pid)
    wait_port $TRACKER_PORT
}
# make_torrent FILE NAME [url-list] [log2 of the piece length]: FILE.torrent
# announcing to our tracker, allowed there; 32 KiB pieces unless told.
make_torrent() {
    local args=(-a "$ANNOUNCE" -l "${4:-15}" -n "$2" -o "$1.torrent")
    [ -n "${3:-}" ] && args+=(-w "$3")
    rm -f "$1.torrent"
    mktorrent "${args[@]}" "$1" >/dev/null || return 1
    python3 "$root/tests/servers/torrent_info.py" "$1.torrent" >>"$work/tracker/whitelist"
    tracker_start
    tracker_allows "$1.torrent"
}
# opentracker opens its port before it has read its access list: a client
# that announces at once is refused. Waits until the tracker accepts TORRENT.
tracker_allows() {  # TORRENT
    python3 "$root/tests/servers/torrent_info.py" --wait-allowed "$ANNOUNCE" "$1" ||
        { echo "    the tracker never accepted the torrent"; return 1; }
}
# Seeders (or with KEY incomplete, leechers) the tracker knows for TORRENT.
seeders() {  # TORRENT [KEY]
    local hash
    hash=$(python3 "$root/tests/servers/torrent_info.py" --urlencoded "$1")
    curl -s "http://127.0.0.1:$TRACKER_PORT/scrape?info_hash=$hash" | KEY=${2:-complete} python3 -c '
import os, re, sys
key = os.environ["KEY"].encode()
m = re.search(b"%d:%si(\\d+)e" % (len(key), key), sys.stdin.buffer.read())
print(m.group(1).decode() if m else 0)'
}
wait_seeders() {  # TORRENT [HOW_MANY]
    for _ in $(seq 300); do [ "$(seeders "$1")" -ge "${2:-1}" ] && return 0; sleep 0.2; done
    echo "    the tracker never listed ${2:-1} seeder(s)"; return 1
}
wait_leechers() {
    for _ in $(seq 300); do [ "$(seeders "$1" incomplete)" -ge 1 ] && return 0; sleep 0.2; done
    echo "    the tracker never listed a leecher"; return 1
}

# ---- the independent clients -----------------------------------------------
# transmission-daemon: RPC and peers on loopback, no DHT, LPD or port mapping;
# uTP only when TR_UTP=1.
transmission_start() {  # DIR RPC_PORT PEER_PORT
    mkdir -p "$1/cfg" "$1/data"
    local utp=--no-utp
    [ "${TR_UTP:-0}" = 1 ] && utp=--utp
    transmission-daemon -f -g "$1/cfg" -w "$1/data" -p "$2" -r 127.0.0.1 -P "$3" -i 127.0.0.1 -I ::1 \
        -O -Y $utp -M -T -et --log-error >"$1/daemon.out" 2>&1 </dev/null &
    TR_PID=$!
    pids+=($TR_PID)
    wait_port "$2"
}
transmission_add() {  # RPC_PORT TORRENT DATA_DIR
    for _ in $(seq 50); do transmission-remote "127.0.0.1:$1" -a "$2" -w "$3" >/dev/null 2>&1 && return 0; sleep 0.2; done
    return 1
}
transmission_seeds() {  # DIR NAME: transmission (RPC 17261, peers 17262) seeds DIR/NAME of its torrent
    transmission_start "$1/peer" 17261 17262 && mkdir -p "$1/peer/data" && cp "$1/$2" "$1/peer/data/" &&
        transmission_add 17261 "$work/srv/$2.torrent" "$1/peer/data" || { echo "    transmission did not start"; return 1; }
    local _
    for _ in $(seq 100); do transmission_done 17261 && return 0; sleep 0.2; done
    echo "    transmission never had the file"
    return 1
}
transmission_done() {  # RPC_PORT: 0 when every torrent is complete
    transmission-remote "127.0.0.1:$1" -l 2>/dev/null | awk 'NR>1 && $1 ~ /^[0-9]/ && $2 != "100%" {bad=1} END {exit bad}'
}

# qbittorrent-nox with its own profile; Web UI and peers on loopback; peers
# over TCP and uTP, or QB_PROTOCOL (TCP or UTP) alone.
qbit_start() {  # DIR WEBUI_PORT PEER_PORT [pex: true|false, default false] [download KiB/s, default unlimited]
    mkdir -p "$1/profile/qBittorrent/config" "$1/data"
    cat >"$1/profile/qBittorrent/config/qBittorrent.conf" <<CONF
[LegalNotice]
Accepted=true

[BitTorrent]
Session\\Interface=lo
Session\\InterfaceName=lo
Session\\InterfaceAddress=127.0.0.1
Session\\Port=$3
Session\\DHTEnabled=false
Session\\LSDEnabled=false
Session\\PeXEnabled=${4:-false}
Session\\Encryption=0
Session\\DefaultSavePath=$1/data
Session\\MultiConnectionsPerIp=true
Session\\BTProtocol=${QB_PROTOCOL:-Both}
Session\\GlobalDLSpeedLimit=${5:-0}
Session\\IgnoreLimitsOnLAN=false
Session\\QueueingSystemEnabled=false

[Preferences]
WebUI\\Address=127.0.0.1
WebUI\\Port=$2
WebUI\\LocalHostAuth=false
WebUI\\CSRFProtection=false
WebUI\\HostHeaderValidation=false
Connection\\UPnP=false
Connection\\ResolvePeerCountries=false
General\\UseRandomPort=false
CONF
    HOME="$1" qbittorrent-nox --profile="$1/profile" >"$1/qbit.out" 2>&1 </dev/null &
    QB_PID=$!
    pids+=($QB_PID)
    wait_port "$2"
}
qbit_add() {  # WEBUI_PORT TORRENT DATA_DIR
    for _ in $(seq 50); do
        curl -sf -F "torrents=@$2" -F "savepath=$3" "http://127.0.0.1:$1/api/v2/torrents/add" >/dev/null && return 0
        sleep 0.2
    done
    return 1
}
qbit_done() {  # WEBUI_PORT: 0 when every torrent is complete
    curl -sf "http://127.0.0.1:$1/api/v2/torrents/info" |
        python3 -c 'import json,sys; t=json.load(sys.stdin); sys.exit(0 if t and all(x["progress"] >= 1 for x in t) else 1)'
}

# aria2c: seeds or downloads one torrent on loopback, no DHT, LPD or PEX.
aria2_start() {  # DIR PEER_PORT TORRENT
    mkdir -p "$1"
    aria2c -d "$1" --interface=127.0.0.1 --listen-port="$2" --enable-dht=false --enable-dht6=false \
        --bt-enable-lpd=false --enable-peer-exchange=false --disable-ipv6=true --seed-ratio=0.0 \
        --check-integrity=true --bt-hash-check-seed=true --console-log-level=warn --summary-interval=0 \
        --bt-stop-timeout=0 "$3" >"$1/aria2.out" 2>&1 </dev/null &
    A2_PID=$!
    pids+=($A2_PID)
}

# ---- the engine -------------------------------------------------------------
dll=()
[ -n "${P2SP_DLL:-}" ] && dll=(--dll "$P2SP_DLL")
# get URL TARGET [options]: runs the harness; sets RC and OUT.
get() {
    OUT=$("${WINE[@]}" "$bin/p2sp-get.exe" "$1" "$(winpath "$2")" --poll-ms 200 --timeout-s 150 "${dll[@]}" "${@:3}" \
        2>&1 </dev/null | tr -d '\r')
    RC=${PIPESTATUS[0]}
    echo "$OUT" >"$work/last.out"
    echo "$OUT" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
    echo "$OUT" | grep '^swarm' | tail -1 | sed 's/^/    last: /' >>"$work/harness.log"
}
# get_bg ...: the same in the background; its output goes to $work/bg.out.
get_bg() {
    "${WINE[@]}" "$bin/p2sp-get.exe" "$1" "$(winpath "$2")" --poll-ms 200 --timeout-s 150 "${dll[@]}" "${@:3}" \
        >"$work/bg.out" 2>&1 </dev/null &
    BG_PID=$!
    pids+=($BG_PID)
}
# The last swarm figure NAME ("got", "sent", "banned", "bad", "peers") in OUT.
swarm_figure() { echo "$OUT" | grep '^swarm' | tail -1 | sed -n "s/.* $1 \([0-9]*\).*/\1/p"; }
same_file() { [ -f "$2" ] && [ "$(md5 "$1")" = "$(md5 "$2")" ] || { echo "    the file differs or is missing"; return 1; }; }
finished() { [ "$RC" -eq 0 ] || { echo "    the harness ended with $RC"; echo "$OUT" | tail -5 | sed 's/^/      /'; return 1; }; }

# A fault peer (tests/servers/fault_peer.py) as a host of its own.
start_fault() {  # NAME MODE ADDRESS PORT TORRENT FILE [options...]
    python3 "$root/tests/servers/fault_peer.py" --mode "$2" --address "$3" --port "$4" --torrent "$5" \
        --file "$6" --log "$dir/$1.log" "${@:7}" >"$dir/$1.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
}
# The time the harness's last run took, in ms.
run_ms() { echo "$OUT" | sed -n 's/^finished state [0-9]*, [0-9]* bytes in \([0-9]*\) ms/\1/p'; }
# Waits for the harness in the background, then folds its output into OUT.
wait_bg() {
    wait "$BG_PID"
    RC=$?
    stop_pid "$BG_PID"
    OUT=$(tr -d '\r' <"$work/bg.out")
    echo "$OUT" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
}
trace_has() {  # TRACE PATTERN
    grep -q "$2" "$1" 2>/dev/null || { echo "    the trace never says: $2"; return 1; }
}

# ---- scenarios ----------------------------------------------------------------
# Our engine fetches from a client that is the only seeder; the task's URL is
# refused (404), so every byte comes from that peer. With "utp", the client
# and the engine speak uTP alone (transmission takes TCP too: the engine
# dials it over uTP only).
from_client() {  # KIND [utp]
    local kind=$1 over=${2:-tcp} dir=$work/from-$1${2:+-$2} name=from-$1${2:+-$2}.bin
    local TR_UTP=0 QB_PROTOCOL=Both engine=()
    [ "$over" = utp ] && TR_UTP=1 QB_PROTOCOL=UTP engine=(--utp-only)
    mkdir -p "$dir"
    make_file "$dir/$name" $((3 * MIB))
    make_torrent "$dir/$name" "$name" || return 1
    cp "$dir/$name.torrent" "$work/srv/"
    case $kind in
    transmission) transmission_start "$dir/peer" 17261 17262 && mkdir -p "$dir/peer/data" &&
        cp "$dir/$name" "$dir/peer/data/" && transmission_add 17261 "$dir/$name.torrent" "$dir/peer/data" ;;
    qbittorrent) qbit_start "$dir/peer" 17264 17265 && cp "$dir/$name" "$dir/peer/data/" &&
        qbit_add 17264 "$dir/$name.torrent" "$dir/peer/data" ;;
    aria2) mkdir -p "$dir/peer" && cp "$dir/$name" "$dir/peer/" && aria2_start "$dir/peer" 17266 "$dir/$name.torrent" ;;
    esac || { echo "    $kind did not start"; return 1; }
    wait_seeders "$dir/$name.torrent" || return 1
    mkdir -p "$dir/dl"
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" \
        --seed "$HTTP_URL/$name.torrent" --port 17270-17274 "${engine[@]}"
    finished && same_file "$dir/$name" "$dir/dl/$name" || return 1
    [ "$(swarm_figure got)" -eq $((3 * MIB)) ] || { echo "    not every byte came from the peer"; return 1; }
    [ "$over" = tcp ] || over_utp "$dir/trace.txt"
}
# The engine's trace shows a peer active over uTP and no TCP dial.
over_utp() {  # TRACE
    trace_has "$1" '^dial uTP' && trace_has "$1" '^peer [0-9]* .* active' || return 1
    ! grep -q '^dial [0-9a-f[]' "$1" || { echo "    a dial over TCP"; return 1; }
}

# A client downloads what only our engine seeds: the client starts first
# (with no peer to fetch from), then the engine fetches the file over HTTP,
# dials the client it learns from the tracker and seeds to it; the client
# has no other source. (Transmission never dials loopback addresses a
# tracker names, so the engine must be the one that dials.)
to_client() {  # KIND [utp]
    local kind=$1 over=${2:-tcp} dir=$work/to-$1${2:+-$2} name=to-$1${2:+-$2}.bin
    local TR_UTP=0 QB_PROTOCOL=Both engine=()
    [ "$over" = utp ] && TR_UTP=1 QB_PROTOCOL=UTP engine=(--utp-only)
    mkdir -p "$dir/dl" "$dir/peer"
    make_file "$work/srv/$name" $((3 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    mv "$work/srv/$name.torrent" "$dir/$name.torrent"
    cp "$dir/$name.torrent" "$work/srv/"
    case $kind in
    transmission) transmission_start "$dir/peer" 17261 17262 && transmission_add 17261 "$dir/$name.torrent" "$dir/peer/data" ;;
    qbittorrent) qbit_start "$dir/peer" 17264 17265 && qbit_add 17264 "$dir/$name.torrent" "$dir/peer/data" ;;
    aria2) aria2_start "$dir/peer/data" 17266 "$dir/$name.torrent" ;;
    esac || { echo "    $kind did not start"; return 1; }
    wait_leechers "$dir/$name.torrent" || return 1
    # The finished file's rename is slowed down: requests that arrive while
    # neither file can be read must still be served.
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") P2SP_TEST_RENAME_PAUSE_MS=1500 \
        get_bg "$HTTP_URL/$name" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17275-17279 --seed-for 90 \
        "${engine[@]}"
    local ok=1
    for _ in $(seq 300); do
        case $kind in
        transmission) transmission_done 17261 && ok=0 ;;
        qbittorrent) qbit_done 17264 && ok=0 ;;
        aria2) cmp -s "$work/srv/$name" "$dir/peer/data/$name" && ok=0 ;;
        esac
        [ $ok -eq 0 ] && break
        sleep 0.2
    done
    stop_pid "$BG_PID"
    tr -d '\r' <"$work/bg.out" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
    if [ $ok -ne 0 ]; then
        echo "    $kind did not complete"
        sed 's/^/    trace: /' "$dir/trace.txt" 2>/dev/null | tail -40 >>"$work/harness.log"
        return 1
    fi
    same_file "$work/srv/$name" "$dir/peer/data/$name" || return 1
    [ "$over" = tcp ] || over_utp "$dir/trace.txt"
}

scenario_from_transmission() { from_client transmission; }
scenario_from_qbittorrent() { from_client qbittorrent; }
scenario_from_aria2() { from_client aria2; }
scenario_to_transmission() { to_client transmission; }
scenario_to_qbittorrent() { to_client qbittorrent; }
scenario_to_aria2() { to_client aria2; }
scenario_from_transmission_over_utp() { from_client transmission utp; }
scenario_from_qbittorrent_over_utp() { from_client qbittorrent utp; }
scenario_to_transmission_over_utp() { to_client transmission utp; }
scenario_to_qbittorrent_over_utp() { to_client qbittorrent utp; }

# A peer that sends corrupt pieces is banned, and the file still comes out
# right (HTTP and the good peer carry it).
scenario_corrupt_peer_is_banned() {
    local dir=$work/corrupt name=corrupt.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((2 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    python3 "$root/tests/servers/fault_peer.py" --port 17280 --torrent "$work/srv/$name.torrent" \
        --file "$work/srv/$name" --mode corrupt --log "$dir/fault.log" >"$dir/fault.out" 2>&1 </dev/null &
    pids+=($!)
    wait_seeders "$work/srv/$name.torrent" || return 1
    get "$HTTP_URL/$name?rate=400000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    [ "$(swarm_figure banned)" -ge 1 ] || { echo "    the corrupt peer was not banned"; return 1; }
    [ "$(swarm_figure bad)" -ge 2 ] || { echo "    no bad piece was seen"; return 1; }
}

# A peer that goes away in the middle of a piece: the piece is fetched again
# whole elsewhere and the file is right.
scenario_peer_leaving_mid_piece() {
    local dir=$work/drop name=drop.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((2 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    python3 "$root/tests/servers/fault_peer.py" --port 17281 --torrent "$work/srv/$name.torrent" \
        --file "$work/srv/$name" --mode drop --log "$dir/fault.log" >"$dir/fault.out" 2>&1 </dev/null &
    pids+=($!)
    wait_seeders "$work/srv/$name.torrent" || return 1
    get "$HTTP_URL/$name?rate=800000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    grep -q "dropping after" "$dir/fault.log" || { echo "    the peer never dropped a piece"; return 1; }
}

# The tracker is down: HTTP carries the whole download, and with no peer in
# sight it soon gets every connection an HTTP-only task would have.
scenario_tracker_down() {
    local dir=$work/notracker name=notracker.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((8 * MIB))
    mktorrent -a "http://127.0.0.1:17289/announce" -l 15 -n "$name" -o "$work/srv/$name.torrent" "$work/srv/$name" >/dev/null
    # 2 connections at 250 kB/s would take 16 s: more join after 10 s.
    get "$HTTP_URL/$name?rate=250000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    local most
    most=$(echo "$OUT" | sed -n 's/^source 0 .*: \([0-9]*\) connections.*/\1/p')
    [ "${most:-0}" -gt 2 ] || { echo "    HTTP kept ${most:-0} connections without peers"; return 1; }
}

# Torrents that do not fit are ignored or refused; HTTP carries on.
scenario_unusable_torrents_leave_http_alone() {
    local dir=$work/unusable name=unusable.bin other
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((2 * MIB))
    make_file "$dir/other.bin" $((1 * MIB))
    mktorrent -a "$ANNOUNCE" -l 15 -n "$name" -o "$work/srv/wrong-size.torrent" "$dir/other.bin" >/dev/null
    make_file "$dir/$name" $((2 * MIB))
    mktorrent -a "$ANNOUNCE" -l 15 -n "other-name.bin" -o "$work/srv/wrong-name.torrent" "$work/srv/$name" >/dev/null
    head -c 700 "$work/srv/wrong-name.torrent" >"$work/srv/cut-short.torrent"
    make_file "$work/srv/garbage.torrent" 5000
    printf 'd8:announce' >"$work/srv/looks-like.torrent"
    head -c 3000 /dev/urandom >>"$work/srv/looks-like.torrent"
    for seed in wrong-size wrong-name cut-short garbage looks-like; do
        rm -f "$dir/dl/$name"
        get "$HTTP_URL/$name" "$dir/dl/$name" --seed "$HTTP_URL/$seed.torrent" --port 17270-17274
        finished && same_file "$work/srv/$name" "$dir/dl/$name" || { echo "    with $seed"; return 1; }
        ! echo "$OUT" | grep -q '^swarm [12] ' || { echo "    $seed started a swarm"; return 1; }
    done
}

# One slow seeder plus a web seed: the file completes, and both the HTTP
# and the peer speed showed while it ran. The portal here is the range
# server with a rate per response (nginx on loopback would finish before
# any peer is dialled); the web seed is its URL from the torrent's url-list.
scenario_mixed_web_seed_and_slow_peer() {
    local dir=$work/mixed name=mixed.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((12 * MIB))
    make_torrent "$work/srv/$name" "$name" "$HTTP_URL/$name?rate=300001" || return 1
    python3 "$root/tests/servers/fault_peer.py" --port 17283 --torrent "$work/srv/$name.torrent" \
        --file "$work/srv/$name" --mode good --block-delay 0.01 --log "$dir/peer.log" >"$dir/peer.out" 2>&1 </dev/null &
    pids+=($!)
    wait_seeders "$work/srv/$name.torrent" || return 1
    get "$HTTP_URL/$name?rate=300000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    echo "$OUT" | awk '$1 == "speeds" && $2 > 0 {s=1} $1 == "speeds" && $3 > 0 {p=1} END {exit !(s && p)}' ||
        { echo "    the two speeds were not both seen"; return 1; }
    echo "$OUT" | grep -q '^source 1 ' || { echo "    the web seed was not used"; return 1; }
}

# Killed mid-way and run again: no verified piece is fetched a second time.
scenario_kill_and_resume_fetches_no_piece_twice() {
    local dir=$work/resume name=resume.bin
    mkdir -p "$dir/dl"
    make_file "$dir/$name" $((4 * MIB))
    make_torrent "$dir/$name" "$name" || return 1
    cp "$dir/$name.torrent" "$work/srv/"
    python3 "$root/tests/servers/fault_peer.py" --port 17282 --torrent "$dir/$name.torrent" \
        --file "$dir/$name" --mode good --block-delay 0.02 --log "$dir/peer.log" >"$dir/peer.out" 2>&1 </dev/null &
    pids+=($!)
    wait_seeders "$dir/$name.torrent" || return 1
    get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274 \
        --kill-at-percent 40
    [ "$RC" -eq 99 ] || { echo "    the first run was not killed ($RC)"; return 1; }
    local first
    first=$(grep -c '^block' "$dir/peer.log")
    get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$dir/$name" "$dir/dl/$name" || return 1
    # Every block is served once, but for those of pieces that were not yet
    # verified at the kill (fetched again whole).
    local blocks total
    blocks=$(grep '^block' "$dir/peer.log" | sort | uniq -d | wc -l)
    total=$(( (4 * MIB) / 16384 ))
    echo "    first run $first blocks, repeated $blocks of $total" >>"$work/harness.log"
    # At most what was in flight at the kill (16 requests) and the few
    # pieces verified after the record was last written.
    [ "$blocks" -le 32 ] || { echo "    $blocks blocks were fetched twice"; return 1; }
}

# StopSeed ends the seeding of a finished task: its swarm stops (and with
# it the listening socket), while StopTask at completion had left it alone.
scenario_stop_seed_ends_seeding() {
    local dir=$work/stopseed name=stopseed.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((1 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    get "$HTTP_URL/$name" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274 \
        --seed-for 5 --stop-seed-after 2
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    echo "$OUT" | awk '$1 == "seeding" {s=1} s && $1 == "swarm" && $2 == 2 {seeding=1}
        $1 == "stop" {stop=1} stop && $1 == "swarm" {last=$2} END {exit !(seeding && stop && last == 0)}' ||
        { echo "    seeding did not run, or did not end at StopSeed"; return 1; }
}

# Killed after its last piece but before the rename: the next run finds
# every piece verified, renames the file without a request and seeds it
# like one finished in this run.
scenario_complete_at_start_is_seeded() {
    local dir=$work/complete name=complete.bin
    mkdir -p "$dir/dl" "$dir/peer"
    make_file "$work/srv/$name" $((2 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    P2SP_TEST_RENAME_PAUSE_MS=8000 get "$HTTP_URL/$name" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" \
        --port 17270-17274 --kill-at-percent 100 --kill-delay-ms 3000
    if [ "$RC" -ne 99 ] || [ ! -f "$dir/dl/$name.P2P" ] || [ -f "$dir/dl/$name" ]; then
        echo "    the first run was not killed between its last piece and the rename ($RC)"
        return 1
    fi
    local served
    served=$(wc -l <"$work/http.log")
    aria2_start "$dir/peer" 17267 "$work/srv/$name.torrent"
    wait_leechers "$work/srv/$name.torrent" || return 1
    get_bg "$HTTP_URL/$name" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17275-17279 --seed-for 60
    local ok=1
    for _ in $(seq 300); do
        cmp -s "$work/srv/$name" "$dir/peer/$name" && { ok=0; break; }
        sleep 0.2
    done
    stop_pid "$BG_PID"
    tr -d '\r' <"$work/bg.out" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
    [ $ok -eq 0 ] || { echo "    aria2 got nothing from the file complete at start"; return 1; }
    same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    # The second run asked the server for the torrent only.
    if tail -n +"$((served + 1))" "$work/http.log" | grep -v '\.torrent' | grep -q "$name"; then
        echo "    the second run fetched file bytes again"
        return 1
    fi
}

# ---- hostile peers ------------------------------------------------------------
# A peer that unchokes and never sends, and one that sends a block every 6 s
# (inside any request time-out), hold pieces: the download is not much
# slower than HTTP alone, which takes what they do not deliver.
scenario_silent_and_slow_peers_never_hold_http_back() {
    local dir=$work/silent name=silent.bin
    mkdir -p "$dir/alone" "$dir/dl"
    make_file "$work/srv/$name" $((12 * MIB))
    make_torrent "$work/srv/$name" "$name" "" 18 || return 1
    get "$HTTP_URL/$name?rate=262144" "$dir/alone/$name"
    finished && same_file "$work/srv/$name" "$dir/alone/$name" || return 1
    local alone
    alone=$(run_ms)
    start_fault staller staller 127.0.0.13 17284 "$work/srv/$name.torrent" "$work/srv/$name"
    start_fault slowloris slowloris 127.0.0.14 17285 "$work/srv/$name.torrent" "$work/srv/$name" --block-delay 6
    wait_seeders "$work/srv/$name.torrent" 2 || return 1
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") \
        get "$HTTP_URL/$name?rate=262144" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    local took
    took=$(run_ms)
    echo "    HTTP alone $alone ms, beside the two peers $took ms" >>"$work/harness.log"
    grep -q "request ignored" "$dir/staller.log" || { echo "    the staller was never asked"; return 1; }
    # Not a speed test: the fault made this ten times slower than HTTP alone.
    [ "$took" -le $((alone * 2 + 5000)) ] || { echo "    $took ms beside them, $alone ms alone"; return 1; }
}

# Hosts that misbehave get little and lose their connection: a flood of
# connections from one address gets a few slots only; a peer that streams
# blocks nobody asked for, and one whose second bitfield takes back the
# pieces its first gave, are closed. The download goes on.
scenario_hostile_hosts_take_few_slots_and_are_closed() {
    local dir=$work/hostile name=hostile.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((6 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    start_fault unsolicited unsolicited 127.0.0.18 17286 "$work/srv/$name.torrent" "$work/srv/$name"
    start_fault rebitfield rebitfield 127.0.0.19 17287 "$work/srv/$name.torrent" "$work/srv/$name"
    wait_seeders "$work/srv/$name.torrent" 2 || return 1
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") \
        get_bg "$HTTP_URL/$name?rate=500000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    wait_port 17270 || { echo "    the engine never listened"; return 1; }
    start_fault flood flood 127.0.0.15 0 "$work/srv/$name.torrent" "$work/srv/$name" --dial 127.0.0.1:17270 \
        --connections 40
    wait_bg
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    local answered
    answered=$(sed -n 's/^flood: \([0-9]*\) of .*/\1/p' "$dir/flood.log")
    [ -n "$answered" ] && [ "$answered" -le 8 ] || { echo "    one host got ${answered:-?} connections"; return 1; }
    trace_has "$dir/trace.txt" "unsolicited blocks" && trace_has "$dir/trace.txt" "protocol broken"
}

# A peer that corrupts one block of every piece it shares with an honest
# peer is found by comparing its blocks with the good copy, and banned; the
# honest peer never is.
scenario_a_corrupt_block_in_shared_pieces_is_traced() {
    local dir=$work/shared name=shared.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((8 * MIB))
    make_torrent "$work/srv/$name" "$name" "" 20 || return 1
    start_fault honest good 127.0.0.11 17284 "$work/srv/$name.torrent" "$work/srv/$name" --block-delay 0.01
    start_fault liar corruptblock 127.0.0.12 17285 "$work/srv/$name.torrent" "$work/srv/$name" --block-delay 0.01
    wait_seeders "$work/srv/$name.torrent" 2 || return 1
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") \
        get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    trace_has "$dir/trace.txt" "ban 7f00000c" || return 1
    ! grep -q "ban 7f00000b" "$dir/trace.txt" || { echo "    the honest peer was banned"; return 1; }
    trace_has "$dir/trace.txt" "banned: a bad block"
}

# A banned peer that comes back from the same host under a new peer id is
# refused before the handshake.
scenario_a_banned_peer_cannot_return_under_a_new_id() {
    local dir=$work/rejoin name=rejoin.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((3 * MIB))
    make_torrent "$work/srv/$name" "$name" || return 1
    get_bg "$HTTP_URL/$name?rate=300000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    wait_port 17270 || { echo "    the engine never listened"; return 1; }
    start_fault rejoiner rejoin 127.0.0.16 0 "$work/srv/$name.torrent" "$work/srv/$name" --dial 127.0.0.1:17270 \
        --connections 4
    wait_bg
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    [ "$(swarm_figure banned)" -ge 1 ] || { echo "    the corrupt peer was not banned"; return 1; }
    grep -q "ended: refused before the handshake" "$dir/rejoiner.log" ||
        { echo "    the banned host came back"; grep ended "$dir/rejoiner.log" | sed 's/^/      /'; return 1; }
}

# A peer that answers each request 12 s late, with corrupt data: by then
# the piece has gone to HTTP, and not one of its blocks lands in the file.
scenario_late_blocks_never_land() {
    local dir=$work/late name=late.bin
    mkdir -p "$dir/dl"
    make_file "$work/srv/$name" $((6 * MIB))
    make_torrent "$work/srv/$name" "$name" "" 18 || return 1
    start_fault late late 127.0.0.17 17288 "$work/srv/$name.torrent" "$work/srv/$name" --block-delay 12
    wait_seeders "$work/srv/$name.torrent" || return 1
    # HTTP takes about 13 s: the late blocks arrive while the download runs.
    get "$HTTP_URL/$name?rate=80000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    grep -q "^block" "$dir/late.log" || { echo "    the late peer sent nothing while the download ran"; return 1; }
    [ "$(swarm_figure bad)" -eq 0 ] || { echo "    late blocks were written ($(swarm_figure bad) bad pieces)"; return 1; }
}

# Trackers that never answer (one trickles its answer a byte a second, one
# drops every datagram) never hold an exported call: the task is stopped and
# started again while they hang, then the engine is shut down.
scenario_dead_trackers_never_block_the_api() {
    local dir=$work/deadtracker name=deadtracker.bin
    mkdir -p "$dir/dl"
    python3 "$root/tests/servers/stall_tracker.py" --http-port 17292 --udp-port 17293 >"$dir/tracker.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    wait_port 17292 || { echo "    the stalling tracker did not start"; return 1; }
    make_file "$work/srv/$name" $((4 * MIB))
    mktorrent -a "http://127.0.0.1:17292/announce" -a "udp://127.0.0.1:17293/announce" -l 15 -n "$name" \
        -o "$work/srv/$name.torrent" "$work/srv/$name" >/dev/null
    get "$HTTP_URL/$name?rate=250000" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17270-17274 \
        --restart-after-ms 1500
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    echo "$OUT" | grep -q "^restarted 1" || { echo "    the task was not restarted"; return 1; }
    local slowest
    slowest=$(echo "$OUT" | sed -n 's/^api slowest \([0-9]*\) ms.*/\1/p' | tail -1)
    [ -n "$slowest" ] && [ "$slowest" -lt 1000 ] || { echo "    an exported call took ${slowest:-?} ms"; return 1; }
}

# Peer exchange with an independent client: qbittorrent-nox holds the torrent
# without any tracker and is told of our engine only; the engine, which met
# a transmission seeder through the tracker, tells it of that seeder (ut_pex),
# and qbittorrent dials the seeder, marking it as a peer from peer exchange.
scenario_peers_are_exchanged_with_qbittorrent() {
    local dir=$work/pex name=pex.bin hash
    mkdir -p "$dir/seed" "$dir/dl"
    make_file "$dir/seed/$name" $((8 * MIB))
    make_torrent "$dir/seed/$name" "$name" || return 1
    cp "$dir/seed/$name.torrent" "$work/srv/"
    python3 - "$dir/seed/$name.torrent" "$dir/trackerless.torrent" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
# The announce entry is the first of the top dictionary: the rest is the same torrent.
assert data.startswith(b"d8:announce")
length_end = data.index(b":", 11)
value_end = length_end + 1 + int(data[11:length_end])
open(sys.argv[2], "wb").write(b"d" + data[value_end:])
PY
    hash=$(python3 "$root/tests/servers/torrent_info.py" "$dir/seed/$name.torrent")
    transmission_start "$dir/tr" 17261 17262 && cp "$dir/seed/$name" "$dir/tr/data/" &&
        transmission_add 17261 "$dir/seed/$name.torrent" "$dir/tr/data" || { echo "    transmission did not start"; return 1; }
    wait_seeders "$dir/seed/$name.torrent" || return 1
    qbit_start "$dir/qb" 17264 17265 true && qbit_add 17264 "$dir/trackerless.torrent" "$dir/qb/data" ||
        { echo "    qbittorrent did not start"; return 1; }
    # The engine, slowed by an HTTP source that is missing: peers only.
    get_bg "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17275 \
        --seed-for 60
    # Told once the engine listens: a refused dial makes qbittorrent wait long.
    wait_port 17275 || { echo "    the engine does not listen"; return 1; }
    curl -sf -d "hashes=$hash&peers=127.0.0.1:17275" "http://127.0.0.1:17264/api/v2/torrents/addPeers" >/dev/null
    local told=1
    for _ in $(seq 150); do
        curl -sf "http://127.0.0.1:17264/api/v2/sync/torrentPeers?hash=$hash" | python3 -c '
import json, sys
peers = json.load(sys.stdin).get("peers", {})
seeder = peers.get("127.0.0.1:17262")
sys.exit(0 if seeder and "X" in seeder.get("flags", "") else 1)' && { told=0; break; }
        sleep 0.4
    done
    stop_pid "$BG_PID"
    tr -d '\r' <"$work/bg.out" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
    [ $told -eq 0 ] || { echo "    qbittorrent never met the seeder through the engine"; return 1; }
}

# The other way: qbittorrent tells our engine of a seeder only it knows.
# aria2 seeds without a tracker; qbittorrent (its downloads held to 16 KiB/s,
# so it stays a leecher that has little to give) is told of aria2 and of our
# engine; the engine's tracker names nobody and its URL is missing. Only
# qbittorrent's ut_pex (its first comes about a minute after the handshake)
# brings the engine to aria2.
scenario_peers_are_learned_from_qbittorrent() {
    local dir=$work/pexin name=pexin.bin hash
    mkdir -p "$dir/seed" "$dir/dl"
    make_file "$dir/seed/$name" $((4 * MIB))
    mktorrent -a "http://127.0.0.1:17290/announce" -l 15 -n "$name" -o "$work/srv/$name.torrent" "$dir/seed/$name" \
        >/dev/null || return 1
    python3 "$root/tests/servers/static_tracker.py" --port 17290 >"$dir/tracker.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    hash=$(python3 "$root/tests/servers/torrent_info.py" "$work/srv/$name.torrent")
    aria2_start "$dir/seed" 17266 "$work/srv/$name.torrent"
    wait_port 17266 || { echo "    aria2 does not listen"; return 1; }
    qbit_start "$dir/qb" 17264 17265 true 16 && qbit_add 17264 "$work/srv/$name.torrent" "$dir/qb/data" ||
        { echo "    qbittorrent did not start"; return 1; }
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") get_bg "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" \
        --seed "$HTTP_URL/$name.torrent" --port 17275
    wait_port 17275 || { echo "    the engine does not listen"; return 1; }
    curl -sf -d "hashes=$hash&peers=127.0.0.1:17266|127.0.0.1:17275" \
        "http://127.0.0.1:17264/api/v2/torrents/addPeers" >/dev/null || { echo "    qbittorrent refused the peers"; return 1; }
    wait_bg
    finished && same_file "$dir/seed/$name" "$dir/dl/$name" || return 1
    # aria2 is never a candidate from a tracker: dialled because qbittorrent
    # told of it, and the file came from it.
    trace_has "$dir/trace.txt" 'told of [1-9]' && trace_has "$dir/trace.txt" 'peer [0-9]* 7f000001:17266 active' &&
        trace_has "$dir/trace.txt" 'close peer [0-9]* 7f000001:17266: .*(got [1-9]' &&
        ! trace_has "$dir/trace.txt" 'candidate 7f000001:17266' >/dev/null
}

# And transmission: a copy of our engine that seeds dials transmission (a
# leecher held to 16 KiB/s) from a host of its own (transmission takes one
# connection per address); a second copy, whose tracker names only
# transmission and whose URL is missing, gets the file from the seeding copy:
# transmission's ut_pex tells each of the other, and one dials.
scenario_peers_are_learned_from_transmission() {
    local dir=$work/pextr name=pextr.bin
    mkdir -p "$dir/tr" "$dir/seed" "$dir/dl"
    make_file "$work/srv/$name" $((4 * MIB))
    mktorrent -a "http://127.0.0.1:17290/announce" -l 15 -n "$name" -o "$work/srv/$name.torrent" "$work/srv/$name" \
        >/dev/null || return 1
    mktorrent -a "http://127.0.0.1:17291/announce" -l 15 -n "$name" -o "$dir/tr.torrent" "$work/srv/$name" \
        >/dev/null || return 1
    python3 "$root/tests/servers/static_tracker.py" --port 17290 --peer 127.0.0.1:17262 >"$dir/tracker.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    python3 "$root/tests/servers/static_tracker.py" --port 17291 >"$dir/tracker2.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    transmission_start "$dir/tr" 17261 17262 && transmission-remote 127.0.0.1:17261 -d 16 >/dev/null &&
        transmission_add 17261 "$dir/tr.torrent" "$dir/tr/data" || { echo "    transmission did not start"; return 1; }
    P2SP_SWARM_TRACE=$(winpath "$dir/seed-trace.txt") get_bg "$HTTP_URL/$name" "$dir/seed/$name" \
        --seed "$HTTP_URL/$name.torrent" --listen-address 127.0.0.12 --port 17276 --seed-for 140
    local seeder=$BG_PID
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" \
        --seed "$HTTP_URL/$name.torrent" --port 17275
    stop_pid "$seeder"
    finished && same_file "$work/srv/$name" "$dir/dl/$name" || return 1
    # The file came from the seeding copy, over a connection one of the two
    # dialled after transmission told it of the other (no tracker names
    # either copy): whichever heard first.
    trace_has "$dir/trace.txt" 'close peer [0-9]* 7f00000c:[0-9]*: .*(got [1-9]' || return 1
    if grep -q 'dial 7f00000c:17276' "$dir/trace.txt"; then
        ! trace_has "$dir/trace.txt" 'candidate 7f00000c:17276' >/dev/null
    else
        trace_has "$dir/seed-trace.txt" 'dial 7f000001:17275' &&
            ! trace_has "$dir/seed-trace.txt" 'candidate 7f000001:17275' >/dev/null
    fi
}

# IPv6 peers: a tracker names transmission and our engine at ::1 only
# ("peers6"), the task's URL is missing. The engine dials transmission over
# IPv6 and gets every byte from it; a second copy then gets the file from
# both, and the first accepts it over IPv6.
scenario_ipv6_peers_are_dialled_and_accepted() {
    local dir=$work/ipv6 name=ipv6.bin
    mkdir -p "$dir/dl" "$dir/dl2"
    make_file "$dir/$name" $((3 * MIB))
    mktorrent -a "http://127.0.0.1:17290/announce" -l 15 -n "$name" -o "$work/srv/$name.torrent" "$dir/$name" \
        >/dev/null || return 1
    python3 "$root/tests/servers/static_tracker.py" --port 17290 --peer "[::1]:17262" --peer "[::1]:17275" \
        >"$dir/tracker.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    transmission_seeds "$dir" "$name" || return 1
    P2SP_SWARM_TRACE=$(winpath "$dir/trace.txt") get_bg "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" \
        --seed "$HTTP_URL/$name.torrent" --port 17275 --seed-for 60
    local got=1
    for _ in $(seq 300); do cmp -s "$dir/$name" "$dir/dl/$name" && { got=0; break; }; sleep 0.2; done
    [ $got -eq 0 ] || { stop_pid "$BG_PID"; echo "    the engine never got the file"; return 1; }
    get "$HTTP_URL/missing/$name?status=404" "$dir/dl2/$name" --seed "$HTTP_URL/$name.torrent" --port 17276
    stop_pid "$BG_PID"
    tr -d '\r' <"$work/bg.out" | grep -v '^progress\|^speeds\|^swarm' | sed 's/^/    /' >>"$work/harness.log"
    finished && same_file "$dir/$name" "$dir/dl2/$name" || return 1
    trace_has "$dir/trace.txt" 'listening on IPv6 too' &&
        trace_has "$dir/trace.txt" 'peer [0-9]* \[::1\]:17262 active' &&
        trace_has "$dir/trace.txt" 'accepted peer [0-9]* \[::1\]:'
}

# A download whose first announce names nobody (no other peer had come
# yet) asks again at the tracker's min interval, not at its full half hour,
# and meets the seeder that came since; no sooner than the min interval.
scenario_a_download_with_nobody_asks_the_tracker_again_soon() {
    local dir=$work/starved name=starved.bin
    mkdir -p "$dir/dl"
    make_file "$dir/$name" $((2 * MIB))
    mktorrent -a "http://127.0.0.1:17294/announce" -l 15 -n "$name" -o "$work/srv/$name.torrent" "$dir/$name" \
        >/dev/null || return 1
    python3 "$root/tests/servers/static_tracker.py" --port 17294 --interval 1800 --min-interval 15 --silent-first 1 \
        --peer 127.0.0.1:17262 >"$dir/tracker.out" 2>&1 </dev/null &
    pids+=($!)
    fault_pids+=($!)
    wait_port 17294 || { echo "    the tracker did not start"; return 1; }
    transmission_seeds "$dir" "$name" || return 1
    get "$HTTP_URL/missing/$name?status=404" "$dir/dl/$name" --seed "$HTTP_URL/$name.torrent" --port 17297 \
        --timeout-s 90
    finished && same_file "$dir/$name" "$dir/dl/$name" || return 1
    python3 - "$dir/tracker.out" <<'PY'
import sys
rows = [line.split() for line in open(sys.argv[1])]
times = [float(row[1]) for row in rows if row[:1] == ["announce"] and row[2:3] == ["17297"]]
if len(times) < 2:
    sys.exit("    the tracker was asked %d time(s)" % len(times))
if times[1] - times[0] < 14.5:
    sys.exit("    asked again after %.1f s, before the min interval" % (times[1] - times[0]))
PY
}

all=(from_transmission from_qbittorrent from_aria2 to_transmission to_qbittorrent to_aria2
     corrupt_peer_is_banned peer_leaving_mid_piece tracker_down unusable_torrents_leave_http_alone
     mixed_web_seed_and_slow_peer kill_and_resume_fetches_no_piece_twice complete_at_start_is_seeded
     stop_seed_ends_seeding silent_and_slow_peers_never_hold_http_back hostile_hosts_take_few_slots_and_are_closed
     a_corrupt_block_in_shared_pieces_is_traced a_banned_peer_cannot_return_under_a_new_id late_blocks_never_land
     dead_trackers_never_block_the_api peers_are_exchanged_with_qbittorrent
     peers_are_learned_from_qbittorrent peers_are_learned_from_transmission ipv6_peers_are_dialled_and_accepted
     a_download_with_nobody_asks_the_tracker_again_soon
     from_transmission_over_utp from_qbittorrent_over_utp to_transmission_over_utp to_qbittorrent_over_utp)

selected=(${P2SP_SCENARIOS:-${all[*]}})
for s in "${selected[@]}"; do
    echo "== $s" >>"$work/harness.log"
    started=$(date +%s)
    if "scenario_$s"; then
        echo "ok   $s ($(( $(date +%s) - started )) s)"
    else
        echo "FAIL $s"
        failures=$((failures + 1))
    fi
    # Peers of one scenario never serve the next.
    for pid in ${TR_PID:-} ${QB_PID:-} ${A2_PID:-} "${fault_pids[@]}"; do stop_pid "$pid"; done
    TR_PID= QB_PID= A2_PID=
    fault_pids=()
done
[ $failures -eq 0 ] || { echo "harness log: $work/harness.log"; tail -60 "$work/harness.log"; }
exit $failures
