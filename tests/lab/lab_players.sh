# Players in the network lab, for the lab's tests: the origin and the
# tracker on its Internet, and the engine harness under Wine in a home's
# player namespace. Sourced with $root (the repository) and $build (a 64-bit
# build) set; brings lab.sh and scripts/wine-common.sh.

. "$root/tests/lab/lab.sh"
. "$root/scripts/wine-common.sh"

# lab_begin NAME HOMES [TOOL...]: a lab test's start. Skipped (exit 77)
# without root or a tool it needs; the build's Wine prefix made when
# missing; $work made, removed at exit with the lab; the lab built.
lab_begin() {
    local name=$1 homes=$2 tool why
    shift 2
    why=$(lab_can_run) || { echo "skipped: $why"; exit 77; }
    for tool in opentracker mktorrent "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: needs $tool (scripts/install-deps.sh)"; exit 77; }
    done
    [ -f "$build/wineprefix/.vorla-ready" ] || "$root/scripts/wine-prefix.sh" "$build/wineprefix" >/dev/null
    work=$(mktemp -d "/tmp/vorla-lab-$name.XXXXXX")
    chmod 755 "$work"
    trap 'lab_down; rm -rf "$work"' EXIT
    lab_up "$homes" || { echo "FAILED: the lab could not be built"; exit 1; }
}

failures=0
check() {  # DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
wait_for() {  # SECONDS COMMAND...: until the command succeeds
    local until=$((SECONDS + $1))
    shift
    until "$@"; do [ $SECONDS -ge $until ] && return 1; sleep 0.5; done
}
MIB=1048576
md5() { md5sum <"$1" | cut -d' ' -f1; }
same_file() { [ -f "$1" ] && [ "$(md5 "$1")" = "$(md5 "$work/srv/game.bin")" ]; }

# lab_origin_and_tracker MIB: game.bin of that size and its torrent
# (piece size 32 KiB) on the origin (range_server.py at 198.18.0.1:8080,
# every response may be paced with ?rate=), and opentracker at
# 198.18.0.2:6969 serving it. Both end with the lab.
lab_origin_and_tracker() {
    origin=$(lab_host_address 1) tracker=$(lab_host_address 2)
    mkdir -p "$work/srv" "$work/tracker"
    head -c $(($1 * MIB)) /dev/urandom >"$work/srv/game.bin"
    announce="http://$tracker:6969/announce"
    mktorrent -a "$announce" -l 15 -n game.bin -o "$work/srv/game.torrent" "$work/srv/game.bin" >/dev/null
    python3 "$root/tests/servers/torrent_info.py" "$work/srv/game.torrent" >"$work/tracker/whitelist"
    chmod -R a+rX "$work/srv"
    ip netns exec "$(lab_ns inet)" python3 "$root/tests/servers/range_server.py" --host "$origin" --port 8080 \
        --root "$work/srv" --log "$work/origin.log" </dev/null >"$work/origin.out" 2>&1 &
    disown -a
    torrent=http://$origin:8080/game.torrent
    lab_start_tracker
}
# (Again:) opentracker, which forgets every peer when it starts.
lab_start_tracker() {
    [ -n "${tracker_pid:-}" ] && kill "$tracker_pid" && wait_for 10 eval '! kill -0 "$tracker_pid" 2>/dev/null'
    ip netns exec "$(lab_ns inet)" opentracker -i "$tracker" -p 6969 -P 6969 -d "$work/tracker" -w whitelist \
        </dev/null >"$work/tracker.out" 2>&1 &
    tracker_pid=$!
    disown
    lab_exec inet python3 "$root/tests/servers/torrent_info.py" --wait-allowed "$announce" "$work/srv/game.torrent"
}

# harness HOME ARGS...: p2sp-get.exe under Wine in the home's player (or,
# for HOME "inet", on the lab's Internet), with a prefix of its own (a copy
# of the build's), in the background; its output in $work/p<HOME>.log, its
# swarm trace in $work/trace<HOME>.txt. Listens on every interface, port
# 6881; no loopback peers.
harness() {
    local home=$1 prefix=$work/prefix$1 ns
    shift
    ns=$(lab_ns "p$home")
    [ "$home" = inet ] && ns=$(lab_ns inet)
    [ -d "$prefix" ] || cp -a "$build/wineprefix" "$prefix"
    ip netns exec "$ns" env WINEPREFIX="$prefix" P2SP_SWARM_TRACE="$(winpath "$work/trace$home.txt")" \
        "$WINE64" "$build/bin/p2sp-get.exe" "$@" \
        --listen-address 0.0.0.0 --port 6881 --no-loopback-peers --poll-ms 500 --timeout-s 150 \
        </dev/null >"$work/p$home.log" 2>&1 &
    disown
}
# The harness of HOME fetching the game (URL query QUERY) and seeding it
# until $work/stop-seeding exists; more harness options after.
get() {  # HOME QUERY [options...]
    mkdir -p "$work/dl$1"
    harness "$1" "http://$origin:8080/game.bin$2" "$(winpath "$work/dl$1/game.bin")" --seed "$torrent" \
        --seed-until "$(winpath "$work/stop-seeding")" --seed-limits 0:0 "${@:3}"
}
reach() {  # HOME FIELD: the last value of a field of the harness's reach line
    tr -d '\r' <"$work/p$1.log" | sed -n "s/^reach .*$2 \([0-9]*\).*/\1/p" | tail -1
}
most() {  # HOME FIELD: the highest value the field took
    tr -d '\r' <"$work/p$1.log" | sed -n "s/^reach .*$2 \([0-9]*\).*/\1/p" | sort -n | tail -1
}
seeding() { grep -q "^seeding until" "$work/p$1.log"; }
# The forwarding rules a home's router holds (granted mappings), of a protocol.
rules() { lab_exec "r$1" iptables -t nat -S PREROUTING | grep DNAT | grep -c -- "-p ${2:-}"; }
# Block bytes HOME got from (or sent to) peers at ADDRESS, from its trace.
traded_with() {  # HOME ADDRESS got|sent
    local hex
    hex=$(printf '%02x%02x%02x%02x' ${2//./ })
    sed -n "s/^close peer [0-9]* $hex:[0-9]*: .*(got \([0-9]*\) sent \([0-9]*\))/\1 \2/p" "$work/trace$1.txt" 2>/dev/null |
        awk -v w="$3" '{s += (w == "got" ? $1 : $2)} END {print s + 0}'
}
# The players' logs and traces, on failure.
show_players() {
    local home
    for home in "$@"; do
        echo "--- player $home"
        tr -d '\r' <"$work/p$home.log" | grep -v '^progress' | tail -12
        grep -v '^piece\|^block' "$work/trace$home.txt" 2>/dev/null | tail -25 | sed 's/^/    trace: /'
    done
}
