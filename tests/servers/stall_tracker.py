#!/usr/bin/env python3
"""A tracker that never answers usefully, for tests that the engine does not
wait on it: on --http-port it accepts every announce, sends a 200 status
line and then one byte of body every --trickle seconds, forever; on
--udp-port it takes every datagram and answers none. Loopback only."""
import argparse
import socket
import threading
import time


def trickle(conn, every):
    try:
        conn.settimeout(30)
        conn.recv(65536)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n")
        for byte in b"d8:intervali1800e5:peers" * 1000:
            time.sleep(every)
            conn.sendall(bytes([byte]))
    except OSError:
        pass
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--http-port", type=int, required=True)
    parser.add_argument("--udp-port", type=int, required=True)
    parser.add_argument("--trickle", type=float, default=1.0)
    args = parser.parse_args()
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", args.udp_port))
    threading.Thread(target=lambda: [udp.recvfrom(65536) for _ in iter(int, 1)], daemon=True).start()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.http_port))
    listener.listen(16)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=trickle, args=(conn, args.trickle), daemon=True).start()


if __name__ == "__main__":
    main()
