#!/usr/bin/env python3
"""Publishes generated installers with vorla-publish and checks what it wrote
against independent computation: Python's hashlib and its own bencode and XML
readers, transmission-show for the torrent's info hash, aria2c for its file
list, and Python's codecs for the configuration's encodings. Then nginx on a
loopback port serves the folder with the written snippets alone: the
configuration byte for byte and uncached, the installer by ranges, the
statistics answered, the publication's records refused.

usage: check_seeds.py <vorla-publish> <work-folder>"""
import hashlib
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

MD5_TAIL = 52428800
NS = "{urn:ietf:params:xml:ns:metalink}"
failures = []


def check(what, ok, detail=""):
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok else " " + detail))
    if not ok:
        failures.append(what)


def bdecode(data, at=0):
    """Returns (value, next offset); strict about the form."""
    c = data[at:at + 1]
    if c == b"i":
        end = data.index(b"e", at)
        return int(data[at + 1:end]), end + 1
    if c == b"l":
        items, at = [], at + 1
        while data[at:at + 1] != b"e":
            item, at = bdecode(data, at)
            items.append(item)
        return items, at + 1
    if c == b"d":
        entries, at, last = {}, at + 1, None
        while data[at:at + 1] != b"e":
            key, at = bdecode(data, at)
            assert isinstance(key, bytes) and (last is None or key > last), "keys out of order"
            last = key
            entries[key], at = bdecode(data, at)
        return entries, at + 1
    colon = data.index(b":", at)
    length = int(data[at:colon])
    return data[colon + 1:colon + 1 + length], colon + 1 + length


def read_config(raw, encoding):
    if encoding == "utf-16":
        if raw[:2] != b"\xff\xfe":
            return None
        text = raw[2:].decode("utf-16-le")
    else:
        text = raw.decode("gbk")
    values = {}
    for line in text.split("\r\n"):
        if "=" in line:
            key, value = line.split("=", 1)
            values[key] = value
    return values


def data_of(case):
    return random.Random(int(case[0])).randbytes(case[1])


def publish(tool, work, case):
    game, size, encoding, name, extra = case
    installer = os.path.join(work, "in", "Setup%s.exe" % game)
    os.makedirs(os.path.dirname(installer), exist_ok=True)
    data = data_of(case)
    with open(installer, "wb") as f:
        f.write(data)
    # A folder nginx reads only when quoted: a space and a ';' in its name.
    out = os.path.join(work, "the portal; games")
    args = [tool, "--id", game, "--installer", installer, "--base-url", "http://127.0.0.1:17223/",
            "--out", out, "--name", name, "--encoding", encoding, "--min-version", "1.1.0.1005", "--quiet"] + extra
    run = subprocess.run(args, capture_output=True)
    check("game %s: published" % game, run.returncode == 0, run.stderr.decode(errors="replace"))
    return data, out


def generation_of(config, game):
    # The publication's folder: games/<game>/<16 hex digits>/.
    found = re.match(r"^http://127\.0\.0\.1:17223/games/%s/([0-9a-f]{16})/" % game,
                     config.get("GameDownloadLink", ""))
    return found.group(1) if found else None


def verify(case, data, out):
    game, size, encoding, name, extra = case
    file_name = "Setup%s.exe" % game
    mirrors = [extra[i + 1] for i in range(len(extra)) if extra[i] == "--mirror"]
    tracker = [extra[i + 1] for i in range(len(extra)) if extra[i] == "--tracker"]

    with open(os.path.join(out, "tool", "down", game + ".html"), "rb") as f:
        config = read_config(f.read(), encoding)
    check("game %s: the configuration reads as %s" % (game, encoding), config is not None)
    config = config or {}
    generation = generation_of(config, game)
    check("game %s: the installer lies in a folder of its publication" % game, generation is not None,
          repr(config.get("GameDownloadLink")))
    base = "http://127.0.0.1:17223/games/%s/%s/%s" % (game, generation, file_name)
    folder = os.path.join(out, "games", game, generation or "")

    with open(os.path.join(folder, file_name), "rb") as f:
        check("game %s: the portal's copy is the installer" % game, f.read() == data)
    check("game %s: GameName" % game, config.get("GameName") == name, repr(config.get("GameName")))
    check("game %s: GameSize" % game, config.get("GameSize") == str(size), repr(config.get("GameSize")))
    check("game %s: GameMd5 is the MD5 of the last 50 MiB" % game,
          config.get("GameMd5") == hashlib.md5(data[-MD5_TAIL:]).hexdigest(), repr(config.get("GameMd5")))
    check("game %s: GameDownloadLink" % game, config.get("GameDownloadLink") == base)
    # With a tracker the configuration names the torrent, so players share.
    check("game %s: SeedUrl" % game, config.get("SeedUrl") == base + (".torrent" if tracker else ".meta4"),
          repr(config.get("SeedUrl")))

    with open(os.path.join(folder, file_name + ".torrent"), "rb") as f:
        raw = f.read()
    torrent, end = bdecode(raw)
    check("game %s: the torrent is one bencoded dictionary" % game, end == len(raw))
    info = torrent[b"info"]
    piece = info[b"piece length"]
    pieces = [info[b"pieces"][i:i + 20] for i in range(0, len(info[b"pieces"]), 20)]
    expected = [hashlib.sha1(data[i:i + piece]).digest() for i in range(0, size, piece)]
    check("game %s: torrent name and length" % game, info[b"name"] == file_name.encode() and info[b"length"] == size)
    check("game %s: torrent SHA-1 pieces (%d of %d bytes)" % (game, len(expected), piece), pieces == expected)
    check("game %s: torrent web seeds are the portal's copy and the mirrors" % game,
          torrent.get(b"url-list") == [u.encode() for u in [base] + mirrors], repr(torrent.get(b"url-list")))
    check("game %s: announce only with a tracker" % game,
          torrent.get(b"announce") == (tracker[0].encode() if tracker else None))
    info_hash = hashlib.sha1(raw[raw.index(b"4:infod") + 6:raw.index(b"4:infod") + 6 + len(bencode(info))]).hexdigest()
    if shutil.which("transmission-show"):
        shown = subprocess.run(["transmission-show", os.path.join(folder, file_name + ".torrent")],
                               capture_output=True, text=True).stdout
        check("game %s: transmission-show gives the same info hash" % game, "Hash: " + info_hash in shown, shown)
    else:
        check("transmission-show is installed (scripts/install-deps.sh)", False)
    if shutil.which("aria2c"):
        shown = subprocess.run(["aria2c", "--show-files", os.path.join(folder, file_name + ".torrent")],
                               capture_output=True, text=True).stdout
        check("game %s: aria2c reads the torrent" % game, file_name in shown and ("Info Hash: " + info_hash) in shown,
              shown)

    root = ET.parse(os.path.join(folder, file_name + ".meta4")).getroot()
    entry = root.find(NS + "file")
    check("game %s: Metalink file name" % game, entry is not None and entry.get("name") == file_name)
    check("game %s: Metalink size" % game, entry.find(NS + "size").text == str(size))
    check("game %s: Metalink SHA-256" % game,
          entry.find(NS + "hash").get("type") == "sha-256" and
          entry.find(NS + "hash").text == hashlib.sha256(data).hexdigest())
    node = entry.find(NS + "pieces")
    length = int(node.get("length"))
    got = [h.text for h in node.findall(NS + "hash")]
    check("game %s: Metalink SHA-256 pieces" % game, node.get("type") == "sha-256" and
          got == [hashlib.sha256(data[i:i + length]).hexdigest() for i in range(0, size, length)])
    check("game %s: Metalink URLs in order" % game, [u.text for u in entry.findall(NS + "url")] == [base] + mirrors)


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    return b"d" + b"".join(bencode(k) + bencode(v) for k, v in sorted(value.items())) + b"e"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(url, headers=None):
    request = urllib.request.Request(url, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=10) as reply:
            return reply.status, dict(reply.headers), reply.read()
    except urllib.error.HTTPError as error:
        return error.code, dict(error.headers), b""


def serve_with_snippets(work, out, game, data):
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    if not os.path.exists(nginx):
        check("nginx is installed (scripts/install-deps.sh)", False)
        return
    folder = os.path.join(work, "nginx")
    os.makedirs(folder, exist_ok=True)
    port = free_port()
    user = "user root;" if os.getuid() == 0 else ""
    temp = "".join("%s_temp_path %s/%s;" % (k, folder, k) for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    with open(os.path.join(folder, "nginx.conf"), "w") as f:
        # The snippets' folder holds a space and a ';': the include is quoted too.
        f.write("%s daemon off; worker_processes 1; pid %s/nginx.pid; error_log %s/error.log;\n"
                "events { worker_connections 64; }\n"
                "http { access_log off; %s server { listen 127.0.0.1:%d;\n"
                "  include \"%s/nginx/%s.conf\"; include \"%s/nginx/stats.conf\"; } }\n"
                % (user, folder, folder, temp, port, out, game, out))
    test = subprocess.run([nginx, "-t", "-p", folder, "-c", os.path.join(folder, "nginx.conf")], capture_output=True,
                          text=True)
    check("nginx -t takes the snippets of a folder with a space and a ';'", test.returncode == 0, test.stderr)
    os.chmod(work, 0o755)
    server = subprocess.Popen([nginx, "-p", folder, "-c", os.path.join(folder, "nginx.conf")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        base = "http://127.0.0.1:%d" % port
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                break
            except OSError:
                time.sleep(0.05)
        with open(os.path.join(out, "tool", "down", game + ".html"), "rb") as f:
            config = f.read()
        status, headers, body = fetch(base + "/tool/down/%s.html" % game)
        check("nginx: the configuration is served byte for byte, never cached",
              status == 200 and body == config and "no-cache" in headers.get("Cache-Control", ""),
              "%s %r" % (status, headers))
        installer = "/games/%s/%s/Setup%s.exe" % (game, generation_of(read_config(config, "gbk") or {}, game), game)
        status, headers, body = fetch(base + installer, {"Range": "bytes=1000-1999"})
        check("nginx: the installer is served by ranges", status == 206 and body == data[1000:2000], str(status))
        status, headers, body = fetch(base + installer + ".meta4")
        check("nginx: the seed has its type", headers.get("Content-Type") == "application/metalink4+xml",
              repr(headers.get("Content-Type")))
        status, _, _ = fetch(base + "/stat?action=1&game=%s" % game)
        check("nginx: statistics are answered", status == 200, str(status))
        status, _, _ = fetch(base + "/.vorla-publish/%s.files" % game)
        check("nginx: the publication's records are refused", status == 403, str(status))
    finally:
        server.send_signal(signal.SIGTERM)  # our own nginx, by its process id
        server.wait(timeout=10)


def main():
    tool, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    cases = [
        ("7241", 1, "gbk", "星辰远征", []),
        ("7242", 262144, "utf-16", "星辰远征 한국어판 😀", []),
        ("7243", 300001, "gbk", "月影传说", ["--mirror", "http://127.0.0.1:17223/slow/games/7243/Setup7243.exe",
                                             "--tracker", "udp://127.0.0.1:6969/announce"]),
        ("7244", 60 * 1048576 + 12345, "utf-16", "星辰远征", ["--game-version", "1.0.3"]),
    ]
    for case in cases:
        data, out = publish(tool, work, case)
        if not failures:
            verify(case, data, out)
    if not failures:
        serve_with_snippets(work, out, cases[2][0], data_of(cases[2]))
    print("check_seeds: %d failure(s)" % len(failures))
    shutil.rmtree(work, ignore_errors=True)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
