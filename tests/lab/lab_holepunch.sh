#!/usr/bin/env bash
# Two players behind routers that map nothing cannot dial each other, over
# TCP or uTP: each router drops what the other sends first. A third player,
# behind a router that maps its port and connected to both, introduces them
# (ut_holepunch): told of each other at once, both dial over uTP, each
# router lets in what answers its own player's packets, and the two trade
# pieces. Without the third they never meet.
#
# usage: lab_holepunch.sh <64-bit build dir>   Exit 77 (skipped) without root.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$here/lab_players.sh"
lab_begin holepunch 3
lab_start_portmap 1 pcp,natpmp "$work/router1.log" || exit 1
lab_origin_and_tracker 4 || { echo "FAILED: the tracker never accepted the torrent"; exit 1; }
router2=$(lab_router_address 2) router3=$(lab_router_address 3)
hex() { printf '%02x%02x%02x%02x' ${1//./ }; }
# A link of HOME with the player behind ADDRESS's router got past the handshake.
met() { grep -q "^peer [0-9]* $(hex "$2"):[0-9]* active" "$work/trace$1.txt" 2>/dev/null; }
dialled_one() { grep -q "^dial.* $(hex "$router3"):6881" "$work/trace2.txt" 2>/dev/null ||
    grep -q "^dial.* $(hex "$router2"):6881" "$work/trace3.txt" 2>/dev/null; }
stop_player() { local pids; pids=$(ip netns pids "$(lab_ns "p$1")"); [ -n "$pids" ] && kill $pids; }
ended() { [ -z "$(ip netns pids "$(lab_ns "p$1")")" ]; }

# Alone, the two unmapped players (each response of the origin at 4 KiB/s):
# the second hears of the first from the tracker and dials it, over TCP and
# over uTP, in vain.
get 2 "?rate=4096"
sleep 2
get 3 "?rate=4096"
check "alone, one dials the other" wait_for 60 dialled_one
sleep 10
check "... and never meet" eval '! met 2 "$router3" && ! met 3 "$router2"'
for home in 2 3; do stop_player $home; done
wait_for 20 eval 'ended 2 && ended 3'
mv "$work/trace2.txt" "$work/alone2.txt"
mv "$work/trace3.txt" "$work/alone3.txt"
rm -rf "$work/dl2" "$work/dl3"
# A tracker that forgets them: each hears of the other anew below.
lab_start_tracker || { echo "FAILED: the tracker did not start again"; exit 1; }

# Player 1 behind PCP, reachable, seeds (its upload held to 32 KiB/s, so the
# others keep fetching). Player 2 comes back and connects to it; then player
# 3, whose first peer exchange from player 1 names player 2: it asks player 1
# to introduce them.
get 1 "" --port-mapping --upload-cap 32768
check "the third player is mapped and seeds" wait_for 60 seeding 1
check "its router forwards the port for TCP and for uTP" wait_for 10 eval 'test "$(rules 1 tcp)/$(rules 1 udp)" = 1/1'
get 2 "?rate=4096"
check "player 2 connects to the third" wait_for 60 met 2 "$(lab_router_address 1)"
get 3 "?rate=4096"
check "introduced, player 3 meets player 2" wait_for 60 met 3 "$router2"
check "... and player 2 player 3" wait_for 10 met 2 "$router3"
check "through an introduction" grep -q "(introduced)" "$work/trace2.txt" "$work/trace3.txt"
check "over uTP" wait_for 10 eval 'test "$(most 3 utp)" -ge 1'
for home in 2 3; do check "player $home gets the game" wait_for 150 same_file "$work/dl$home/game.bin"; done
touch "$work/stop-seeding"
wait_for 30 eval 'ended 1 && ended 2 && ended 3'
check "when the seeder ends, both of its router's rules are gone" test "$(rules 1)" = 0
got23=$(traded_with 2 "$router3" got) got32=$(traded_with 3 "$router2" got)
check "the two traded pieces (player 2 got $got23 bytes from 3, player 3 $got32 from 2)" \
    test $((got23 + got32)) -gt 0

if [ $failures != 0 ]; then
    show_players 1 2 3
    echo "--- alone"; grep -v '^piece\|^block' "$work/alone2.txt" | tail -15
    [ -n "${LAB_KEEP:-}" ] && { cp -r "$work" "$LAB_KEEP"; echo "kept in $LAB_KEEP"; }
    exit 1
fi
echo "two players behind routers without mapping meet through a third"
