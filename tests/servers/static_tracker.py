#!/usr/bin/env python3
"""A tracker that names the same peers to everyone: every announce on
127.0.0.1:--port is answered with --interval (and --min-interval when
given) and the --peer addresses, IPv4 ones in compact "peers", IPv6 ones in
compact "peers6". For peers a tracker cannot learn by itself, such as IPv6
addresses of clients that announce over IPv4. With --silent-first N, the
first N announces of each client (by the port it names) name nobody, as a
tracker does before other peers have come. Each announce is logged to standard output as "announce SECONDS PORT"
(the port it names).
Loopback only."""
import argparse
import ipaddress
import re
import socket
import struct
import threading
import time


def compact(peers, family):
    out = b""
    for host, port in peers:
        address = ipaddress.ip_address(host)
        if address.version == family:
            out += address.packed + struct.pack(">H", port)
    return out


def answer(conn, bodies):
    try:
        conn.settimeout(10)
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 16384:
            part = conn.recv(4096)
            if not part:
                return
            request += part
        port = re.search(rb"[?&]port=(\d+)", request.split(b"\r\n", 1)[0])
        body = bodies(port.group(1).decode() if port else "-")
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--peer", action="append", default=[], help="ADDRESS:PORT, IPv6 in brackets")
    parser.add_argument("--interval", type=int, default=30)
    parser.add_argument("--min-interval", type=int)
    parser.add_argument("--silent-first", type=int, default=0, help="announces of each client answered with no peers")
    args = parser.parse_args()
    peers = []
    for text in args.peer:
        host, _, port = text.rpartition(":")
        peers.append((host.strip("[]"), int(port)))
    v4, v6 = compact(peers, 4), compact(peers, 6)
    head = b"d8:intervali%de" % args.interval
    if args.min_interval is not None:
        head += b"12:min intervali%de" % args.min_interval
    named = head + b"5:peers%d:%s6:peers6%d:%se" % (len(v4), v4, len(v6), v6)
    silent = head + b"5:peers0:6:peers60:e"
    lock = threading.Lock()
    counts = {}

    def bodies(port):
        with lock:
            counts[port] = counts.get(port, 0) + 1
            print("announce %.1f %s" % (time.monotonic(), port), flush=True)
            return silent if counts[port] <= args.silent_first else named
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=answer, args=(conn, bodies), daemon=True).start()


if __name__ == "__main__":
    main()
