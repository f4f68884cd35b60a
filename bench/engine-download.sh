#!/usr/bin/env bash
# Download speed of the engine against curl and aria2c (one connection each):
# a 256 MiB file from nginx on loopback. Prints MB/s and the ratio to curl.
# Figures, not a test: nothing here fails on a slow machine.
#
# usage: bench/engine-download.sh [BIN_DIR]   (default: build/win64/bin)
# The engine runs under wine64; WINEPREFIX is taken from the environment, or
# scripts/wine-run.sh is used when present.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN_DIR=$(realpath "${1:-$ROOT/build/win64/bin}")
PORT=17245
SIZE_MIB=${BENCH_SIZE_MIB:-256}
WORK=$(mktemp -d /tmp/p2sp-bench.XXXXXX)
NGINX_PID=

cleanup() {
    [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

if [ -x "$ROOT/scripts/wine-run.sh" ] && [ -z "${WINEPREFIX:-}" ]; then
    WINE=("$ROOT/scripts/wine-run.sh")
else
    WINE=(env WINEDEBUG=-all /usr/lib/wine/wine64)
fi

chmod 755 "$WORK"  # nginx workers may run as another user
mkdir -p "$WORK/www" "$WORK/out" "$WORK/nginx"
head -c $((SIZE_MIB * 1048576)) /dev/urandom > "$WORK/www/big.bin"
EXPECTED=$(md5sum < "$WORK/www/big.bin" | cut -d' ' -f1)

cat > "$WORK/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path $WORK/nginx/body;
    proxy_temp_path $WORK/nginx/proxy;
    fastcgi_temp_path $WORK/nginx/fastcgi;
    uwsgi_temp_path $WORK/nginx/uwsgi;
    scgi_temp_path $WORK/nginx/scgi;
    server {
        listen 127.0.0.1:$PORT;
        root $WORK/www;
    }
}
CONF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$PORT/big.bin" && break
    sleep 0.1
done
URL="http://127.0.0.1:$PORT/big.bin"

now() { date +%s.%N; }
declare -A SECONDS_TAKEN

check() {
    local got
    got=$(md5sum < "$2" | cut -d' ' -f1)
    if [ "$got" != "$EXPECTED" ]; then
        echo "$1: MD5 mismatch ($got, expected $EXPECTED)" >&2
        exit 1
    fi
    rm -f "$2"
}

# Warm the page cache so every client reads the same way.
cat "$WORK/www/big.bin" > /dev/null

t0=$(now); curl -sf -o "$WORK/out/curl.bin" "$URL"; t1=$(now)
SECONDS_TAKEN[curl]=$(echo "$t1 - $t0" | bc -l); check curl "$WORK/out/curl.bin"

t0=$(now)
aria2c -q -x1 -s1 -k1M --file-allocation=none --allow-overwrite=true -d "$WORK/out" -o aria2c.bin "$URL"
t1=$(now)
SECONDS_TAKEN[aria2c]=$(echo "$t1 - $t0" | bc -l); check aria2c "$WORK/out/aria2c.bin"

# The engine: the harness reports the time from StartTask to completion;
# the whole process (Wine start included) is timed too.
TARGET="Z:$(echo "$WORK/out/engine.bin" | tr / '\\')"
t0=$(now)
LOG=$("${WINE[@]}" "$BIN_DIR/p2sp-get.exe" "$URL" "$TARGET" --poll-ms 5 | tr -d '\r')
t1=$(now)
MS=$(echo "$LOG" | sed -n 's/^finished state 1, .* bytes in \([0-9]*\) ms$/\1/p')
[ -n "$MS" ] || { echo "engine download failed:"; echo "$LOG"; exit 1; }
SECONDS_TAKEN[engine]=$(echo "$MS / 1000" | bc -l)
SECONDS_TAKEN[engine_process]=$(echo "$t1 - $t0" | bc -l)
check engine "$WORK/out/engine.bin"

printf '%-26s %10s %10s %8s\n' "client ($SIZE_MIB MiB)" seconds "MB/s" "vs curl"
for name in curl aria2c engine engine_process; do
    s=${SECONDS_TAKEN[$name]}
    mbs=$(echo "$SIZE_MIB * 1.048576 / $s" | bc -l)
    ratio=$(echo "${SECONDS_TAKEN[curl]} / $s" | bc -l)
    label=$name
    [ "$name" = engine ] && label="p2sp-get (transfer)"
    [ "$name" = engine_process ] && label="p2sp-get (whole process)"
    printf '%-26s %10.3f %10.1f %8.2f\n' "$label" "$s" "$mbs" "$ratio"
done
