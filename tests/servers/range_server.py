#!/usr/bin/env python3
"""A small HTTP/1.1 file server for engine tests, with faults on request.

Serves the files of --root on 127.0.0.1:--port (HTTPS with --cert/--key). Behaviour per request comes
from the query string, so one server covers every case:
  rate=N          send the body at about N bytes per second
  drop=N          close the connection after N body bytes (every response)
  reset=1         with drop: end with a TCP reset rather than a normal close;
                  the client then loses whatever it had not read yet
  drop_first=K    only the first K responses of this path drop (with drop=N)
  ignore_range=1  answer every request with 200 and the whole file
  status=N        answer with status N and a short body (404, 500, ...)
  status_first=K  with status: only the first K responses of this path
  no_validators=1 send neither ETag nor Last-Modified
  redirect=PATH   answer 302 with Location PATH
  stall=N         after N body bytes, send nothing more for 60 s
  stall_first=K   with stall: only the first K responses of this path
  corrupt=N       the byte at file offset N is sent inverted (a mirror with a bad copy)
  corrupt_start=1 the first byte of every body is sent inverted
  unknown_length_first=K  the first K responses of this path are 200 with
                  the whole file in chunked encoding (no length); with drop
                  or stall, the body breaks off inside a chunk
  swap_after=K    from the (K+1)th response of this path on, the file's
                  content is that of "<file>.next" (it changed on the server)
With --total-rate N the server as a whole sends at most about N body bytes
per second, shared by every response (an origin whose line is the limit).
Range (one "bytes=a-b", "a-" or "-n" range) and If-Range are honoured
otherwise. The ETag follows the file's size and modification time, so
rewriting the file changes it.

Every response appends one JSON line to --log:
  {"path", "query", "range", "if_range", "status", "start", "sent"}
where start is the first body byte offset and sent the body bytes written.
"""
import argparse
import email.utils
import json
import os
import socket
import ssl
import struct
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 16 * 1024
LOG_LOCK = threading.Lock()
RESPONSES = {}  # path -> responses sent so far


class Pacer:
    """Hands out send times so that all responses together keep to a rate."""

    def __init__(self, rate):
        self.rate = rate
        self.lock = threading.Lock()
        self.next = time.monotonic()

    def wait(self, n):
        with self.lock:
            now = time.monotonic()
            start = max(self.next, now)
            self.next = start + n / self.rate
        if start > now:
            time.sleep(start - now)


def parse_range(header, size):
    """(first, last) inclusive for a single byte range, None when absent or
    unusable, 'unsatisfiable' when it starts past the end."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    spec = header[6:].strip()
    first, _, last = spec.partition("-")
    try:
        if first == "":
            n = int(last)
            if n <= 0:
                return None
            return (max(0, size - n), size - 1)
        a = int(first)
        b = int(last) if last else size - 1
    except ValueError:
        return None
    if a >= size:
        return "unsatisfiable"
    if b < a:
        return None
    return (a, min(b, size - 1))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "RangeServer/1"

    def log_message(self, fmt, *args):
        pass

    def record(self, status, start, sent):
        entry = {
            "path": self.url.path,
            "query": self.url.query,
            "range": self.headers.get("Range"),
            "if_range": self.headers.get("If-Range"),
            "status": status,
            "start": start,
            "sent": sent,
        }
        with LOG_LOCK, open(self.server.log_path, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def do_GET(self):
        self.url = urllib.parse.urlsplit(self.path)
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(self.url.query).items()}
        with LOG_LOCK:
            count = RESPONSES.get(self.url.path, 0)
            RESPONSES[self.url.path] = count + 1

        if "redirect" in q:
            self.send_response(302)
            self.send_header("Location", q["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.record(302, 0, 0)
            return

        if "status" in q and count < int(q.get("status_first", "1000000000")):
            body = b"refused\n"
            self.send_response(int(q["status"]))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            self.record(int(q["status"]), 0, len(body))
            return

        name = os.path.normpath(urllib.parse.unquote(self.url.path)).lstrip("/")
        path = os.path.join(self.server.root, name)
        if name.startswith("..") or not os.path.isfile(path):
            self.send_error(404)
            self.record(404, 0, 0)
            return
        if "swap_after" in q and count >= int(q["swap_after"]) and os.path.isfile(path + ".next"):
            path += ".next"
        # Read as sent, not whole: the benchmark serves files of hundreds of MiB.
        source = open(path, "rb")
        corrupt_at = int(q["corrupt"]) if "corrupt" in q else -1
        corrupt_start = q.get("corrupt_start") == "1"
        st = os.fstat(source.fileno())
        size = st.st_size
        etag = '"%x-%x"' % (size, st.st_mtime_ns)
        modified = email.utils.formatdate(st.st_mtime, usegmt=True)
        validators = q.get("no_validators") != "1"

        chunked = count < int(q.get("unknown_length_first", "0"))
        wanted = None
        if q.get("ignore_range") != "1" and not chunked:
            wanted = parse_range(self.headers.get("Range"), size)
            if_range = self.headers.get("If-Range")
            if wanted is not None and if_range is not None and if_range not in (etag, modified):
                wanted = None  # changed since: the whole new file
        if wanted == "unsatisfiable":
            source.close()
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.record(416, 0, 0)
            return

        if wanted is None:
            status, first, last = 200, 0, size - 1
        else:
            status, (first, last) = 206, wanted
        length = last - first + 1 if size else 0
        self.send_response(status)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(length))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        if validators:
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", modified)
        self.end_headers()

        limit = length
        if "drop" in q and count < int(q.get("drop_first", "1000000000")):
            limit = min(length, int(q["drop"]))
        stall_at = -1
        if "stall" in q and count < int(q.get("stall_first", "1000000000")):
            stall_at = int(q["stall"])
            limit = min(limit, stall_at)
        rate = float(q["rate"]) if "rate" in q else 0.0
        sent, begun = 0, time.monotonic()
        try:
            while sent < limit:
                n = min(CHUNK, limit - sent)
                if self.server.pacer:
                    self.server.pacer.wait(n)
                source.seek(first + sent)
                chunk = bytearray(source.read(n))
                if corrupt_start and sent == 0 and chunk:
                    chunk[0] ^= 0xFF
                if first + sent <= corrupt_at < first + sent + len(chunk):
                    chunk[corrupt_at - first - sent] ^= 0xFF
                if chunked:
                    # Announce the full chunk even when the drop cuts it.
                    full = min(CHUNK, length - sent)
                    self.wfile.write(b"%x\r\n" % full + bytes(chunk) + (b"\r\n" if full == n else b""))
                else:
                    self.wfile.write(chunk)
                sent += n
                if rate > 0:
                    ahead = sent / rate - (time.monotonic() - begun)
                    if ahead > 0:
                        time.sleep(ahead)
            if chunked and limit == length:
                self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        source.close()
        if stall_at >= 0:
            self.record(status, first, sent)
            time.sleep(60)  # a live connection that delivers nothing
            self.close_connection = True
            return
        self.record(status, first, sent)
        if limit < length:
            # Mid-body drop, as a failing server or proxy does it.
            self.close_connection = True
            try:
                if q.get("reset") == "1":
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.connection.close()
                else:
                    self.connection.shutdown(socket.SHUT_WR)
            except OSError:
                pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1", help="the address to listen on")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--cert", help="serve HTTPS with this PEM certificate")
    parser.add_argument("--key", help="its PEM private key")
    parser.add_argument("--total-rate", type=float, default=0.0,
                        help="body bytes per second for all responses together")
    args = parser.parse_args()
    server = ThreadingHTTPServer((args.host, args.port), Handler)
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.daemon_threads = True
    server.pacer = Pacer(args.total_rate) if args.total_rate > 0 else None
    server.root = os.path.abspath(args.root)
    server.log_path = args.log
    print("listening on %s:%d" % (args.host, args.port), flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
