#!/usr/bin/env bash
# The network lab behaves as homes behind routers do, and leaves nothing
# behind: two homes; a player fetches from the origin and the origin sees
# the router's address; nothing reaches a player unsolicited, from the
# Internet or from the other home; the uplink is shaped; after lab_down no
# namespace or process of the lab is left. Exit 77 (skipped) without root.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lab.sh"
why=$(lab_can_run) || { echo "skipped: $why"; exit 77; }
work=$(mktemp -d /tmp/vorla-lab-check.XXXXXX)
trap 'lab_down; rm -rf "$work"' EXIT
failures=0
check() {  # DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

lab_up 2 1024 || { echo "FAILED: the lab could not be built"; exit 1; }
origin=$(lab_host_address 1)
# The origin: a TCP service that answers each connection with 4 MiB, or
# counts what it is sent, and logs the peer's address.
ip netns exec "$(lab_ns inet)" python3 - "$origin" "$work" <<'PY' &
import socket, sys, threading
host, work = sys.argv[1], sys.argv[2]
def serve(port, handle):
    s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((host, port)); s.listen(8)
    while True:
        c, peer = s.accept()
        threading.Thread(target=handle, args=(c, peer), daemon=True).start()
def give(c, peer):
    open(work + "/peer", "w").write(peer[0]); c.sendall(b"x" * (4 << 20)); c.close()
def take(c, peer):
    n = 0
    while True:
        b = c.recv(65536)
        if not b: break
        n += len(b)
    c.sendall(str(n).encode()); c.close()
threading.Thread(target=serve, args=(9001, take), daemon=True).start()
serve(9000, give)
PY
started=($!)
# A service of player 1's that nothing outside its home should reach.
ip netns exec "$(lab_ns p1)" python3 -c '
import socket, sys
s = socket.socket(); s.bind(("0.0.0.0", 9100)); s.listen(8)
while True: s.accept()[0].close()' &
started+=($!)
disown -a  # ended by lab_down, quietly
sleep 1

fetch() {  # NS HOST PORT: bytes received, 0 when refused or timed out
    lab_exec "$1" python3 -c '
import socket, sys
try:
    s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=2); n = 0
    while True:
        b = s.recv(65536)
        if not b: break
        n += len(b)
    print(n)
except OSError:
    print(0)' "$2" "$3"
}
unreachable() { ! reaches "$@"; }
reaches() { [ "$(fetch "$@")" != 0 ] || lab_exec "$1" python3 -c '
import socket, sys
try: socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=2)
except OSError: sys.exit(1)' "$2" "$3"; }

check "a player fetches from the origin" test "$(fetch p1 "$origin" 9000)" = $((4 << 20))
check "the origin sees the router's address" test "$(cat "$work/peer" 2>/dev/null)" = "$(lab_router_address 1)"
check "the origin cannot reach the player behind its router" unreachable inet "$(lab_router_address 1)" 9100
# Even a host that routes the home's addresses to its router gets nothing
# through: the router forwards only replies and mappings.
lab_exec inet ip route add "198.19.1.0/24" via "$(lab_router_address 1)"
check "nor its home address" unreachable inet "$(lab_player_address 1)" 9100
check "the other home cannot reach it" unreachable p2 "$(lab_router_address 1)" 9100
check "nothing outside the lab is routed" unreachable p1 192.0.2.1 80
# 3 MiB up at 1024 KiB/s takes about 3 s; faster means no shaping (a slow
# machine can only be slower).
upload() {
    lab_exec p1 python3 -c '
import socket, sys, time
s = socket.create_connection((sys.argv[1], 9001), timeout=20); t = time.monotonic()
s.sendall(b"u" * (3 << 20)); s.shutdown(socket.SHUT_WR); s.recv(64)
print("%.2f" % (time.monotonic() - t))' "$origin"
}
seconds=$(upload)
echo "    3 MiB up in $seconds s"
check "the uplink is shaped to 1024 KiB/s" python3 -c "import sys; sys.exit(0 if float('${seconds:-0}') >= 2.4 else 1)"

prefix=$LAB_PREFIX
lab_down
check "no namespace of the lab is left" test -z "$(ip netns list | grep "^$prefix-")"
gone() { local pid; for pid in "${started[@]}"; do ! kill -0 "$pid" 2>/dev/null || return 1; done; }
check "no process of the lab is left" gone
trap 'rm -rf "$work"' EXIT
[ $failures = 0 ] && echo "the lab behaves" || exit 1
