#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) and
their dictionaries (fuzz/dict/<target>.dict). The seeds are committed; run
this again after changing it. Seeds named known-* reproduce faults found
before: each must pass its target."""
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def utf16(text):
    return text.encode("utf-16-le")


# --- LZARI -----------------------------------------------------------------
# Stored forms written by the encoder (lzari-pack): text, the start of a
# program, two rounds of every byte value, one byte; "-lookahead" ones end
# with the bits the decoder reads ahead.
LZARI_STREAMS = {
    "hello": "1d000000aaf1c0d070be8fadf8cf418d40",
    "hello-lookahead": "1d000000aaf1c0d070be8fadf8cf418d400000",
    "exe-start": "10000000c0fc50510f9750fed9c1476fab63e8",
    "exe-start-lookahead": "10000000c0fc50510f9750fed9c1476fab63e80000",
    "one-byte": "010000009d80",
    "one-byte-lookahead": "010000009d8000",
    "every-byte-twice": (
        "00020000fffea9d6602eaf0a38b4b574122b9f7d6600a7242952f3633be4a6eb65a7094fe145325a3eb0b96fcbd624ba54"
        "0b6108e19f66dd0ade147601ad40af39b6b5d7fcd11f717e08ca9f8d56dfc3be36a3d45ecb84cb29c1b7d18ff30976fdc2"
        "da96f5ef97c84ab2b68c53e543e17ade101a74f561884924e8835a5f2a9acdb9a541db31d0854236b8974ce4d90bf0ecb3"
        "38aefb882d5f51f1649c6b173bba732708bcee5b83be35ca4eda935037543e4ebcd80ac074d8a56435ed14ad6fe4584726"
        "8ed3e5ebe21efb6d1d3d52d2d5809b1ae9a0e43ed4c4fc14a59e0262e37d44e5b49331a9e1f9755dcda7df0578bbe03275"
        "6a8958cb7fd1f4c177775da42cb83109be759b53be18bffc71e565303618a1a6430a2b8922894875e4913784a1ec323948"
        "587d20"
    ),
}


def lzari():
    for name, stream in LZARI_STREAMS.items():
        write("lzari_decode", name, bytes.fromhex(stream))
    # A stream cut by its last byte decoded to wrong bytes, reported as success.
    write("lzari_decode", "known-cut-stream", bytes.fromhex("0300000061043780"))
    write("lzari_decode", "known-cut-stream-shorter", bytes.fromhex("03000000610437"))
    write("lzari_decode", "empty", bytes.fromhex("00000000"))
    write("lzari_roundtrip", "hello", b"hello hello hello hello world")
    write("lzari_roundtrip", "one-byte", b"x")
    write("lzari_roundtrip", "every-byte-twice", bytes(range(256)) * 2)
    write("lzari_roundtrip", "spaces", b" " * 200 + b"MZ\x90\x00\x03")
    write("lzari_roundtrip", "abc", b"abc")
    # Encodes to 0300000061043780, which decoded to other bytes without its last byte.
    write("lzari_roundtrip", "known-cut-stream", bytes.fromhex("c3c341"))


# --- Range record ----------------------------------------------------------
def section(tag, flags, data):
    return struct.pack("<HHI", tag, flags, len(data)) + data


def written_section(boot_stamp, ranges):
    body = struct.pack("<QI", boot_stamp, len(ranges))
    body += b"".join(struct.pack("<QQ", b, e) for b, e in ranges)
    return section(0x0101, 0, body)


def record(total, done, sections=b"", etag=b"", last_modified=b"", extra_header=b""):
    header_size = 32 + len(extra_header)
    out = b"QPRR" + struct.pack("<HHQIHHII", 1, header_size, total, len(done), len(etag), len(last_modified),
                                len(sections), 0)
    out += extra_header + etag + last_modified
    out += b"".join(struct.pack("<QQ", b, e) for b, e in done)
    out += sections
    return out + struct.pack("<I", zlib.crc32(out) & 0xFFFFFFFF)


def range_record():
    write("range_record", "smallest", record(1, []))
    write("range_record", "full", record(
        1000000, [(0, 1000), (5000, 6000)],
        written_section(123456789, [(0, 2000), (5000, 7000)]) + section(0x0202, 0, b"later"),
        etag=b'"5f1a-3c"', last_modified=b"Wed, 21 Oct 2015 07:28:00 GMT"))
    write("range_record", "grown-header", record(
        4096, [(0, 100)], written_section(7, [(0, 200)]), extra_header=b"\x01" * 8))
    write("range_record", "unknown-critical", record(4096, [(0, 100)], section(0x0303, 1, b"")))
    # Two written-ranges sections whose ranges interleave: loading merged
    # them one middle insert at a time.
    write("range_record", "known-two-interleaved-written-sections", record(
        100, [], written_section(5, [(0, 10), (20, 30), (40, 50)]) + written_section(5, [(10, 20), (30, 40)])))


def range_set():
    write("range_set", "touching", bytes([0, 10, 10, 20, 30, 40, 20, 30]))
    write("range_set", "overlapping", bytes([5, 50, 0, 10, 45, 60, 100, 101, 0, 255]))
    write("range_set", "reversed", bytes([50, 5, 7, 7, 255, 0]))


# --- HTTP headers ----------------------------------------------------------
def http_headers():
    for name, text in {
        "content-range": "bytes 0-99/1000",
        "content-range-unknown-total": "bytes 500-999/*",
        "unsatisfiable": "bytes */1000",
        "spaces": " \t123456 ",
        "largest": "18446744073709551615",
        "overflow": "18446744073709551616",
        "strong-etag": '"5f1a-3c"',
        "weak-etag": 'W/"5f1a"',
    }.items():
        write("http_headers", name, text.encode())


# --- Markup ----------------------------------------------------------------
def som_markup():
    for name, text in {
        "title": "{&#color=0xffffff}Vorla游戏下载器",
        "button-link": "{&#a=button:1001}{&#acolor=16744448}点击反馈",
        "nested": "a{&#font=2}b{&#color=#ff00ff}c{&#/color}d{&#/font}{&#a=http://x/}e{&#/a}f",
        "open-tag": "text {&# without a close",
        "hex-button": "{&#a=button:0x3E9}{&#/acolor}{&#/a}",
    }.items():
        write("som_markup", name, utf16(text))


# --- Configuration ---------------------------------------------------------
def config():
    portal = os.path.join(ROOT, "tests", "portal", "tool", "down", "7223.html")
    with open(portal, "rb") as f:
        utf8 = f.read()
    text = utf8.decode("utf-8")
    write("config_encoding", "utf8", utf8)
    write("config_encoding", "utf8-mark", b"\xef\xbb\xbf" + utf8)
    write("config_encoding", "utf16-mark", b"\xff\xfe" + utf16(text))
    write("config_encoding", "gbk", text.encode("gbk"))
    write("config_encoding", "ascii", b"[GameConfig]\r\nGameSize=7340032\r\n")
    write("config_encoding", "astral", "游戏😀\U0010FFFF".encode("utf-8"))
    for name, value in {
        "size": "7340032",
        "spaces-plus": " \t+42 MB",
        "letters": "abc",
        "largest": "18446744073709551615",
        # 20 digits wrapped silently into a wrong size.
        "known-twenty-digits": "99999999999999999999",
    }.items():
        write("config_number", name, utf16(value))


# --- Link file name --------------------------------------------------------
def link_file_name():
    for name, link in {
        "installer": "http://127.0.0.1:17223/games/7223/XingchenSetup.exe",
        "fragment": "http://h/dl/setup.exe#part",
        "folder": "http://h/dl/",
        "chinese": "http://h/游戏/安装.exe",
        # A "/" inside the query was taken as a folder.
        "known-slash-in-query": "http://h/setup.exe?sig=ab/cd",
    }.items():
        write("link_file_name", name, utf16(link))


# --- PNG -------------------------------------------------------------------
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, depth, colour, rows, extra=b"", interlace=0):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


def png_decoder():
    for name in ("103.png", "120.png"):
        shutil.copyfile(os.path.join(ROOT, "res", "skin", name), os.path.join(HERE, "corpus", "png_decoder", name))
    write("png_decoder", "rgba", png(3, 2, 8, 6, [bytes([255, 0, 0, 128] * 3), bytes([0, 255, 0, 0] * 3)]))
    write("png_decoder", "rgb16", png(2, 2, 16, 2, [bytes(range(12)), bytes(range(12, 24))]))
    write("png_decoder", "gray1", png(9, 2, 1, 0, [b"\xaa\x80", b"\x55\x00"]))
    write("png_decoder", "gray-alpha", png(2, 1, 8, 4, [b"\x10\x20\x30\x40"]))
    write("png_decoder", "palette-trns", png(4, 1, 2, 3, [b"\x1b"],
                                             chunk(b"PLTE", bytes(range(12))) + chunk(b"tRNS", b"\x00\x80")))
    write("png_decoder", "rgb-trns-interlaced", png(3, 3, 8, 2, [bytes(range(9))] * 3,
                                                    chunk(b"tRNS", b"\x00\x00\x00\x01\x00\x02"), interlace=1))
    # A header of 16384 x 16384 and a tiny body: a 1 GiB bitmap was made for it.
    write("png_decoder", "known-huge-header", png(16384, 16384, 8, 6, [b""]))


# --- Version block ---------------------------------------------------------
def node(key, value=b"", children=(), text=False):
    head_key = utf16(key) + b"\x00\x00"
    body = bytearray(b"\x00" * 6 + head_key)
    while len(body) % 4:
        body += b"\x00"
    body += value
    for child in children:
        while len(body) % 4:
            body += b"\x00"
        body += child
    value_length = len(value) // 2 if text else len(value)
    struct.pack_into("<HHH", body, 0, len(body), value_length, 1 if text else 0)
    return bytes(body)


def text_node(key, text):
    return node(key, utf16(text) + b"\x00\x00", text=True)


def version_block():
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10001, 0x3ED, 0x10001, 0x3ED, 0x3F, 0, 4, 1, 0, 0, 0)
    strings = node("080404b0", children=[text_node("CompanyName", "Vorla"), text_node("FileDescription", "7223"),
                                         text_node("FileVersion", "1.1.0.1005")], text=True)
    var = node("VarFileInfo", children=[node("Translation", struct.pack("<HH", 0x0804, 0x04B0))], text=True)
    write("version_block", "program", node("VS_VERSION_INFO", fixed,
                                           [node("StringFileInfo", children=[strings], text=True), var]))
    write("version_block", "two-tables", node("VS_VERSION_INFO", fixed, [node("StringFileInfo", children=[
        strings, node("040904b0", children=[text_node("ProductName", "x")], text=True)], text=True)]))
    # A text value of an odd byte count: written, it could not be read back.
    write("version_block", "known-odd-text-value", bytes.fromhex(
        "3d0000000000000035000000010053007400720069006e006700460069006c00650049006e0066006f0000001100030001"
        "005400000000006162636465"))
    # 8,190 blocks each inside the one before: the parser recursed once per block.
    depth = 8190
    nested = bytearray()
    for level in range(depth):
        nested += struct.pack("<HHH", (depth - level) * 8, 0, 0) + b"\x00\x00"
    write("version_block", "known-deep-nesting", bytes(nested))


DICTS = {
    "som_markup": ["{&#", "}", "a=", "/a", "acolor=", "/acolor", "font=", "/font", "color=", "/color",
                   "button:", "0x", "#"],
    "link_file_name": ["http://", "/", "?", "#", ".exe", "CON", "com1", "LPT9.txt", "..", " ", "."],
    "config_number": [" ", "\t", "+", "18446744073709551615"],
}
RAW_DICTS = {
    "http_headers": ["bytes ", "-", "/", "*", "W/", "\"", "18446744073709551615"],
    "range_record": ["QPRR", "\\x01\\x00\\x20\\x00", "\\x01\\x01", "\\x01\\x00"],
    "png_decoder": ["IHDR", "IDAT", "IEND", "PLTE", "tRNS", "\\x89PNG\\x0d\\x0a\\x1a\\x0a"],
    "version_block": ["StringFileInfo", "FileDescription", "VarFileInfo"],
}


# --- Bencode, torrents, tracker answers -------------------------------------
def bstr(b):
    return str(len(b)).encode() + b":" + b


def bencode():
    info = (b"d" + bstr(b"length") + b"i100000e" + bstr(b"name") + bstr(b"game.bin") +
            bstr(b"piece length") + b"i32768e" + bstr(b"pieces") + bstr(b"h" * 80) + b"e")
    write("bencode", "torrent", b"d" + bstr(b"announce") + bstr(b"http://127.0.0.1:6969/announce") +
          bstr(b"announce-list") + b"ll" + bstr(b"http://127.0.0.1:6969/announce") + b"ee" +
          bstr(b"info") + info + bstr(b"url-list") + b"l" + bstr(b"http://127.0.0.1:17223/") + b"e" + b"e")
    write("bencode", "announce-compact", b"d8:completei1e8:intervali1800e5:peers12:" +
          bytes([127, 0, 0, 1, 0x1a, 0xe1, 127, 0, 0, 2, 0xc8, 0xd5]) + b"e")
    write("bencode", "announce-dict", b"d8:intervali60e5:peersld2:ip9:127.0.0.14:porti7000eeee")
    write("bencode", "failure", b"d14:failure reason9:not founde")
    write("bencode", "integers", b"li0ei-1ei9223372036854775807ei-9223372036854775808ee")
    write("bencode", "nested", b"l" * 30 + b"e" * 30)


# --- Peer wire --------------------------------------------------------------
def config_signature():
    # A signature openssl wrote (r and s both padded) and a short one; a trust text.
    write("config_signature", "openssl", bytes.fromhex(
        "304602210082c85aa0bb26a2157493f879c435e6323317772b2c2897e6a25f2491ac5c7df0022100f8e056866fe3954c881dd"
        "880624b30e82e645f9849e7893da3d0a6c4a2429e2e"))
    write("config_signature", "short", bytes.fromhex("3006020101020101"))
    write("config_signature", "trust", b"scheme=https\nkey=04" + b"ab" * 64 + b"\n")


def peer_wire():
    handshake = bytes([19]) + b"BitTorrent protocol" + bytes(8) + bytes(range(20)) + b"-VO0001-abcdefghijkl"
    def msg(body):
        return struct.pack(">I", len(body)) + body
    stream = (msg(b"") + msg(b"\x00") + msg(b"\x01") + msg(b"\x02") + msg(b"\x03") +
              msg(b"\x04" + struct.pack(">I", 3)) + msg(b"\x05" + b"\xff\xc0") +
              msg(b"\x06" + struct.pack(">III", 1, 16384, 16384)) +
              msg(b"\x07" + struct.pack(">II", 1, 0) + b"x" * 64) +
              msg(b"\x08" + struct.pack(">III", 1, 0, 16384)) + msg(b"\x09\x1a\xe1"))
    # The first byte 0 gives one piece: a bitfield of one byte.
    write("peer_wire", "handshake-then-messages", bytes([0, 0]) + handshake + stream)
    write("peer_wire", "messages-ten-pieces", bytes([0, 0]) + stream)
    fast = msg(b"\x0e") + msg(b"\x0f") + msg(b"\x10" + struct.pack(">III", 0, 0, 16384)) + \
        msg(b"\x11" + struct.pack(">I", 0)) + msg(b"\x0d" + struct.pack(">I", 0))
    write("peer_wire", "fast", bytes([0, 1]) + fast)
    write("peer_wire", "block", bytes([2, 0]) + msg(b"\x07" + struct.pack(">II", 5, 0) + b"z" * 16384))


def peer_reach():
    # The first byte picks the parser: 0 extension messages, 1 PCP and
    # NAT-PMP answers, 2 SSDP answers and descriptions, 3 HTTP answers.
    write("peer_reach", "extended-handshake", b"\x00d1:md6:ut_pexi1ee1:pi6881e1:v9:QelvoP2SPe")
    write("peer_reach", "pex", b"\x00d5:added12:" + bytes([198, 18, 1, 1, 26, 225, 198, 18, 1, 3, 26, 225])
          + b"7:added.f2:\x00\x007:dropped0:e")
    nonce = bytes(range(1, 13))
    write("peer_reach", "pcp-answer", b"\x01" + bytes([2, 0x81, 0, 0, 0, 0, 0x1C, 0x20, 0, 0, 0, 9]) + bytes(12)
          + nonce + bytes([6, 0, 0, 0, 0x1A, 0xE1, 0x1A, 0xE1]) + bytes(10) + b"\xff\xff" + bytes([198, 18, 1, 1]))
    write("peer_reach", "natpmp-answer", b"\x01" + bytes([0, 130, 0, 0, 0, 0, 0, 5, 0x1A, 0xE1, 0x1A, 0xE1, 0, 0, 0x1C, 0x20]))
    write("peer_reach", "ssdp", b"\x02HTTP/1.1 200 OK\r\nST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
          b"LOCATION: http://198.19.1.1:5000/rootDesc.xml\r\n\r\n")
    write("peer_reach", "description", b"\x02<root><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1"
          b"</serviceType><controlURL>/ctl/IPConn</controlURL></root>")
    write("peer_reach", "soap-fault", b"\x03HTTP/1.1 500 X\r\nTransfer-Encoding: chunked\r\n\r\n"
          b"30\r\n<UPnPError><errorCode>718</errorCode></UPnPError>\r\n0\r\n\r\n")


def utp_packet(kind, conn, seq, ack, wnd=1 << 20, sack=b"", unknown=False, payload=b""):
    """A uTP version 1 datagram: kind 0 data, 1 FIN, 2 state, 3 reset, 4 SYN;
    with `unknown`, an extension of an unknown type (8 bytes) before the
    selective ack."""
    chain = []
    if unknown:
        chain.append((2, bytes(8)))
    if sack:
        chain.append((1, sack))
    first = chain[0][0] if chain else 0
    out = struct.pack(">BBHIIIHH", (kind << 4) | 1, first, conn, 1000, 500, wnd, seq, ack)
    for i, (_, body) in enumerate(chain):
        following = chain[i + 1][0] if i + 1 < len(chain) else 0
        out += bytes([following, len(body)]) + body
    return out + payload


def utp():
    # A record fed to the socket: control (bit 0 sets the socket's own
    # connection id, bit 1 reads what arrived, bits 2-7 move the clock by
    # 16 ms steps), a 2-byte length, the datagram. The first byte picks the
    # socket: 0 answered dialler, 1 dialler waiting, 2 acceptor of the first record.
    def rec(packet, control=0x05):
        return bytes([control]) + struct.pack(">H", len(packet)) + packet
    conn = 0x1234
    write("utp", "state-alone", utp_packet(2, conn, 0x8000, 1))
    write("utp", "unknown-extension-then-sack", utp_packet(2, conn, 0x8000, 2, sack=b"\x05\x00\x00\x00", unknown=True))
    write("utp", "answered-acks-and-data", b"\x00" + rec(utp_packet(2, conn, 0x8000, 2))
          + rec(utp_packet(2, conn, 0x8000, 3, sack=b"\x03\x00\x00\x00"))
          + rec(utp_packet(0, conn, 0x8000, 4, payload=b"hello"), 0x07)
          + rec(utp_packet(0, conn, 0x8002, 4, payload=b"later"))
          + rec(utp_packet(1, conn, 0x8003, 6), 0x07) + rec(b"", 0xff))
    write("utp", "answered-window-zero", b"\x00" + rec(utp_packet(2, conn, 0x8000, 1, wnd=0))
          + rec(b"", 0xfd) + rec(utp_packet(2, conn, 0x8000, 2, wnd=0)) + rec(b"", 0xfd))
    write("utp", "answered-reset", b"\x00" + rec(utp_packet(3, conn, 0x8000, 1)))
    write("utp", "dialler-answered", b"\x01" + rec(utp_packet(2, conn, 700, 1))
          + rec(utp_packet(0, conn, 700, 2, payload=b"x" * 100), 0x07) + rec(b"", 0xff))
    write("utp", "dialler-unanswered", b"\x01" + rec(b"", 0xfc) + rec(b"", 0xfc) + rec(b"", 0xfc))
    write("utp", "acceptor", b"\x02" + rec(utp_packet(4, 0x4000, 1, 0))
          + rec(utp_packet(0, 0x4001, 2, 0, payload=b"data"), 0x06)
          + rec(utp_packet(4, 0x4000, 1, 0), 0x04) + rec(utp_packet(1, 0x4001, 3, 0), 0x06))


def escape(data):
    return "".join(chr(b) if 32 <= b < 127 and chr(b) not in '"\\' else "\\x%02x" % b for b in data)


def dicts():
    os.makedirs(os.path.join(HERE, "dict"), exist_ok=True)
    for target, words in DICTS.items():
        with open(os.path.join(HERE, "dict", target + ".dict"), "w") as f:
            for word in words:
                f.write('"%s"\n' % escape(utf16(word)))
    for target, words in RAW_DICTS.items():
        with open(os.path.join(HERE, "dict", target + ".dict"), "w") as f:
            for word in words:
                if target == "version_block":
                    word = escape(utf16(word))
                f.write('"%s"\n' % word)


def main():
    shutil.rmtree(os.path.join(HERE, "corpus"), ignore_errors=True)
    os.makedirs(os.path.join(HERE, "corpus", "png_decoder"))
    lzari()
    range_record()
    range_set()
    http_headers()
    som_markup()
    config()
    link_file_name()
    png_decoder()
    version_block()
    bencode()
    peer_wire()
    peer_reach()
    utp()
    config_signature()
    dicts()


if __name__ == "__main__":
    main()
