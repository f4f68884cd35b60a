#!/usr/bin/env python3
"""A small HTTP/1.1 server on loopback that misbehaves on purpose.

Routes:
  /echo[?...]                  200; the body is the request target and the User-Agent, one per line
  /status/<code>               that status with a short body
  /nolength?size=N             200 without Content-Length; N bytes, then the connection closes
  /truncated?announce=N&send=M 200 announcing N bytes, sending M, then closing
  /bytes?size=N                200 with N bytes and a correct Content-Length
  /slow?ms=N                   200 after waiting N milliseconds
  /redirect?to=URL&code=C      C (302 by default) with Location: URL
  /loop?n=N                    302 to the relative /loop?n=N+1, without end
  /tls/cert.der                the certificate of the HTTPS listener (DER), to be trusted by a test
Every request is appended to the log file as "<target> <User-Agent> <arrival time>",
the time in seconds since the epoch.

The same routes are served over HTTPS on --tls-port (default: --port + 1) with
a self-signed certificate for 127.0.0.1 made with openssl at start; 0 turns
that listener off.
"""
import argparse
import http.server
import os
import shutil
import socketserver
import ssl
import subprocess
import tempfile
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_path = None
    certificate_der = None

    def log_message(self, fmt, *args):  # quiet on stderr
        pass

    def record(self):
        if self.log_path:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(f"{self.path} {self.headers.get('User-Agent', '')} {time.time():.6f}\n")

    def payload(self, n):
        pattern = b"0123456789abcdef"
        return (pattern * (n // len(pattern) + 1))[:n]

    def do_GET(self):
        self.record()
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/echo":
            body = f"{self.path}\n{self.headers.get('User-Agent', '')}\n".encode("utf-8")
            self.reply(200, body)
        elif url.path.startswith("/status/"):
            self.reply(int(url.path.split("/")[2]), b"status\n")
        elif url.path == "/redirect":
            self.redirect(int(query.get("code", "302")), query.get("to", "/echo"))
        elif url.path == "/loop":
            self.redirect(302, f"/loop?n={int(query.get('n', '0')) + 1}")
        elif url.path == "/tls/cert.der" and self.certificate_der:
            self.reply(200, self.certificate_der)
        elif url.path == "/slow":
            time.sleep(int(query.get("ms", "1000")) / 1000.0)
            self.reply(200, b"slow\n")
        elif url.path == "/bytes":
            self.reply(200, self.payload(int(query.get("size", "0"))))
        elif url.path == "/nolength":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(self.payload(int(query.get("size", "0"))))
            self.wfile.flush()
            self.close_connection = True
        elif url.path == "/endless":
            # An answer without a length that keeps coming: 16 KiB every
            # 10 ms, for at most 120 s or until the client goes away.
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            self.end_headers()
            deadline = time.time() + 120
            try:
                while time.time() < deadline:
                    self.wfile.write(self.payload(16384))
                    self.wfile.flush()
                    time.sleep(0.01)
            except OSError:
                pass
            self.close_connection = True
        elif url.path == "/truncated":
            announce = int(query.get("announce", "1000"))
            send = int(query.get("send", "500"))
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(announce))
            self.end_headers()
            self.wfile.write(self.payload(send))
            self.wfile.flush()
            self.close_connection = True
        else:
            self.reply(404, b"not found\n")

    def redirect(self, code, location):
        self.send_response(code)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def reply(self, code, body):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_certificate(folder):
    """A self-signed certificate for 127.0.0.1: (cert.pem, key.pem, DER bytes), or None."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    made = subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=DNS:127.0.0.1,IP:127.0.0.1", "-addext", "basicConstraints=critical,CA:TRUE",
         "-keyout", key, "-out", cert],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    if made.returncode != 0:
        return None
    with open(cert, encoding="ascii") as pem:
        return cert, key, ssl.PEM_cert_to_DER_cert(pem.read())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--log")
    args = parser.parse_args()
    Handler.log_path = args.log
    tls_port = args.port + 1 if args.tls_port is None else args.tls_port
    if tls_port:
        folder = tempfile.mkdtemp(prefix="http-faults-tls-")
        try:
            made = make_certificate(folder)
            if made:
                cert, key, Handler.certificate_der = made
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(cert, key)
                secure = Server(("127.0.0.1", tls_port), Handler)
                # The handshake happens in the request's own thread, not in accept().
                secure.socket = context.wrap_socket(secure.socket, server_side=True, do_handshake_on_connect=False)
                threading.Thread(target=secure.serve_forever, daemon=True).start()
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    Server(("127.0.0.1", args.port), Handler).serve_forever()


if __name__ == "__main__":
    main()
