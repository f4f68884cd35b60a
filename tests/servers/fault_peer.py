#!/usr/bin/env python3
"""A BitTorrent seeder with faults, for engine tests. It listens on
127.0.0.1:--port, announces itself to the torrent's HTTP tracker, answers
every handshake for that torrent with a bitfield of all pieces, unchokes
whoever is interested and serves requests from --file, with one fault:
  --mode corrupt   every block is sent with its first byte inverted
  --mode drop      the connection is closed after half of the first piece's
                   blocks were sent (a peer that goes away mid-piece)
  --mode good      no fault
Each connection and block served is logged as a line to --log."""
import argparse
import hashlib
import os
import socket
import struct
import threading
import time
import urllib.parse
import urllib.request


def bdecode(data, i=0):
    c = data[i:i + 1]
    if c == b"i":
        end = data.index(b"e", i)
        return int(data[i + 1:end]), end + 1
    if c == b"l":
        i += 1
        items = []
        while data[i:i + 1] != b"e":
            v, i = bdecode(data, i)
            items.append(v)
        return items, i + 1
    if c == b"d":
        i += 1
        d = {}
        while data[i:i + 1] != b"e":
            k, i = bdecode(data, i)
            start = i
            v, i = bdecode(data, i)
            d[k] = v
            if k == b"info":
                d[b"__info_bytes"] = data[start:i]
        return d, i + 1
    colon = data.index(b":", i)
    n = int(data[i:colon])
    return data[colon + 1:colon + 1 + n], colon + 1 + n


def recv_exact(sock, n):
    buf = b""
    while len(buf) < n:
        chunk = sock.recv(n - len(buf))
        if not chunk:
            raise ConnectionError("closed")
        buf += chunk
    return buf


class Seeder:
    def __init__(self, args):
        meta, _ = bdecode(open(args.torrent, "rb").read())
        self.info_hash = hashlib.sha1(meta[b"__info_bytes"]).digest()
        info = meta[b"info"]
        self.piece_length = info[b"piece length"]
        self.length = info[b"length"]
        self.pieces = (self.length + self.piece_length - 1) // self.piece_length
        self.announce = meta[b"announce"].decode()
        self.data = open(args.file, "rb").read()
        self.mode = args.mode
        self.block_delay = args.block_delay
        self.port = args.port
        self.log = open(args.log, "a", buffering=1)
        self.peer_id = b"-FP0001-" + os.urandom(6).hex().encode()
        self.lock = threading.Lock()

    def write_log(self, line):
        with self.lock:
            self.log.write(line + "\n")

    def announce_once(self):
        query = urllib.parse.urlencode({
            "info_hash": self.info_hash, "peer_id": self.peer_id, "port": self.port,
            "uploaded": 0, "downloaded": 0, "left": 0, "compact": 1, "event": "started"},
            # %20, never "+", for a space byte of the info hash or peer id:
            # trackers decode the query as bytes.
            quote_via=urllib.parse.quote)
        sep = "&" if "?" in self.announce else "?"
        with urllib.request.urlopen(self.announce + sep + query, timeout=10) as reply:
            body = reply.read()
        self.write_log("announced: %r" % body[:60])
        # A tracker that is still reading its access list refuses for now.
        if b"failure reason" in body:
            raise OSError("refused by the tracker")

    def serve(self, conn):
        try:
            hs = recv_exact(conn, 68)
            if hs[0] != 19 or hs[1:20] != b"BitTorrent protocol" or hs[28:48] != self.info_hash:
                return
            conn.sendall(bytes([19]) + b"BitTorrent protocol" + bytes(8) + self.info_hash + self.peer_id)
            nbytes = (self.pieces + 7) // 8
            field = bytearray(b"\xff" * nbytes)
            spare = nbytes * 8 - self.pieces
            if spare:
                field[-1] = (0xff << spare) & 0xff
            conn.sendall(struct.pack(">IB", 1 + nbytes, 5) + bytes(field))
            sent_blocks = 0
            first_piece_blocks = (min(self.piece_length, self.length) + 16383) // 16384
            while True:
                (length,) = struct.unpack(">I", recv_exact(conn, 4))
                if length == 0:
                    continue
                body = recv_exact(conn, length)
                kind = body[0]
                if kind == 2:  # interested
                    conn.sendall(struct.pack(">IB", 1, 1))
                elif kind == 6:  # request
                    index, begin, size = struct.unpack(">III", body[1:13])
                    offset = index * self.piece_length + begin
                    block = bytearray(self.data[offset:offset + size])
                    if self.mode == "corrupt":
                        block[0] ^= 0xff
                    if self.mode == "drop" and sent_blocks >= max(1, first_piece_blocks // 2):
                        self.write_log("dropping after %d blocks" % sent_blocks)
                        return
                    if self.block_delay:
                        time.sleep(self.block_delay)
                    conn.sendall(struct.pack(">IBII", 9 + size, 7, index, begin) + bytes(block))
                    sent_blocks += 1
                    self.write_log("block %d %d %d" % (index, begin, size))
        except (ConnectionError, OSError):
            pass
        finally:
            conn.close()

    def run(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", self.port))
        listener.listen(16)
        # The tracker may be starting: try again until it answers and accepts.
        for attempt in range(60):
            try:
                self.announce_once()
                break
            except OSError as error:
                self.write_log("announce failed: %s" % error)
                time.sleep(1)
        while True:
            conn, addr = listener.accept()
            self.write_log("connection from %s:%d" % addr)
            threading.Thread(target=self.serve, args=(conn,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--torrent", required=True)
    parser.add_argument("--file", required=True)
    parser.add_argument("--mode", choices=["corrupt", "drop", "good"], default="corrupt")
    parser.add_argument("--log", required=True)
    parser.add_argument("--block-delay", type=float, default=0.0, help="seconds to wait before each block")
    Seeder(parser.parse_args()).run()


if __name__ == "__main__":
    main()
