#!/usr/bin/env python3
"""Prints the info hash of a torrent file in hex (what opentracker's access
list holds), or with --urlencoded as a tracker query value.

With --wait-allowed ANNOUNCE_URL it prints nothing and waits (up to 10 s)
until that HTTP tracker accepts the torrent: opentracker opens its port
before it has read its access list. The probe is a passing leecher that says
"stopped" at once, so nothing stays registered. Exits 1 when it never does."""
import hashlib
import sys
import time
import urllib.parse
import urllib.request


def info_span(data):
    # Walks the top dictionary to the value of "info" and returns its bytes.
    def skip(i):
        c = data[i:i + 1]
        if c == b"i":
            return data.index(b"e", i) + 1
        if c in (b"l", b"d"):
            i += 1
            while data[i:i + 1] != b"e":
                i = skip(i)
            return i + 1
        colon = data.index(b":", i)
        return colon + 1 + int(data[i:colon])
    i = 1
    while data[i:i + 1] != b"e":
        colon = data.index(b":", i)
        key = data[colon + 1:colon + 1 + int(data[i:colon])]
        i = colon + 1 + len(key)
        end = skip(i)
        if key == b"info":
            return data[i:end]
        i = end
    raise SystemExit("no info dictionary")


def wait_allowed(announce, digest):
    query = urllib.parse.urlencode({
        "info_hash": digest, "peer_id": b"-WAIT00-000000000000", "port": 1, "uploaded": 0,
        "downloaded": 0, "left": 1, "compact": 1, "numwant": 0}, quote_via=urllib.parse.quote)
    for _ in range(100):
        try:
            with urllib.request.urlopen(announce + "?" + query, timeout=5) as reply:
                if b"failure reason" not in reply.read():
                    urllib.request.urlopen(announce + "?" + query + "&event=stopped", timeout=5).read()
                    return True
        except OSError:
            pass
        time.sleep(0.1)
    return False


digest = hashlib.sha1(info_span(open(sys.argv[-1], "rb").read())).digest()
if "--wait-allowed" in sys.argv:
    sys.exit(0 if wait_allowed(sys.argv[sys.argv.index("--wait-allowed") + 1], digest) else 1)
print(urllib.parse.quote(digest, safe="") if "--urlencoded" in sys.argv else digest.hex())
