#!/usr/bin/env python3
"""Prints the info hash of a torrent file in hex (what opentracker's access
list holds), or with --urlencoded as a tracker query value."""
import hashlib
import sys
import urllib.parse


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


digest = hashlib.sha1(info_span(open(sys.argv[-1], "rb").read())).digest()
print(urllib.parse.quote(digest, safe="") if "--urlencoded" in sys.argv else digest.hex())
