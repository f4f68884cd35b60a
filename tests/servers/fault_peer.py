#!/usr/bin/env python3
"""A BitTorrent peer with faults, for engine tests. It listens on
--address:--port (a loopback address; several fault peers take different
ones, so each is a host of its own), announces itself to the torrent's HTTP
tracker from that address, answers every handshake for the torrent with a
bitfield of all pieces, unchokes whoever is interested and serves requests
from --file, with one fault:
  --mode good         no fault
  --mode corrupt      every block is sent with its first byte inverted
  --mode corruptblock in every piece it did not start (its first block asked
                      of another peer), the first block asked of it is
                      corrupted; a piece it serves whole is sent right (a liar
                      in pieces it shares with honest peers only, which no
                      count of bad pieces it sent alone ever catches)
  --mode drop         the connection is closed after half of the first piece's
                      blocks were sent (a peer that goes away mid-piece)
  --mode staller      unchokes and never sends a block; answers keep-alives
  --mode slowloris    sends each block --block-delay seconds after it was asked
  --mode late         holds every request --block-delay seconds, then sends
                      the block corrupted (arriving after others took the piece)
  --mode unsolicited  sends blocks nobody asked for, as fast as it can
  --mode rebitfield   sends a second bitfield after its unchoke, withdrawing every piece
  --mode flood        dials --dial HOST:PORT --connections times from its
                      address and handshakes on each; logs how many the
                      engine answered
  --mode rejoin       dials --dial HOST:PORT and sends corrupt blocks; when the
                      engine closes the connection it dials again with a new
                      peer id, --connections times, logging each outcome
--block-delay also delays every block in good mode. Each connection, block
served and fault is logged as a line to --log."""
import argparse
import hashlib
import os
import socket
import struct
import threading
import time
import urllib.parse
import http.client


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


def message(kind, payload=b""):
    return struct.pack(">IB", 1 + len(payload), kind) + payload


class Peer:
    def __init__(self, args):
        meta, _ = bdecode(open(args.torrent, "rb").read())
        self.info_hash = hashlib.sha1(meta[b"__info_bytes"]).digest()
        info = meta[b"info"]
        self.piece_length = info[b"piece length"]
        self.length = info[b"length"]
        self.pieces = (self.length + self.piece_length - 1) // self.piece_length
        self.announce = meta[b"announce"].decode()
        self.data = open(args.file, "rb").read()
        self.args = args
        self.mode = args.mode
        self.log = open(args.log, "a", buffering=1)
        self.lock = threading.Lock()

    def write_log(self, line):
        with self.lock:
            self.log.write(line + "\n")

    @staticmethod
    def new_peer_id():
        return b"-FP0001-" + os.urandom(6).hex().encode()

    def announce_once(self, peer_id):
        query = urllib.parse.urlencode({
            "info_hash": self.info_hash, "peer_id": peer_id, "port": self.args.port,
            "uploaded": 0, "downloaded": 0, "left": 0, "compact": 1, "event": "started"},
            # %20, never "+", for a space byte of the info hash or peer id:
            # trackers decode the query as bytes.
            quote_via=urllib.parse.quote)
        url = urllib.parse.urlsplit(self.announce)
        # From our own address, so the tracker lists us there.
        conn = http.client.HTTPConnection(url.hostname, url.port, timeout=10,
                                          source_address=(self.args.address, 0))
        conn.request("GET", url.path + ("?" + url.query + "&" if url.query else "?") + query)
        body = conn.getresponse().read()
        conn.close()
        self.write_log("announced: %r" % body[:60])
        # A tracker that is still reading its access list refuses for now.
        if b"failure reason" in body:
            raise OSError("refused by the tracker")

    def handshake(self, peer_id):
        return bytes([19]) + b"BitTorrent protocol" + bytes(8) + self.info_hash + peer_id

    def bitfield(self):
        nbytes = (self.pieces + 7) // 8
        field = bytearray(b"\xff" * nbytes)
        spare = nbytes * 8 - self.pieces
        if spare:
            field[-1] = (0xff << spare) & 0xff
        return message(5, bytes(field))

    def block(self, index, begin, size, corrupt):
        offset = index * self.piece_length + begin
        data = bytearray(self.data[offset:offset + size])
        if corrupt and data:
            data[0] ^= 0xff
        return struct.pack(">IBII", 9 + size, 7, index, begin) + bytes(data)

    def serve(self, conn, peer_id, answer_first):
        """Talks to one engine connection; returns why it ended."""
        try:
            if answer_first:
                conn.sendall(self.handshake(peer_id))
            try:
                hs = recv_exact(conn, 68)
            except (ConnectionError, OSError):
                return "refused before the handshake"
            if hs[0] != 19 or hs[1:20] != b"BitTorrent protocol" or hs[28:48] != self.info_hash:
                return "bad handshake"
            if not answer_first:
                conn.sendall(self.handshake(peer_id))
            self.write_log("handshake answered")
            conn.sendall(self.bitfield())
            sent = 0
            asked_pieces = set()  # pieces with a block asked of this connection
            first_piece_blocks = (min(self.piece_length, self.length) + 16383) // 16384
            unchoked = False
            if self.mode == "unsolicited":
                conn.sendall(message(1))
                for n in range(100000):
                    index = n % self.pieces
                    size = min(16384, self.length - index * self.piece_length)
                    conn.sendall(self.block(index, 0, size, True))
                    if n % 64 == 0:
                        self.write_log("unsolicited %d" % n)
                return "all sent"
            while True:
                (length,) = struct.unpack(">I", recv_exact(conn, 4))
                if length == 0:
                    continue
                body = recv_exact(conn, length)
                kind = body[0]
                if kind == 2 and not unchoked:  # interested
                    unchoked = True
                    conn.sendall(message(1))
                    if self.mode == "rebitfield":
                        conn.sendall(message(5, bytes((self.pieces + 7) // 8)))
                        self.write_log("second bitfield sent")
                elif kind == 8:
                    self.write_log("cancel %d %d" % struct.unpack(">II", body[1:9]))
                elif kind == 6:  # request
                    index, begin, size = struct.unpack(">III", body[1:13])
                    if self.mode == "staller":
                        self.write_log("request ignored %d %d" % (index, begin))
                        continue
                    if self.mode == "drop" and sent >= max(1, first_piece_blocks // 2):
                        self.write_log("dropping after %d blocks" % sent)
                        return "dropped"
                    if self.args.block_delay:
                        time.sleep(self.args.block_delay)
                    corrupt = self.mode in ("corrupt", "late", "rejoin") or \
                        (self.mode == "corruptblock" and begin != 0 and index not in asked_pieces)
                    asked_pieces.add(index)
                    conn.sendall(self.block(index, begin, size, corrupt))
                    sent += 1
                    self.write_log("block %d %d %d" % (index, begin, size))
        except (ConnectionError, OSError) as error:
            return "closed: %s" % error
        finally:
            conn.close()

    def dial(self):
        host, port = self.args.dial.rsplit(":", 1)
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind((self.args.address, 0))
        sock.settimeout(15)
        sock.connect((host, int(port)))
        return sock

    def flood(self):
        held = []
        answered = 0
        for n in range(self.args.connections):
            try:
                sock = self.dial()
                sock.sendall(self.handshake(self.new_peer_id()))
                sock.settimeout(3)
                reply = recv_exact(sock, 68)
                if reply[28:48] == self.info_hash:
                    answered += 1
                held.append(sock)
            except (ConnectionError, OSError):
                pass
        self.write_log("flood: %d of %d connections answered" % (answered, self.args.connections))
        time.sleep(3600)

    def rejoin(self):
        for n in range(self.args.connections):
            try:
                sock = self.dial()
            except OSError as error:
                self.write_log("dial %d failed: %s" % (n, error))
                time.sleep(1)
                continue
            why = self.serve(sock, self.new_peer_id(), True)
            self.write_log("connection %d ended: %s" % (n, why))
            time.sleep(0.5)
        self.write_log("rejoin done")
        time.sleep(3600)

    def run(self):
        if self.mode == "flood":
            return self.flood()
        if self.mode == "rejoin":
            return self.rejoin()
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((self.args.address, self.args.port))
        listener.listen(16)
        # The tracker may be starting: try again until it answers and accepts.
        peer_id = self.new_peer_id()
        for attempt in range(60):
            try:
                self.announce_once(peer_id)
                break
            except OSError as error:
                self.write_log("announce failed: %s" % error)
                time.sleep(1)
        while True:
            conn, addr = listener.accept()
            self.write_log("connection from %s:%d" % addr)
            threading.Thread(target=lambda c=conn: self.write_log("ended: " + self.serve(c, peer_id, False)),
                             daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1", help="loopback address to use")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--torrent", required=True)
    parser.add_argument("--file", required=True)
    parser.add_argument("--mode", default="corrupt",
                        choices=["good", "corrupt", "corruptblock", "drop", "staller", "slowloris", "late",
                                 "unsolicited", "rebitfield", "flood", "rejoin"])
    parser.add_argument("--log", required=True)
    parser.add_argument("--block-delay", type=float, default=0.0, help="seconds to wait before each block")
    parser.add_argument("--dial", help="HOST:PORT of the engine, for flood and rejoin")
    parser.add_argument("--connections", type=int, default=40, help="dials for flood and rejoin")
    args = parser.parse_args()
    if args.mode in ("flood", "rejoin") and not args.dial:
        parser.error("--dial is needed for " + args.mode)
    if args.mode in ("slowloris", "late") and not args.block_delay:
        args.block_delay = 6.0 if args.mode == "slowloris" else 12.0
    Peer(args).run()


if __name__ == "__main__":
    main()
