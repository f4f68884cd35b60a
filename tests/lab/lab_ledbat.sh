#!/usr/bin/env bash
# LEDBAT on a player's uplink: the engine seeds over uTP from behind a home
# router (uplink 1024 KiB/s, a queue of 400 ms) to a copy on the Internet.
# When the player's own bulk upload starts (curl sending a file to a server
# on the Internet), the engine's packets find the queue growing and it
# backs off: the upload keeps most of the uplink. When the upload ends, the
# engine takes the uplink back within seconds.
#
# usage: lab_ledbat.sh <64-bit build dir>   Exit 77 (skipped) without root.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$here/lab_players.sh"
lab_begin ledbat 1 curl
lab_origin_and_tracker 64 || { echo "FAILED: the tracker never accepted the torrent"; exit 1; }
UPLINK=$((1024 * 1024))

# The player's upload goes to a server on the Internet that reads and
# forgets what it is sent (HTTP PUT). It offers a large receive window, as
# a distant server does: on the lab's short path the system would size it
# to the little data a round trip carries, and the upload would never fill
# the router's queue.
lab_exec inet python3 -c '
import http.server, socket, sys
class Server(http.server.ThreadingHTTPServer):
    def server_bind(self):
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        super().server_bind()
class Sink(http.server.BaseHTTPRequestHandler):
    def do_PUT(self):
        left = int(self.headers.get("Content-Length", 0))
        while left > 0:
            got = self.rfile.read(min(left, 65536))
            if not got: break
            left -= len(got)
        self.send_response(204)
        self.end_headers()
    def log_message(self, *a): pass
Server((sys.argv[1], 9000), Sink).serve_forever()
' "$origin" </dev/null >"$work/sink.out" 2>&1 &
disown

# The copy on the Internet (listening, reachable) fetches everything from
# the player: its URL is missing. Both speak uTP alone; the player gives
# without a cap of its own, so only the uplink and LEDBAT set its pace.
mkdir -p "$work/dlinet"
harness inet "http://$origin:8080/missing.bin" "$(winpath "$work/dlinet/game.bin")" --seed "$torrent" --utp-only
sleep 3
get 1 "" --utp-only --upload-cap 4294967295
completed() { tr -d '\r' <"$work/pinet.log" | awk '$1 == "progress" {c = $2} END {print c + 0}'; }
# Bytes per second the copy on the Internet got over SECONDS.
rate() { local a b; a=$(completed); sleep "$1"; b=$(completed); echo $(((b - a) / $1)); }
flowing() { [ "$(completed)" -gt $((2 * MIB)) ]; }
check "the player seeds over uTP to the copy on the Internet" wait_for 90 flowing
alone=$(rate 6)
check "alone, the engine fills the uplink ($alone B/s)" test "$alone" -gt $((UPLINK * 6 / 10))

head -c $((24 * MIB)) /dev/urandom >"$work/upload.bin"
before=$(completed)
started=$SECONDS
speed=$(lab_exec p1 curl -s -o /dev/null -T "$work/upload.bin" -w '%{speed_upload}' "http://$origin:9000/up" | cut -d. -f1)
beside=$(( ($(completed) - before) / (SECONDS - started > 0 ? SECONDS - started : 1) ))
check "the player's own upload keeps at least 80% of the uplink (${speed:-0} B/s, the engine $beside B/s)" \
    test "${speed:-0}" -ge $((UPLINK * 8 / 10))
sleep 1
back=$(rate 3)
check "then the engine takes the uplink back within a few seconds ($back B/s)" test "$back" -gt $((UPLINK * 6 / 10))
echo "figures: uplink $UPLINK B/s; engine alone $alone B/s; curl ${speed:-0} B/s beside the engine's $beside B/s;" \
    "engine after $back B/s"

if [ $failures != 0 ]; then
    show_players 1 inet
    [ -n "${LAB_KEEP:-}" ] && { cp -r "$work" "$LAB_KEEP"; echo "kept in $LAB_KEEP"; }
    exit 1
fi
echo "the engine's uTP upload yields the uplink and takes it back"
