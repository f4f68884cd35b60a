#!/usr/bin/env bash
# Players behind home routers, the engine harness under Wine in each: three
# homes, the first router mapping ports by PCP and NAT-PMP, the third only by
# UPnP IGD, the second not at all. Each player fetches the game and seeds it;
# the engine maps its port at each mapping router, tells the tracker the
# router's port, and is reached there from the Internet. The second player
# cannot be reached, finds so, and still gets the game: over HTTP from a slow
# origin and over its own connections to the others, one of them to a player
# it heard of only from another (peer exchange). When a seeder ends, its
# router's rule is gone. TCP only: introductions over uTP are
# lab_holepunch.sh's.
#
# usage: lab_swarm.sh <64-bit build dir>   Exit 77 (skipped) without root.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$here/lab_players.sh"
lab_begin swarm 3
lab_start_portmap 1 pcp,natpmp "$work/router1.log" && lab_start_portmap 3 upnp "$work/router3.log" || exit 1

lab_origin_and_tracker 4 || { echo "FAILED: the tracker never accepted the torrent"; exit 1; }

mapped() { [ "$(reach "$1" mapped-port)" != "" ] && [ "$(reach "$1" mapped-port)" != 0 ]; }
# A BitTorrent handshake from the Internet to the home's public address:
# answered with the torrent's info hash when the player is reached.
reached_at() {  # HOME PORT
    lab_exec inet python3 - "$(lab_router_address "$1")" "$2" "$(python3 "$root/tests/servers/torrent_info.py" \
        "$work/srv/game.torrent")" <<'PY'
import socket, sys
info = bytes.fromhex(sys.argv[3])
try:
    s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=3)
    s.sendall(b"\x13BitTorrent protocol" + bytes(8) + info + b"-LB0001-" + bytes(12))
    answer = b""
    while len(answer) < 48:
        part = s.recv(68)
        if not part: break
        answer += part
    sys.exit(0 if answer[28:48] == info else 1)
except OSError:
    sys.exit(1)
PY
}
not_reached_at() { ! reached_at "$@"; }

active() { [ "$(reach "$1" dialled)" -ge 1 ] 2>/dev/null; }

# The engine behind a mapping router: granted a mapping by the method, one
# rule there, and answering at the router's port once it seeds.
mapped_and_reached() {  # HOME P2SP_MAPPING_* NAME
    check "behind $3, the engine is granted a mapping" wait_for 60 mapped "$1"
    check "by $3" test "$(reach "$1" mapping)" = "$2"
    check "its router holds the rule" test "$(rules "$1")" = 1
    wait_for 60 seeding "$1"
    check "a mapped player is reached from the Internet ($3)" reached_at "$1" "$(reach "$1" mapped-port)"
}

# Player 1, behind PCP: fetches the game and seeds it, reachable.
get 1 "" --port-mapping --no-utp
mapped_and_reached 1 1 PCP

# Player 2, behind a router without mapping, the origin at 64 KiB/s for it:
# the tracker names player 1 only.
get 2 "?rate=65536" --port-mapping --no-utp
check "the unmapped player dials the seeder" wait_for 60 active 2
# Player 3, behind UPnP IGD, comes later, its origin as slow: player 2
# hears of it only from player 1 (peer exchange: seeds do not stay connected
# to seeds, so a seed tells of the players still fetching), and dials it at
# its router.
get 3 "?rate=65536" --port-mapping --no-utp
mapped_and_reached 3 3 "UPnP IGD"
exchanged() { [ "$(most 2 exchanged)" -ge 1 ] 2>/dev/null; }
check "player 2 dials player 3, learned through player 1" wait_for 30 exchanged

check "the unmapped player still gets the game" wait_for 90 same_file "$work/dl2/game.bin"
check "no mapping was granted to it" test "$(reach 2 mapped-port)" = 0
check "its router holds no rule" test "$(rules 2)" = 0
check "it is not reached from the Internet" not_reached_at 2 6881
got=$(tr -d '\r' <"$work/p2.log" | sed -n 's/^swarm .* got \([0-9]*\) .*/\1/p' | tail -1)
check "peers brought it most pieces ($((${got:-0} / 1024)) KiB)" test "${got:-0}" -gt $((2 * MIB))
check "over connections it dialled, none accepted" test "$(most 2 accepted)" = 0

touch "$work/stop-seeding"
gone() { [ "$(rules 1)/$(rules 3)" = 0/0 ]; }
check "when the seeders end, their routers' rules are gone" wait_for 30 gone
for home in 1 3; do
    check "router $home: deleted by the engine" grep -q '"event": "delete"' "$work/router$home.log"
done
for home in 1 2 3; do check "player $home's copy is the game" same_file "$work/dl$home/game.bin"; done

if [ $failures != 0 ]; then
    for home in 1 2 3; do echo "--- player $home"; tr -d '\r' <"$work/p$home.log" | grep -v '^progress' | tail -15; done
    echo "--- routers"; cat "$work/router1.log" "$work/router3.log"
    [ -n "${LAB_KEEP:-}" ] && { cp -r "$work" "$LAB_KEEP"; echo "kept in $LAB_KEEP"; }
    exit 1
fi
echo "players behind routers are mapped, reached and served"
