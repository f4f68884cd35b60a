#!/usr/bin/env bash
# Speed of the engine's segmented and multi-source downloads against curl
# (one connection) and aria2c (-x16 -s16 -k1M), all against nginx on loopback,
# in one run on one machine:
#   unthrottled       one server, no limit
#   8 MB/s per conn   one server, limit_rate 8m
#   two mirrors       two servers at 8 MB/s per connection; the engine gets a
#                     Metalink seed naming both, aria2c both URLs, curl one
#   paced 8 MB/s      tests/servers/range_server.py at 8 MB/s per response,
#                     paced from its first byte. nginx's limit_rate lets every
#                     request start with a second's worth at full speed, which
#                     favours a client that makes many short requests (the
#                     engine asks for at most 2 MiB at a time); this server
#                     grants no such start, so the per-connection limit holds.
# Every file is checked against the source's MD5. Then: the engine's peak
# memory for a 1 GiB download, and a resume check: the engine is killed at
# about 40% of a 64 MiB download (8 MB/s per connection, 16 connections) and
# run again; the server's log tells how many bytes were sent twice.
# Figures, not a test: nothing here fails on a slow machine.
#
# The engine of the 32-bit build (the one players get) runs the same files in
# the same run, under the WoW64 Wine (scripts/wine-wow64.sh): its own column
# and its own memory line.
#
# usage: bench/engine-speed.sh [BIN_DIR]   (default: build/win64/bin)
# Environment: BENCH_SIZE_MIB (default 256), BENCH_MEMORY_MIB (default 1024,
# 0 skips), BENCH_PORT (first of three ports, default 17331), BENCH_BIN_DIR32
# (default build/win32/bin; empty: no 32-bit column).
# Each engine runs in its build's Wine prefix (the tests' prefix).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN_DIR=$(realpath "${1:-$ROOT/build/win64/bin}")
SIZE_MIB=${BENCH_SIZE_MIB:-256}
MEMORY_MIB=${BENCH_MEMORY_MIB:-1024}
PORT=${BENCH_PORT:-17331}
PLAIN=$PORT LIMITED=$((PORT + 1)) MIRROR=$((PORT + 2)) PACED=$((PORT + 3))
WORK=$(mktemp -d /tmp/p2sp-speed.XXXXXX)
NGINX_PID=

. "$ROOT/scripts/wine-common.sh"
BIN_DIR32=${BENCH_BIN_DIR32-$ROOT/build/win32/bin}
WIDTHS=(64)
if [ -n "$BIN_DIR32" ] && [ -f "$BIN_DIR32/p2sp-get.exe" ] && "$ROOT/scripts/wine-wow64.sh" >&2; then
    WIDTHS+=(32)
else
    echo "no 32-bit column: no 32-bit build in ${BIN_DIR32:-(none)} or no WoW64 Wine" >&2
fi
# The engine of one width: its program, its Wine and its prefix.
use_width() {
    if [ "$1" = 32 ]; then
        ENGINE_BIN=$(realpath "$BIN_DIR32") ENGINE_WINE=$WINE_WOW64_DIR/bin/wine
    else
        ENGINE_BIN=$BIN_DIR ENGINE_WINE=$WINE64
    fi
    ENGINE_PREFIX=$(dirname "$ENGINE_BIN")/wineprefix
}
use_width 64

PACED_PID=
cleanup() {
    [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null || true
    [ -n "$PACED_PID" ] && kill "$PACED_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

chmod 755 "$WORK"  # nginx workers may run as another user
mkdir -p "$WORK/www" "$WORK/out" "$WORK/nginx"
head -c $((SIZE_MIB * 1048576)) /dev/urandom >"$WORK/www/big.bin"
head -c $((64 * 1048576)) /dev/urandom >"$WORK/www/kill.bin"
chmod a+r "$WORK/www"/*

# The seed: the file's size, SHA-256 and 1 MiB piece hashes, both mirrors.
python3 - "$WORK/www/big.bin" "$WORK/www/big.meta4" "http://127.0.0.1:$LIMITED/big.bin" \
    "http://127.0.0.1:$MIRROR/big.bin" <<'PY'
import hashlib, os, sys
path, out, urls = sys.argv[1], sys.argv[2], sys.argv[3:]
piece, pieces, whole = 1 << 20, [], hashlib.sha256()
with open(path, "rb") as f:
    while True:
        block = f.read(piece)
        if not block:
            break
        whole.update(block)
        pieces.append(hashlib.sha256(block).hexdigest())
with open(out, "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<metalink xmlns="urn:ietf:params:xml:ns:metalink">\n')
    f.write(' <file name="big.bin"><size>%d</size><hash type="sha-256">%s</hash>\n' % (os.path.getsize(path), whole.hexdigest()))
    f.write('  <pieces length="%d" type="sha-256">%s</pieces>\n' % (piece, "".join("<hash>%s</hash>" % h for h in pieces)))
    f.write("".join('  <url priority="%d">%s</url>\n' % (i + 1, u) for i, u in enumerate(urls)))
    f.write(' </file>\n</metalink>\n')
PY

cat >"$WORK/nginx/nginx.conf" <<CONF
worker_processes 2;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 256; }
http {
    log_format sent '\$server_port \$uri \$status \$body_bytes_sent';
    access_log $WORK/nginx/access.log sent;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path $WORK/nginx/body;
    proxy_temp_path $WORK/nginx/proxy;
    fastcgi_temp_path $WORK/nginx/fastcgi;
    uwsgi_temp_path $WORK/nginx/uwsgi;
    scgi_temp_path $WORK/nginx/scgi;
    server { listen 127.0.0.1:$PLAIN; root $WORK/www; }
    server { listen 127.0.0.1:$LIMITED; root $WORK/www; limit_rate 8m; }
    server { listen 127.0.0.1:$MIRROR; root $WORK/www; limit_rate 8m; }
}
CONF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
python3 "$ROOT/tests/servers/range_server.py" --port "$PACED" --root "$WORK/www" --log "$WORK/paced.log" \
    >/dev/null 2>&1 </dev/null &
PACED_PID=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$PLAIN/big.bin" && break
    sleep 0.1
done
cat "$WORK/www/big.bin" "$WORK/www/kill.bin" >/dev/null  # warm the page cache
EXPECTED=$(md5sum <"$WORK/www/big.bin" | cut -d' ' -f1)

now() { date +%s.%N; }
winpath() { echo "Z:${1//\//\\}"; }
check() {  # NAME FILE
    local got
    got=$(md5sum <"$2" | cut -d' ' -f1)
    [ "$got" = "$EXPECTED" ] || { echo "$1: MD5 mismatch ($got, expected $EXPECTED)" >&2; exit 1; }
    rm -f "$2"
}
engine() {  # URL FILE [options]; prints the harness output
    WINEPREFIX=$ENGINE_PREFIX "$ENGINE_WINE" "$ENGINE_BIN/p2sp-get.exe" "$1" "$(winpath "$2")" --poll-ms 20 "${@:3}" \
        </dev/null 2>/dev/null | tr -d '\r'
}
declare -A TAKEN

run_curl() {  # KEY URL
    local t0 t1
    t0=$(now); curl -sf -o "$WORK/out/curl.bin" "$2"; t1=$(now)
    TAKEN[$1]=$(echo "$t1 - $t0" | bc -l); check "curl $1" "$WORK/out/curl.bin"
}
run_aria2c() {  # KEY URL...
    local key=$1 t0 t1; shift
    t0=$(now)
    aria2c -q -x16 -s16 -k1M --file-allocation=none --allow-overwrite=true -d "$WORK/out" -o aria2c.bin "$@"
    t1=$(now)
    TAKEN[$key]=$(echo "$t1 - $t0" | bc -l); check "aria2c $key" "$WORK/out/aria2c.bin"
}
run_engine() {  # KEY URL [options]
    local key=$1 url=$2 log ms; shift 2
    log=$(engine "$url" "$WORK/out/engine.bin" "$@")
    ms=$(echo "$log" | sed -n 's/^finished state 1, .* bytes in \([0-9]*\) ms$/\1/p')
    [ -n "$ms" ] || { echo "engine $key failed:"; echo "$log"; exit 1; }
    TAKEN[$key]=$(echo "$ms / 1000" | bc -l)
    echo "$log" | grep '^source' | sed "s/^/  engine $key: /" >>"$WORK/sources.txt"
    check "engine $key" "$WORK/out/engine.bin"
}

echo "downloading $SIZE_MIB MiB three ways in four scenarios..." >&2
for scenario in unthrottled limited mirrors paced; do
    case $scenario in
    unthrottled) url=http://127.0.0.1:$PLAIN/big.bin; urls=("$url"); seed=() ;;
    limited) url=http://127.0.0.1:$LIMITED/big.bin; urls=("$url"); seed=() ;;
    mirrors) url=http://127.0.0.1:$LIMITED/big.bin; urls=("$url" "http://127.0.0.1:$MIRROR/big.bin")
             seed=(--seed "http://127.0.0.1:$PLAIN/big.meta4") ;;
    paced) url="http://127.0.0.1:$PACED/big.bin?rate=8000000"; urls=("$url"); seed=() ;;
    esac
    run_curl "curl_$scenario" "$url"
    run_aria2c "aria2c_$scenario" "${urls[@]}"
    run_engine "engine_$scenario" "$url" "${seed[@]}"
    if [ ${#WIDTHS[@]} -gt 1 ]; then
        use_width 32
        run_engine "engine32_$scenario" "$url" "${seed[@]}"
        use_width 64
    fi
done

mbs() { echo "$SIZE_MIB * 1.048576 / ${TAKEN[$1]}" | bc -l; }
ratio() { echo "${TAKEN[$2]} / ${TAKEN[$1]}" | bc -l; }
engine32() { [ -n "${TAKEN[engine32_$1]:-}" ] && printf '%.1f' "$(mbs "engine32_$1")" || echo -; }
printf '\n%-28s %12s %12s %12s %14s %14s %16s\n' "scenario ($SIZE_MIB MiB)" "curl MB/s" "aria2c MB/s" "engine MB/s" \
    "engine/aria2c" "engine/curl" "32-bit eng MB/s"
for scenario in unthrottled limited mirrors paced; do
    label=$scenario
    [ $scenario = limited ] && label="8 MB/s per connection"
    [ $scenario = mirrors ] && label="two mirrors, 8 MB/s per conn"
    [ $scenario = paced ] && label="paced 8 MB/s per conn"
    printf '%-28s %12.1f %12.1f %12.1f %14.2f %14.2f %16s\n' "$label" "$(mbs curl_$scenario)" "$(mbs aria2c_$scenario)" \
        "$(mbs engine_$scenario)" "$(ratio engine_$scenario aria2c_$scenario)" "$(ratio engine_$scenario curl_$scenario)" \
        "$(engine32 $scenario)"
done
echo
cat "$WORK/sources.txt"

if [ "$MEMORY_MIB" -gt 0 ]; then
    head -c $((MEMORY_MIB * 1048576)) /dev/urandom >"$WORK/www/huge.bin"
    chmod a+r "$WORK/www/huge.bin"
    EXPECTED=$(md5sum <"$WORK/www/huge.bin" | cut -d' ' -f1)
    echo
    for width in "${WIDTHS[@]}"; do
        use_width "$width"
        # Peak resident memory of the harness process (the engine is a DLL in it).
        WINEPREFIX=$ENGINE_PREFIX /usr/bin/time -o "$WORK/peak.txt" -f '%M' "$ENGINE_WINE" "$ENGINE_BIN/p2sp-get.exe" \
            "http://127.0.0.1:$PLAIN/huge.bin" "$(winpath "$WORK/out/engine.bin")" --poll-ms 200 </dev/null >/dev/null 2>&1
        peak=$(tail -1 "$WORK/peak.txt")
        check "engine $MEMORY_MIB MiB ($width-bit)" "$WORK/out/engine.bin"
        printf 'engine peak memory, %d-bit, %d MiB download: %.1f MiB resident\n' "$width" "$MEMORY_MIB" \
            "$(echo "$peak / 1024" | bc -l)"
    done
    use_width 64
    rm -f "$WORK/www/huge.bin"
fi

# Resume check: kill at about 40%, run again, count what the server sent in
# all; once against nginx, once against the paced server. What the killed run
# had reported done, against what the next run kept, is what the engine
# itself lost; the rest of the bytes sent twice were on their way (socket
# buffers) when the process died.
EXPECTED=$(md5sum <"$WORK/www/kill.bin" | cut -d' ' -f1)
size=$((64 * 1048576))
resume_check() {  # LABEL URL; the server's log is read by sent_bytes
    engine "$2" "$WORK/out/engine.bin" --kill-at-percent 40 >"$WORK/kill1.txt" || true
    sleep 0.5
    engine "$2" "$WORK/out/engine.bin" >"$WORK/kill2.txt"
    check "engine resumed ($1)" "$WORK/out/engine.bin"
    sleep 0.5
    local sent reported kept
    sent=$(sent_bytes)
    reported=$(sed -n 's/^killing at .*, \([0-9]*\) bytes$/\1/p' "$WORK/kill1.txt")
    kept=$(sed -n 's/^created \([0-9]*\) .*/\1/p' "$WORK/kill2.txt")
    printf 'resume check, %s, 64 MiB killed at %s: %d bytes sent twice (%.2f%% of the file); done when killed %s, kept %s\n' \
        "$1" "$(sed -n 's/^killing at \([0-9]*%\).*/\1/p' "$WORK/kill1.txt")" $((sent - size)) \
        "$(echo "($sent - $size) * 100 / $size" | bc -l)" "$reported" "$kept"
}
echo
: >"$WORK/nginx/access.log"
sent_bytes() { awk -v port=$LIMITED '$1 == port && $2 == "/kill.bin" { s += $4 } END { print s + 0 }' "$WORK/nginx/access.log"; }
resume_check "nginx 8 MB/s per conn" "http://127.0.0.1:$LIMITED/kill.bin"
: >"$WORK/paced.log"
sent_bytes() { python3 -c 'import json, sys
print(sum(json.loads(l)["sent"] for l in open(sys.argv[1]) if json.loads(l)["path"] == "/kill.bin"))' "$WORK/paced.log"; }
resume_check "paced 8 MB/s per conn" "http://127.0.0.1:$PACED/kill.bin?rate=8000000"
