#!/usr/bin/env bash
# The lab routers' port-mapping service behaves as a router's, driven by
# Debian's independent clients (natpmpc for NAT-PMP, upnpc of miniupnpc for
# UPnP IGD, found by SSDP) and by a PCP request built here: a granted mapping
# lets the Internet reach the player's service through a DNAT rule of the
# router's, and the rule goes when the mapping is deleted or its lease ends.
# Exit 77 (skipped) without root or without the clients.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lab.sh"
why=$(lab_can_run) || { echo "skipped: $why"; exit 77; }
for tool in natpmpc upnpc; do
    command -v $tool >/dev/null || { echo "skipped: needs $tool (scripts/install-deps.sh)"; exit 77; }
done
work=$(mktemp -d /tmp/vorla-lab-portmap.XXXXXX)
trap 'lab_down; rm -rf "$work"' EXIT
failures=0
check() {  # DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

lab_up 1 || { echo "FAILED: the lab could not be built"; exit 1; }
gateway=198.19.1.1 public=$(lab_router_address 1) player=$(lab_player_address 1)
lab_start_portmap 1 pcp,natpmp,upnp "$work/router.log" || exit 1
# The player's service answers each connection with its own name.
ip netns exec "$(lab_ns p1)" python3 -c '
import socket
s = socket.socket(); s.bind(("0.0.0.0", 9100)); s.listen(8)
while True:
    c = s.accept()[0]; c.sendall(b"player 1"); c.close()' </dev/null >/dev/null 2>&1 &
disown
sleep 0.5

from_internet() {  # PORT: what the player's service says, reached at the router's public address
    lab_exec inet python3 -c '
import socket, sys
try: print(socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=2).recv(64).decode())
except OSError: print("unreachable")' "$public" "$1"
}
rules() { lab_exec r1 iptables -t nat -S PREROUTING | grep -c -- "--dport $1 .*--to-destination $player:9100"; }
reached() { [ "$(from_internet "$1")" = "player 1" ]; }
unreached() { [ "$(from_internet "$1")" = unreachable ]; }
no_rule() { [ "$(rules "$1")" = 0 ]; }
one_rule() { [ "$(rules "$1")" = 1 ]; }
say() { lab_exec p1 "$@" 2>&1 | tee -a "$work/clients.log"; }

check "unmapped, the service is not reached" unreached 9100
say natpmpc -g $gateway >"$work/natpmp-address.txt"
check "NAT-PMP: the public address is the router's" grep -q "Public IP address : $public" "$work/natpmp-address.txt"
say natpmpc -g $gateway -a 9100 9100 tcp 60 >/dev/null
check "NAT-PMP: a granted mapping is a DNAT rule" one_rule 9100
check "NAT-PMP: the Internet reaches the player through it" reached 9100
say natpmpc -g $gateway -a 9100 9100 tcp 60 >/dev/null
check "NAT-PMP: a renewal keeps one rule" one_rule 9100
say natpmpc -g $gateway -a 0 9100 tcp 0 >/dev/null
check "NAT-PMP: a deleted mapping leaves no rule" no_rule 9100
check "NAT-PMP: nor a way in" unreached 9100
say natpmpc -g $gateway -a 9101 9100 tcp 2 >/dev/null
check "NAT-PMP: a short lease is granted" one_rule 9101
sleep 3
check "NAT-PMP: and its rule goes when it ends" no_rule 9101

# PCP MAP (RFC 6887): the request and its answer, from the player.
pcp() {  # LIFETIME EXTERNAL_PORT: prints "result external-port lifetime"
    lab_exec p1 python3 -c '
import os, socket, struct, sys
lifetime, wanted, me = int(sys.argv[1]), int(sys.argv[2]), socket.inet_aton(sys.argv[3])
mapped = bytes(10) + b"\xff\xff" + me
request = struct.pack(">BBHI", 2, 1, 0, lifetime) + mapped + os.urandom(12) + struct.pack(">B3xHH", 6, 9100, wanted) + bytes(16)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2)
s.sendto(request, (sys.argv[4], 5351))
a = s.recv(1100)
print(a[3], struct.unpack(">H", a[42:44])[0], struct.unpack(">I", a[4:8])[0])' "$1" "$2" "$player" "$gateway"
}
check "PCP: a MAP request is granted its port" test "$(pcp 60 9102)" = "0 9102 60"
check "PCP: the Internet reaches the player through it" reached 9102
check "PCP: lifetime 0 deletes it" test "$(pcp 0 0 | cut -d' ' -f1)" = 0
check "PCP: and its rule" no_rule 9102

# The lab's public addresses are in the benchmarking range, which miniupnpc
# counts as reserved ("not connected?"): -i lets it go on, as it would with
# a router that has a public address.
say upnpc -i -a "$player" 9100 9200 TCP 60 >"$work/upnp-add.txt"
check "UPnP: found by SSDP, the mapping is granted" one_rule 9200
check "UPnP: the Internet reaches the player through it" reached 9200
say upnpc -i -s >"$work/upnp-status.txt"
check "UPnP: the external address is the router's" grep -q "ExternalIPAddress = $public" "$work/upnp-status.txt"
say upnpc -i -l >"$work/upnp-list.txt"
check "UPnP: the mapping is listed" grep -q "9200->$player:9100" "$work/upnp-list.txt"
say upnpc -i -a 198.19.1.9 9100 9201 TCP 60 >/dev/null
check "UPnP: a mapping for another host is refused" no_rule 9201
say upnpc -i -d 9200 TCP >/dev/null
check "UPnP: a deleted mapping leaves no rule" no_rule 9200
check "UPnP: nor a way in" unreached 9200

[ $failures = 0 ] && echo "the port-mapping service behaves" || { echo "clients said:"; cat "$work/clients.log"; exit 1; }
