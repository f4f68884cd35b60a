#!/usr/bin/env bash
# The download page fed by peers, under wine64, on loopback only: a game is
# published with vorla-publish and a tracker, so its configuration's seed is a
# torrent whose web seed is the portal's copy, served at a trickle
# (/trickle/: 64 KB/s a connection). An independent client (aria2c) seeds
# the file, opentracker knows it (the seeding client announces over HTTP, the
# program over UDP); both are started here and ended by their process ids. The real
# program, stamped for the game, downloads it from its page: the file is
# right, the portal served less than a quarter of it (the peer gave the
# rest), the page asks to install and the installer runs.
#
# usage: swarm_page.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
. "$root/scripts/wine-common.sh"
use_test_env "$build" || exit 1
bin=$build/bin
portal=$build/portal
access=$build/portal-logs/access.log
work=$build/swarm-page
shots=$build/screenshots
host_tool=${VORLA_HOST_PUBLISH:-$root/build/host/bin/vorla-publish}
game=7262
TRACKER_PORT=17290
SEED_PORT=17291
rm -rf "$work"
mkdir -p "$work/in" "$work/tracker" "$work/seed" "$shots"
export VORLA_FIXTURE_LOG=$(winpath "$work/fixture-runs.log")
# The seeding peer is on this machine: the engine may use loopback peers here.
export P2SP_TEST_LOOPBACK_PEERS=1
: >"$work/fixture-runs.log"

WATCH_ROOT=$root WATCH_BUILD=$build WATCH_DIR=$work/programs
. "$root/scripts/wine-watch.sh"
DRIVER_NAME=swarm_page
. "$root/tests/support/window-driver.sh"
START_X=587 START_Y=339      # the page's action button
INSTALL_X=261 INSTALL_Y=173  # the install prompt's action button

# Every peer process started here; each is ended by its id, and only those.
pids=()
finish() {
    [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
    [ ${#pids[@]} -gt 0 ] && wait "${pids[@]}" 2>/dev/null
    if [ -n "$current" ] && watch_running "$current"; then
        echo "swarm_page: $current still runs at the end; ending it"
        watch_end "$current"
    fi
    echo "swarm_page: $failures failure(s)"
    [ $failures -eq 0 ]
    exit $?
}
trap finish EXIT
port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_port() { for _ in $(seq 100); do port_open "$1" && return 0; sleep 0.1; done; return 1; }
for port in $TRACKER_PORT $SEED_PORT; do
    if port_open $port; then echo "swarm_page: port $port is taken: another run?"; exit 1; fi
done

# ---- the game, published with a tracker ------------------------------------
installer=$work/in/SwarmSetup.exe
python3 - "$bin/vorla_fixture_installer.exe" "$installer" <<'PY'
import random, sys
image = open(sys.argv[1], "rb").read()
open(sys.argv[2], "wb").write(image + random.Random(7262).randbytes(24 * 1048576 + 777 - len(image)))
PY
size=$(stat -c %s "$installer")
rm -rf "$portal/games/$game" "$portal/downloader/$game" "$portal/tool/down/$game.html" \
       "$portal/nginx/$game.conf" "$portal/.vorla-publish/$game.files"
rm -f "$temp_dir/$game.tmp.cfg"
for dir in "$WINEPREFIX/drive_c/download" /download; do rm -f "$dir/SwarmSetup.exe"*; done
check "the game is published with a tracker, its seed the torrent" \
    "$host_tool" --id $game --installer "$installer" --out "$portal" --name "蜂群测试" \
    --base-url http://127.0.0.1:17223/trickle --game-version 1.0.0 \
    --tracker "udp://127.0.0.1:$TRACKER_PORT/announce" --downloader "$bin/VorlaDownloader.exe" --quiet || exit 1
check "the configuration's seed is the torrent" \
    bash -c "iconv -f GBK -t UTF-8 '$portal/tool/down/$game.html' | grep -q '^SeedUrl=.*SwarmSetup.exe.torrent'"
torrent=$(ls "$portal/games/$game"/*/SwarmSetup.exe.torrent | head -n 1)

# ---- the tracker and the seeding peer --------------------------------------
python3 "$root/tests/servers/torrent_info.py" "$torrent" >"$work/tracker/whitelist"
opentracker -i 127.0.0.1 -p $TRACKER_PORT -P $TRACKER_PORT -d "$work/tracker" -w whitelist \
    >"$work/tracker.out" 2>&1 </dev/null &
pids+=($!)
check "opentracker listens" wait_port $TRACKER_PORT || exit 1
# It opens its port before it has read its access list.
check "opentracker accepts the torrent" \
    python3 "$root/tests/servers/torrent_info.py" --wait-allowed "http://127.0.0.1:$TRACKER_PORT/announce" "$torrent" ||
    exit 1
cp "$installer" "$work/seed/"
aria2c -d "$work/seed" --interface=127.0.0.1 --listen-port=$SEED_PORT --enable-dht=false --enable-dht6=false \
    --bt-enable-lpd=false --enable-peer-exchange=false --disable-ipv6=true --seed-ratio=0.0 \
    --check-integrity=true --bt-hash-check-seed=true --console-log-level=warn --summary-interval=0 \
    --bt-stop-timeout=0 --bt-exclude-tracker='*' --bt-tracker="http://127.0.0.1:$TRACKER_PORT/announce" \
    "$torrent" >"$work/aria2.out" 2>&1 </dev/null &
pids+=($!)
wait_seeders() {
    local hash count
    hash=$(python3 "$root/tests/servers/torrent_info.py" --urlencoded "$torrent")
    for _ in $(seq 150); do
        count=$(curl -s "http://127.0.0.1:$TRACKER_PORT/scrape?info_hash=$hash" |
            python3 -c 'import re, sys; m = re.search(rb"8:completei(\d+)e", sys.stdin.buffer.read()); print(m.group(1).decode() if m else 0)')
        [ "$count" -ge 1 ] 2>/dev/null && return 0
        sleep 0.2
    done
    return 1
}
check "the tracker lists the seeding peer" wait_seeders || exit 1

# ---- the page downloads from the swarm -------------------------------------
copy=$portal/downloader/$game/VorlaDownloader.exe
mark=$(lines "$access")
current=$game
watch_start $current "$copy"
check "the page opens" wait_visible $game 90 || exit 1
click $((WIN_X + START_X)) $((WIN_Y + START_Y))
sleep 3
shot swarm-page-downloading
check "completion asks to install" wait_visible DownLoadFinished 180
shot swarm-page-finished
folder=$(state_dir $game)
check "the file is the installer" cmp -s "$installer" "$folder/SwarmSetup.exe"
check "the engine fetched the torrent" \
    bash -c "tail -n +$((mark + 1)) '$access' | grep -Eq '^GET /trickle/games/$game/[0-9a-f]{16}/SwarmSetup.exe.torrent 200'"
# The portal's log: "GET <target> <status> <bytes sent> ...".
served=$(tail -n +$((mark + 1)) "$access" | awk -v t="^/trickle/games/$game/[0-9a-f]+/SwarmSetup.exe\$" '$2 ~ t { s += $4 } END { print s + 0 }')
echo "swarm_page: the portal served $served of $size bytes of the game"
check "the peer gave most of the game: the portal served less than a quarter" test "$served" -lt $((size / 4))
click $((WIN_X + INSTALL_X)) $((WIN_Y + INSTALL_Y))
check "the installer runs" \
    bash -c "for i in \$(seq 60); do grep -q '^installer' '$work/fixture-runs.log' && exit 0; sleep 0.5; done; exit 1"
helper post $game 2026 >/dev/null
watch_wait $current 30
check "exit ends the program with 0" test $? -eq 0
current=""
rm -f "$folder/SwarmSetup.exe" "$folder/SwarmSetup.exe".P2P*
