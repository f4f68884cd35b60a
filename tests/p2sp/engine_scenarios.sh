#!/usr/bin/env bash
# Download scenarios of the engine, driven through p2sp-get.exe under wine:
# against nginx (the test portal on 127.0.0.1:17223) and against
# tests/servers/range_server.py, started here on 127.0.0.1:17240, whose log
# shows every body byte sent, so re-sent bytes can be counted.
#
# usage: engine_scenarios.sh <build-dir>
# Environment (for runs outside CTest):
#   P2SP_WINE_RUN   command that runs a Windows program (default: scripts/wine-run.sh <build-dir>)
#   P2SP_NGINX_URL  nginx base URL (default http://127.0.0.1:17223)
#   P2SP_NGINX_DIR  folder nginx serves at that URL (default <build-dir>/portal)
#   P2SP_SCENARIOS  space-separated scenario names: run only these
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
bin=$build/bin
work=$build/p2sp-scenarios
RANGE_PORT=17240
RANGE_URL=http://127.0.0.1:$RANGE_PORT
TLS_PORT=17241
UNTRUSTED_PORT=17242
NGINX_DIR=${P2SP_NGINX_DIR:-$build/portal}/p2sp-test
NGINX_URL=${P2SP_NGINX_URL:-http://127.0.0.1:17223}/p2sp-test
if [ -n "${P2SP_WINE_RUN:-}" ]; then
    read -ra WINE <<<"$P2SP_WINE_RUN"
else
    WINE=("$root/scripts/wine-run.sh" "$build")
fi

rm -rf "$work" "$NGINX_DIR"
mkdir -p "$work/srv" "$work/dl" "$NGINX_DIR"
chmod a+rx "$NGINX_DIR"

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# The ports are fixed: another run of these scenarios must finish first.
for port in $RANGE_PORT $TLS_PORT $UNTRUSTED_PORT; do
    for _ in $(seq 240); do port_open $port || break; sleep 1; done
    if port_open $port; then echo "port $port stays busy: another test run?"; exit 1; fi
done

python3 "$root/tests/servers/range_server.py" --port $RANGE_PORT --root "$work/srv" --log "$work/range.log" \
    >"$work/range-server.out" 2>&1 </dev/null &
server_pid=$!
# The same server over TLS twice: with a certificate that the test prefix is
# made to trust (imported into its current-user Root store, removed again at
# the end), and with one it does not trust.
make_cert() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext "subjectAltName=DNS:127.0.0.1,IP:127.0.0.1" -addext "basicConstraints=critical,CA:TRUE" \
        -keyout "$work/$1-key.pem" -out "$work/$1-cert.pem" >/dev/null 2>&1
}
make_cert trusted
make_cert untrusted
cert_key="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$(openssl x509 -in "$work/trusted-cert.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')"
cert_blob=$(python3 -c '
import struct, subprocess, sys
der = subprocess.run(["openssl", "x509", "-in", sys.argv[1], "-outform", "DER"], capture_output=True).stdout
print((struct.pack("<III", 0x20, 1, len(der)) + der).hex())  # one CERT_CERT_PROP_ID property' "$work/trusted-cert.pem")
"${WINE[@]}" reg add "$cert_key" /v Blob /t REG_BINARY /d "$cert_blob" /f >/dev/null 2>&1 </dev/null
pids=($server_pid)
for kind in trusted untrusted; do
    port=$TLS_PORT
    [ $kind = untrusted ] && port=$UNTRUSTED_PORT
    python3 "$root/tests/servers/range_server.py" --port $port --root "$work/srv" --log "$work/$kind.log" \
        --cert "$work/$kind-cert.pem" --key "$work/$kind-key.pem" >"$work/$kind-server.out" 2>&1 </dev/null &
    pids+=($!)
done
mounts=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null
    wait "${pids[@]}" 2>/dev/null
    for m in "${mounts[@]}"; do umount -l "$m"; done
    "${WINE[@]}" reg delete "$cert_key" /f >/dev/null 2>&1 </dev/null
}
trap cleanup EXIT
for port in $RANGE_PORT $TLS_PORT $UNTRUSTED_PORT; do
    for _ in $(seq 100); do port_open $port && break; sleep 0.1; done
done
for pid in "${pids[@]}"; do
    kill -0 "$pid" 2>/dev/null && continue
    echo "a range server did not start:"; cat "$work"/*server.out; exit 1
done

MIB=1048576
failures=0

make_file() { head -c "$2" /dev/urandom >"$1"; chmod a+r "$1"; }
winpath() { echo "Z:${1//\//\\}"; }
md5() { md5sum <"$1" | cut -d' ' -f1; }

# get URL TARGET [options]: runs the harness; sets RC and OUT.
get() {
    OUT=$("${WINE[@]}" "$bin/p2sp-get.exe" "$1" "$(winpath "$2")" --poll-ms 100 --timeout-s 120 "${@:3}" 2>&1 </dev/null)
    RC=$?
    echo "$OUT" | tr -d '\r' | grep -v '^progress' | sed 's/^/    /' >>"$work/harness.log"
}

# "completed total" reported right after CreateP2SPTask, before StartTask.
created_progress() { echo "$OUT" | tr -d '\r' | sed -n 's/^created \([0-9]*\) \([0-9]*\) .*/\1 \2/p' | head -1; }

# Bytes the range server sent for PATH, and how many responses.
sent_bytes() { python3 -c '
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1]) if json.loads(l)["path"] == sys.argv[2]]
print(sum(r["sent"] for r in rows), len(rows))' "$work/range.log" "$1"; }

complete_and_clean() {  # TARGET SOURCE
    [ "$RC" = 0 ] || { echo "    exit code $RC"; return 1; }
    [ -f "$1" ] && [ "$(md5 "$1")" = "$(md5 "$2")" ] || { echo "    content differs from the source"; return 1; }
    ! ls "$1".P2P* >/dev/null 2>&1 || { echo "    partial files left:" "$1".P2P*; return 1; }
}

resent_at_most() {  # PATH SOURCE LIMIT
    local sent requests size
    read -r sent requests < <(sent_bytes "$1")
    size=$(stat -c %s "$2")
    echo "    $1: $requests responses, $((sent - size)) bytes sent twice" >>"$work/harness.log"
    [ $((sent - size)) -le "$3" ] || { echo "    $((sent - size)) bytes sent twice (limit $3)"; return 1; }
}

# What a second run took again: the bytes its source counted beyond what the
# record lacked when it was created (its "created" line; one task a run).
# Unlike the server's count, bytes the server had already sent into the
# stopped connections do not count: how many of those sat in socket buffers
# depends on the machine's load, not on the engine.
taken_again_at_most() {  # LIMIT
    local done total got
    read -r done total <<<"$(echo "$OUT" | tr -d '\r' | sed -n 's/^created \([0-9]*\) \([0-9]*\) .*/\1 \2/p' | tail -1)"
    got=$(echo "$OUT" | tr -d '\r' | sed -n 's/^source 0 .*: [0-9]* connections, \([0-9]*\) bytes.*/\1/p' | tail -1)
    echo "    taken again: $((got - (total - done))) bytes" >>"$work/harness.log"
    [ $((got - (total - done))) -le "$1" ] || { echo "    $((got - (total - done))) bytes taken again (limit $1)"; return 1; }
}

scenario() {
    local name=$1
    # P2SP_SCENARIOS="a b": run only these (while working on them).
    [ -n "${P2SP_SCENARIOS:-}" ] && [[ " $P2SP_SCENARIOS " != *" $name "* ]] && return 0
    echo "== $name" >>"$work/harness.log"
    if "$name"; then
        echo "ok   $name"
    else
        echo "FAIL $name"
        failures=$((failures + 1))
    fi
}

nginx_complete_download() {
    make_file "$NGINX_DIR/full.bin" $((3 * MIB))
    get "$NGINX_URL/full.bin" "$work/dl/full.bin"
    complete_and_clean "$work/dl/full.bin" "$NGINX_DIR/full.bin"
}

nginx_missing_file_is_refused() {
    get "$NGINX_URL/missing.bin" "$work/dl/missing.bin"
    [ "$RC" = 5 ] || { echo "    exit code $RC, expected 5"; return 1; }
    [ ! -f "$work/dl/missing.bin" ] && [ ! -f "$work/dl/missing.bin.P2P" ] ||
        { echo "    files left for a refused download"; return 1; }
}

passing_server_errors_are_retried() {
    make_file "$work/srv/busy.bin" $MIB
    get "$RANGE_URL/busy.bin?status=503&status_first=2" "$work/dl/busy.bin"
    complete_and_clean "$work/dl/busy.bin" "$work/srv/busy.bin"
}

https_download() {
    make_file "$work/srv/secure.bin" $((2 * MIB))
    get "https://127.0.0.1:$TLS_PORT/secure.bin" "$work/dl/secure.bin"
    complete_and_clean "$work/dl/secure.bin" "$work/srv/secure.bin"
}

untrusted_certificate_is_refused() {
    make_file "$work/srv/tls.bin" $MIB
    get "https://127.0.0.1:$UNTRUSTED_PORT/tls.bin" "$work/dl/tls.bin"
    [ "$RC" = 5 ] || { echo "    exit code $RC, expected 5"; return 1; }
    [ ! -f "$work/dl/tls.bin" ] && [ ! -f "$work/dl/tls.bin.P2P" ]
}

redirect_is_followed() {
    make_file "$work/srv/moved.bin" $MIB
    get "$RANGE_URL/elsewhere?redirect=/moved.bin" "$work/dl/moved.bin"
    complete_and_clean "$work/dl/moved.bin" "$work/srv/moved.bin"
}

redirect_to_another_scheme_and_port_is_followed() {
    make_file "$work/srv/upgrade.bin" $MIB
    get "$RANGE_URL/upgrade?redirect=https://127.0.0.1:$TLS_PORT/upgrade.bin" "$work/dl/upgrade.bin"
    complete_and_clean "$work/dl/upgrade.bin" "$work/srv/upgrade.bin"
}

https_redirect_to_http_is_refused() {
    # The plain server must never be asked: the request would go out in clear.
    make_file "$work/srv/downgrade.bin" $MIB
    get "https://127.0.0.1:$TLS_PORT/downgrade?redirect=$RANGE_URL/downgrade.bin" "$work/dl/downgrade.bin"
    [ "$RC" = 5 ] || { echo "    exit code $RC, expected 5"; return 1; }
    [ ! -f "$work/dl/downgrade.bin" ] && [ ! -f "$work/dl/downgrade.bin.P2P" ] ||
        { echo "    files left for a refused download"; return 1; }
    read -r _ requests < <(sent_bytes /downgrade.bin)
    [ "$requests" = 0 ] || { echo "    the plain server was asked $requests times"; return 1; }
}

stop_then_start_resumes() {
    make_file "$work/srv/stop.bin" $((4 * MIB))
    get "$RANGE_URL/stop.bin?rate=2000000" "$work/dl/stop.bin" --stop-after-bytes 1500000
    [ "$RC" = 100 ] || { echo "    first run exit code $RC, expected 100 (stopped)"; return 1; }
    [ -f "$work/dl/stop.bin.P2P" ] && [ -f "$work/dl/stop.bin.P2P.ctl" ] || { echo "    no partial file"; return 1; }
    get "$RANGE_URL/stop.bin?rate=2000000" "$work/dl/stop.bin"
    read -r done total <<<"$(created_progress)"
    [ "${done:-0}" -ge 1500000 ] && [ "${total:-0}" = $((4 * MIB)) ] ||
        { echo "    before StartTask: completed ${done:-?} of ${total:-?}"; return 1; }
    # At most the 16 KiB overlap of each of the 4 connections is taken again;
    # the server also sent what each had on its way when it stopped, a socket
    # buffer's worth at most.
    complete_and_clean "$work/dl/stop.bin" "$work/srv/stop.bin" && taken_again_at_most $((4 * 16 * 1024)) &&
        resent_at_most /stop.bin "$work/srv/stop.bin" $((4 * (16 + 128) * 1024))
}

pause_and_continue_in_one_process() {
    make_file "$work/srv/pause.bin" $((4 * MIB))
    get "$RANGE_URL/pause.bin?rate=2000000" "$work/dl/pause.bin" --pause-after-bytes 1500000
    # As above: the overlaps, and what was on its way at the pause.
    complete_and_clean "$work/dl/pause.bin" "$work/srv/pause.bin" &&
        resent_at_most /pause.bin "$work/srv/pause.bin" $((4 * (16 + 128) * 1024))
}

killed_process_resumes() {
    make_file "$work/srv/kill.bin" $((4 * MIB))
    get "$RANGE_URL/kill.bin?rate=1000000" "$work/dl/kill.bin" --kill-at-percent 40
    [ "$RC" = 99 ] || { echo "    first run exit code $RC, expected 99 (killed)"; return 1; }
    get "$RANGE_URL/kill.bin?rate=1000000" "$work/dl/kill.bin"
    read -r done _ <<<"$(created_progress)"
    [ "${done:-0}" -gt 0 ] || { echo "    nothing kept from the killed run"; return 1; }
    complete_and_clean "$work/dl/kill.bin" "$work/srv/kill.bin" &&
        resent_at_most /kill.bin "$work/srv/kill.bin" $((512 * 1024))
}

killed_many_connections_resume_every_segment() {
    # 16 connections at 2 MB/s each; killed at three points, then finished.
    make_file "$work/srv/many.bin" $((24 * MIB))
    local point done_before=0 done
    for point in 20 50 80; do
        get "$RANGE_URL/many.bin?rate=2000000" "$work/dl/many.bin" --kill-at-percent $point
        [ "$RC" = 99 ] || { echo "    run killed at $point%: exit code $RC, expected 99"; return 1; }
        ls "$work/dl/many.bin".P2P.ctl.new >/dev/null 2>&1 && echo "    (a record replacement was cut: .new left)" >>"$work/harness.log"
    done
    get "$RANGE_URL/many.bin?rate=2000000" "$work/dl/many.bin"
    read -r done _ <<<"$(created_progress)"
    [ "${done:-0}" -ge $((19 * MIB)) ] || { echo "    only ${done:-0} bytes kept from the killed runs"; return 1; }
    read -r _ requests < <(sent_bytes /many.bin)
    [ "$requests" -ge 48 ] || { echo "    only $requests requests: not 16 connections"; return 1; }
    # Per kill and connection: the read in flight and what the socket held.
    complete_and_clean "$work/dl/many.bin" "$work/srv/many.bin" &&
        resent_at_most /many.bin "$work/srv/many.bin" $((3 * 16 * 256 * 1024))
}

# make_meta4 OUT FILE NAME SIZE MIRROR...: a Metalink 4 document describing
# FILE under NAME with SIZE (normally the file's), SHA-256 of the whole file
# and of 256 KiB pieces, and the mirror URLs.
make_meta4() {
    python3 - "$@" <<'PY'
import hashlib, sys
out, path, name, size, mirrors = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
data = open(path, "rb").read()
piece = 256 * 1024
hashes = "".join("<hash>%s</hash>" % hashlib.sha256(data[i:i + piece]).hexdigest() for i in range(0, len(data), piece))
urls = "".join('<url priority="%d">%s</url>' % (i + 1, u.replace("&", "&amp;")) for i, u in enumerate(mirrors))
open(out, "w").write('<?xml version="1.0" encoding="UTF-8"?>\n'
                     '<metalink xmlns="urn:ietf:params:xml:ns:metalink">\n'
                     '  <file name="%s"><size>%s</size><hash type="sha-256">%s</hash>\n'
                     '    <pieces length="%d" type="sha-256">%s</pieces>%s</file>\n'
                     '</metalink>\n' % (name, size, hashlib.sha256(data).hexdigest(), piece, hashes, urls))
PY
    chmod a+r "$1"
}

# Bytes the range server sent for PATH with a query containing WORD.
sent_for() { python3 -c '
import json, sys
print(sum(json.loads(l)["sent"] for l in open(sys.argv[1])
          if json.loads(l)["path"] == sys.argv[2] and sys.argv[3] in json.loads(l)["query"]))' "$work/range.log" "$1" "$2"; }

mirror_with_a_corrupt_piece_is_caught() {
    make_file "$work/srv/mirrored.bin" $((8 * MIB))
    mkdir -p "$work/srv/m1" "$work/srv/m2"
    cp "$work/srv/mirrored.bin" "$work/srv/m1/"; cp "$work/srv/mirrored.bin" "$work/srv/m2/"
    make_meta4 "$work/srv/mirrored.meta4" "$work/srv/mirrored.bin" mirrored.bin $((8 * MIB)) \
        "$RANGE_URL/m1/mirrored.bin?rate=1500000&corrupt_start=1" "$RANGE_URL/m2/mirrored.bin?rate=1500000"
    get "$RANGE_URL/mirrored.bin?rate=1500000" "$work/dl/mirrored.bin" --seed "$RANGE_URL/mirrored.meta4"
    complete_and_clean "$work/dl/mirrored.bin" "$work/srv/mirrored.bin" || return 1
    # Mirror 1 sends every body with its first byte wrong: its pieces fail
    # and are fetched from the others; it is dropped, and mirror 2 helps.
    echo "$OUT" | tr -d '\r' | grep -q '^source 1 .* [1-9][0-9]* bad pieces, dropped' || { echo "    the bad pieces went unseen"; return 1; }
    [ "$(sent_for /m2/mirrored.bin rate)" -gt $MIB ] || { echo "    mirror 2 was hardly used"; return 1; }
}

mirror_returning_404_is_dropped() {
    make_file "$work/srv/dropmirror.bin" $((6 * MIB))
    mkdir -p "$work/srv/m2"
    cp "$work/srv/dropmirror.bin" "$work/srv/m2/"
    make_meta4 "$work/srv/dropmirror.meta4" "$work/srv/dropmirror.bin" dropmirror.bin $((6 * MIB)) \
        "$RANGE_URL/gone/dropmirror.bin" "$RANGE_URL/m2/dropmirror.bin?rate=1500000"
    get "$RANGE_URL/dropmirror.bin?rate=1500000" "$work/dl/dropmirror.bin" --seed "$RANGE_URL/dropmirror.meta4"
    complete_and_clean "$work/dl/dropmirror.bin" "$work/srv/dropmirror.bin" || return 1
    echo "$OUT" | tr -d '\r' | grep -q '^source 1 .*, dropped$' || { echo "    the 404 mirror was not dropped"; return 1; }
    [ "$(sent_for /m2/dropmirror.bin rate)" -gt $MIB ] || { echo "    the good mirror was hardly used"; return 1; }
}

seed_of_another_file_is_ignored() {
    make_file "$work/srv/own.bin" $((4 * MIB))
    make_file "$work/srv/other.bin" $((4 * MIB))
    mkdir -p "$work/srv/m1"
    cp "$work/srv/other.bin" "$work/srv/m1/own.bin"
    # Wrong size: the mirror is never asked.
    make_meta4 "$work/srv/size.meta4" "$work/srv/own.bin" own.bin $((4 * MIB + 1)) "$RANGE_URL/m1/own.bin?size"
    get "$RANGE_URL/own.bin" "$work/dl/own.bin" --seed "$RANGE_URL/size.meta4"
    complete_and_clean "$work/dl/own.bin" "$work/srv/own.bin" || return 1
    [ "$(sent_for /m1/own.bin size)" = 0 ] || { echo "    a seed of another size was used"; return 1; }
    # Right size, hashes of another file: nothing from its mirror is kept.
    make_meta4 "$work/srv/hash.meta4" "$work/srv/other.bin" own.bin $((4 * MIB)) "$RANGE_URL/m1/own.bin?hash"
    get "$RANGE_URL/own.bin?rate=1500000" "$work/dl/own.bin" --seed "$RANGE_URL/hash.meta4"
    complete_and_clean "$work/dl/own.bin" "$work/srv/own.bin"
}

dropped_connections_recover() {
    make_file "$work/srv/drop.bin" $((4 * MIB))
    get "$RANGE_URL/drop.bin?drop=700000" "$work/dl/drop.bin"
    complete_and_clean "$work/dl/drop.bin" "$work/srv/drop.bin" || return 1
    read -r _ requests < <(sent_bytes /drop.bin)
    [ "$requests" -ge 6 ] || { echo "    only $requests requests"; return 1; }
    # Each new connection re-fetches only the 16 KiB overlap.
    resent_at_most /drop.bin "$work/srv/drop.bin" $((requests * 16 * 1024))
}

reset_connections_recover() {
    make_file "$work/srv/reset.bin" $((2 * MIB))
    get "$RANGE_URL/reset.bin?drop=300000&reset=1&rate=4000000" "$work/dl/reset.bin"
    complete_and_clean "$work/dl/reset.bin" "$work/srv/reset.bin"
}

stalled_connection_is_resumed() {
    make_file "$work/srv/stall.bin" $((2 * MIB))
    get "$RANGE_URL/stall.bin?stall=600000&stall_first=1" "$work/dl/stall.bin"
    # A read that times out loses what it had gathered: at most one read (1 MiB).
    complete_and_clean "$work/dl/stall.bin" "$work/srv/stall.bin" &&
        resent_at_most /stall.bin "$work/srv/stall.bin" $((MIB + 64 * 1024))
}

server_ignoring_range_starts_over() {
    make_file "$work/srv/ignore.bin" $((4 * MIB))
    get "$RANGE_URL/ignore.bin?rate=2000000" "$work/dl/ignore.bin" --stop-after-bytes 1000000
    [ "$RC" = 100 ] || { echo "    first run exit code $RC"; return 1; }
    get "$RANGE_URL/ignore.bin?ignore_range=1" "$work/dl/ignore.bin"
    complete_and_clean "$work/dl/ignore.bin" "$work/srv/ignore.bin"
}

changed_file_starts_over() {
    make_file "$work/srv/changed.bin" $((4 * MIB))
    get "$RANGE_URL/changed.bin?rate=2000000" "$work/dl/changed.bin" --stop-after-bytes 1000000
    [ "$RC" = 100 ] || { echo "    first run exit code $RC"; return 1; }
    make_file "$work/srv/changed.bin" $((3 * MIB))  # new content, new size, new ETag
    get "$RANGE_URL/changed.bin" "$work/dl/changed.bin"
    complete_and_clean "$work/dl/changed.bin" "$work/srv/changed.bin"
}

changed_file_without_validators_is_caught_by_the_overlap() {
    make_file "$work/srv/novalid.bin" $((4 * MIB))
    get "$RANGE_URL/novalid.bin?rate=2000000&no_validators=1" "$work/dl/novalid.bin" --stop-after-bytes 1000000
    [ "$RC" = 100 ] || { echo "    first run exit code $RC"; return 1; }
    make_file "$work/srv/novalid.bin" $((4 * MIB))  # same size, other bytes, nothing to tell
    get "$RANGE_URL/novalid.bin?no_validators=1" "$work/dl/novalid.bin"
    complete_and_clean "$work/dl/novalid.bin" "$work/srv/novalid.bin"
}

# Responses for PATH that sent body bytes from offset 0.
sent_from_zero() { python3 -c '
import json, sys
print(sum(1 for l in open(sys.argv[1]) if json.loads(l)["path"] == sys.argv[2]
          and json.loads(l)["start"] == 0 and json.loads(l)["sent"] > 0))' "$work/range.log" "$1"; }

changed_file_with_nothing_before_the_first_gap_is_caught() {
    # The first request (bytes from 0) stalls, so the stopped run keeps only
    # ranges further on: the first gap starts at byte 0, with no bytes before
    # it to compare, and the server sends no validators.
    make_file "$work/srv/gapzero.bin" $((4 * MIB))
    get "$RANGE_URL/gapzero.bin?rate=2000000&no_validators=1&stall=0&stall_first=1" "$work/dl/gapzero.bin" \
        --stop-after-bytes 1000000
    [ "$RC" = 100 ] || { echo "    first run exit code $RC"; return 1; }
    [ "$(sent_from_zero /gapzero.bin)" = 0 ] || { echo "    the first run fetched byte 0"; return 1; }
    make_file "$work/srv/gapzero.bin" $((4 * MIB))  # same size, other bytes, nothing to tell
    get "$RANGE_URL/gapzero.bin?no_validators=1" "$work/dl/gapzero.bin"
    complete_and_clean "$work/dl/gapzero.bin" "$work/srv/gapzero.bin"
}

changed_file_after_a_body_of_unknown_length_is_caught() {
    # The first answer is a 200 of unknown length (chunked) that stalls until
    # the read times out; the file changes before the next request, which is
    # answered with a range, without validators.
    make_file "$work/srv/unknown.bin" $((4 * MIB))
    make_file "$work/srv/unknown.bin.next" $((4 * MIB))
    get "$RANGE_URL/unknown.bin?unknown_length_first=1&stall=2500000&stall_first=1&swap_after=1&no_validators=1" \
        "$work/dl/unknown.bin"
    complete_and_clean "$work/dl/unknown.bin" "$work/srv/unknown.bin.next"
}

: >"$work/harness.log"
# A file past 4 GiB, resumed from a record whose done part ends 32 MiB short
# of 4 GiB, so that every offset, range header and record entry of the rest
# crosses the 32-bit line. Both files are sparse (the done part is a hole in
# each, as zeros) and only their data is compared, so this costs 64 MiB of
# transfer and disk, not 4 GiB.
a_file_past_4_gib_resumes_across_the_line() {
    local size=$((4096 * MIB + 32 * MIB)) done=$((4096 * MIB - 32 * MIB))
    local src=$work/srv/past4g.bin target=$work/dl/past4g.bin
    truncate -s $size "$src"
    head -c $((64 * MIB)) /dev/urandom | dd of="$src" bs=1M seek=$((done / MIB)) conv=notrunc status=none
    chmod a+r "$src"
    truncate -s $done "$target.P2P"
    python3 - "$src" "$target.P2P.ctl" $done <<'PY'
import os, struct, sys, zlib
st = os.stat(sys.argv[1])
etag = ('"%x-%x"' % (st.st_size, st.st_mtime_ns)).encode()  # the range server's
body = (b"QPRR" + struct.pack("<HHQIHHII", 1, 32, st.st_size, 1, len(etag), 0, 0, 0) + etag
        + struct.pack("<QQ", 0, int(sys.argv[3])))
open(sys.argv[2], "wb").write(body + struct.pack("<I", zlib.crc32(body)))
PY
    get "$RANGE_URL/past4g.bin" "$target"
    [ "$RC" = 0 ] && [ -f "$target" ] || { echo "    exit code $RC"; rm -f "$src" "$target"*; return 1; }
    python3 - "$src" "$target" <<'PY'
import os, sys
# Compares the two files where either holds data; elsewhere both are holes.
a, b = (open(p, "rb") for p in sys.argv[1:3])
size = os.fstat(a.fileno()).st_size
if os.fstat(b.fileno()).st_size != size:
    sys.exit("    the size differs")
def extents(f):
    fd, at = f.fileno(), 0
    while at < size:
        try:
            start = os.lseek(fd, at, os.SEEK_DATA)
        except OSError:
            return
        at = os.lseek(fd, start, os.SEEK_HOLE)
        yield start, at
for start, end in sorted(set(extents(a)) | set(extents(b))):
    a.seek(start); b.seek(start)
    while start < end:
        n = min(1 << 20, end - start)
        if a.read(n) != b.read(n):
            sys.exit("    content differs at %d" % start)
        start += n
PY
    local ok=$? sent requests
    read -r sent requests < <(sent_bytes /past4g.bin)
    echo "    past4g.bin: $requests responses, $sent bytes" >>"$work/harness.log"
    rm -f "$src" "$target"*
    [ $ok = 0 ] || return 1
    [ "$sent" -le $((64 * MIB + 4 * MIB)) ] || { echo "    $sent bytes sent: not resumed"; return 1; }
}

scenario nginx_complete_download
scenario nginx_missing_file_is_refused
scenario passing_server_errors_are_retried
scenario redirect_is_followed
scenario https_download
scenario redirect_to_another_scheme_and_port_is_followed
scenario https_redirect_to_http_is_refused
scenario untrusted_certificate_is_refused
scenario stop_then_start_resumes
scenario pause_and_continue_in_one_process
scenario killed_process_resumes
scenario killed_many_connections_resume_every_segment
scenario mirror_with_a_corrupt_piece_is_caught
scenario mirror_returning_404_is_dropped
scenario seed_of_another_file_is_ignored
scenario dropped_connections_recover
scenario reset_connections_recover
scenario stalled_connection_is_resumed
scenario server_ignoring_range_starts_over
scenario changed_file_starts_over
scenario changed_file_without_validators_is_caught_by_the_overlap
scenario changed_file_with_nothing_before_the_first_gap_is_caught
scenario changed_file_after_a_body_of_unknown_length_is_caught
# A disk that fills mid-download (a 3 MiB file system for an 8 MiB file):
# the task ends as a local failure and keeps what it wrote; with room again,
# a second run takes only what is missing.
full_disk_fails_then_resumes() {
    local small=$work/small
    if [ "$(id -u)" != 0 ]; then
        echo "    skipped: mounting a small file system needs root" >>"$work/harness.log"
        return 0
    fi
    mkdir -p "$small" && mount -t tmpfs -o size=3m,mode=0777 tmpfs "$small" || { echo "    no tmpfs"; return 1; }
    mounts+=("$small")
    make_file "$work/srv/disk.bin" $((8 * MIB))
    get "$RANGE_URL/disk.bin?rate=4000000" "$small/disk.bin"
    [ "$RC" = 6 ] || { echo "    first run exit code $RC, expected 6 (local failure)"; return 1; }
    [ -f "$small/disk.bin.P2P" ] && [ -f "$small/disk.bin.P2P.ctl" ] || { echo "    no partial file"; return 1; }
    mount -o remount,size=32m "$small"
    get "$RANGE_URL/disk.bin?rate=4000000" "$small/disk.bin"
    read -r done total <<<"$(created_progress)"
    echo "    kept ${done:-?} of ${total:-?}" >>"$work/harness.log"
    [ "${done:-0}" -ge $((1 * MIB)) ] || { echo "    kept only ${done:-0} bytes of the full disk's run"; return 1; }
    complete_and_clean "$small/disk.bin" "$work/srv/disk.bin" && taken_again_at_most $((16 * 16 * 1024))
}

scenario a_file_past_4_gib_resumes_across_the_line
scenario full_disk_fails_then_resumes

if [ "$failures" -gt 0 ]; then
    echo "$failures scenario(s) failed; harness output:"
    cat "$work/harness.log"
    exit 1
fi
echo "all engine scenarios passed"
