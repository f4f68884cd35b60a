# Shared by the swarm benchmark's two settings: every copy on loopback
# (bench/swarm.sh) and players behind home routers in the network lab
# (bench/swarm-lab.sh). Sourced.

SWARM_PIECE_LOG2=18  # 256 KiB pieces, the size vorla-publish picks for files up to 512 MiB
SWARM_DEFAULT_CAP=1048576  # the engine's UploadBudget::kDefaultCap
SWARM_UNLIMITED=4294967295

seconds() { awk -v ms="$1" 'BEGIN {printf "%.1f", ms / 1000}'; }

# swarm_torrent FILE ANNOUNCE WEB_SEED TORRENT WHITELIST: the file's torrent
# (the origin's copy as its web seed) and the tracker's access list for it.
swarm_torrent() {
    mktorrent -a "$2" -l "$SWARM_PIECE_LOG2" -n "$(basename "$1")" -w "$3" -o "$4" "$1" >/dev/null
    chmod a+r "$4"
    python3 "$(dirname "${BASH_SOURCE[0]}")/../tests/servers/torrent_info.py" "$4" >"$5"
}

# copy_ms LOG: a harness's time from StartTask to the finished file, -1 when
# it never finished.
copy_ms() {
    local ms
    ms=$(tr -d '\r' <"$1" | sed -n 's/^finished state [0-9]*, [0-9]* bytes in \([0-9]*\) ms/\1/p')
    echo "${ms:--1}"
}

# slowest_ms MS...; median_ms MS...
slowest_ms() { printf '%s\n' "$@" | sort -n | tail -1; }
median_ms() {
    printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : int((a[NR/2] + a[NR/2+1]) / 2)}'
}

# origin_served LOG: the body bytes the origin sent, from range_server.py's log.
origin_served() {
    python3 -c 'import json,sys; print(sum(json.loads(l)["sent"] for l in open(sys.argv[1]) if l.strip()))' "$1"
}

# copies_done LOG...: how many harnesses have printed their finished line.
copies_done() { cat "$@" 2>/dev/null | grep -c '^finished state' || true; }
