#!/usr/bin/env python3
"""A home router's port-mapping service for the network lab.

Runs in a router's namespace and answers its home segment the way a router
does: NAT-PMP (RFC 6886) and PCP (RFC 6887) on UDP 5351, UPnP IGD
(SSDP discovery on 239.255.255.250:1900, the WANIPConnection:1 service over
HTTP on port 5000). Each granted mapping is a real DNAT rule in the router's
nat table (iptables), removed when it is deleted or its lease ends; the
router's FORWARD chain lets DNAT'd connections in. Every grant, refusal and
removal is logged as a JSON line, so tests can tell what the router did.

usage: portmap_responder.py --lan ADDR --wan ADDR [--wan-if wan]
                            [--protocols pcp,natpmp,upnp] [--log FILE]
"""
import argparse
import http.server
import ipaddress
import json
import socket
import socketserver
import struct
import subprocess
import threading
import time
import xml.sax.saxutils

PCP_PORT = 5351
SSDP_GROUP, SSDP_PORT = "239.255.255.250", 1900
HTTP_PORT = 5000
MAX_LEASE = 24 * 3600
PROTOCOLS = {6: "tcp", 17: "udp"}


class Mappings:
    """The router's mappings and their DNAT rules; one lock for all."""

    def __init__(self, wan_if, log):
        self.wan_if, self.log = wan_if, log
        self.lock = threading.Lock()
        self.table = {}  # (proto, external port) -> dict(client, port, expires, via)
        self.started = time.monotonic()

    def epoch(self):
        return int(time.monotonic() - self.started)

    def _rule(self, action, proto, external, client, port):
        subprocess.run(["iptables", "-t", "nat", action, "PREROUTING", "-i", self.wan_if, "-p", proto,
                        "--dport", str(external), "-j", "DNAT", "--to-destination", "%s:%d" % (client, port)],
                       check=True)

    def grant(self, proto, client, port, wanted, lease, via):
        """The external port granted (wanted when free), or None."""
        with self.lock:
            self._expire()
            for (p, ext), m in self.table.items():  # a renewal keeps its port
                if p == proto and m["client"] == client and m["port"] == port:
                    m["expires"] = self._expiry(lease)
                    self.log({"event": "renew", "via": via, "proto": proto, "external": ext, "lease": lease})
                    return ext
            candidates = [wanted] if wanted else []
            candidates += range(max(wanted, 1024) + 1 if wanted else 20000, 65536)
            for ext in candidates:
                if (proto, ext) not in self.table:
                    self._rule("-A", proto, ext, client, port)
                    self.table[(proto, ext)] = {"client": client, "port": port, "expires": self._expiry(lease),
                                                "via": via}
                    self.log({"event": "grant", "via": via, "proto": proto, "external": ext, "client": client,
                              "port": port, "lease": lease})
                    return ext
            return None

    def owner(self, proto, external):
        with self.lock:
            self._expire()
            return self.table.get((proto, external))

    def remove(self, proto, external, client, via):
        with self.lock:
            m = self.table.get((proto, external))
            if m is None or (client is not None and m["client"] != client):
                return False
            self._drop(proto, external, "delete", via)
            return True

    def remove_client(self, proto, client, port, via):
        """Removes the client's mappings of an internal port (0: all of its)."""
        with self.lock:
            for (p, ext), m in list(self.table.items()):
                if (proto is None or p == proto) and m["client"] == client and port in (0, m["port"]):
                    self._drop(p, ext, "delete", via)

    def entries(self):
        with self.lock:
            self._expire()
            return sorted(self.table.items())

    def expire_loop(self):
        while True:
            time.sleep(0.5)
            with self.lock:
                self._expire()

    def _expiry(self, lease):
        return None if lease == 0 else time.monotonic() + min(lease, MAX_LEASE)

    def _expire(self):
        now = time.monotonic()
        for key, m in list(self.table.items()):
            if m["expires"] is not None and m["expires"] <= now:
                self._drop(key[0], key[1], "expire", m["via"])

    def _drop(self, proto, external, why, via):
        m = self.table.pop((proto, external))
        self._rule("-D", proto, external, m["client"], m["port"])
        self.log({"event": why, "via": via, "proto": proto, "external": external, "client": m["client"]})


def serve_pcp(args, mappings, lan_net):
    """NAT-PMP (version 0) and PCP (version 2) on one socket, as routers do."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((args.lan, PCP_PORT))
    wan = socket.inet_aton(args.wan)
    while True:
        data, peer = sock.recvfrom(1100)
        client = peer[0]
        if ipaddress.ip_address(client) not in lan_net or len(data) < 2:
            continue
        if data[0] == 0 and "natpmp" in args.protocols:
            reply = natpmp(data, client, wan, mappings)
        elif data[0] == 2 and "pcp" in args.protocols:
            reply = pcp(data, client, wan, mappings)
        elif data[0] in (0, 2) and ("natpmp" in args.protocols or "pcp" in args.protocols):
            # The version this router does not speak: say which it does.
            reply = (struct.pack(">BBH", 0, 128 + data[1], 1) + struct.pack(">I", mappings.epoch())
                     if "natpmp" in args.protocols else
                     struct.pack(">BBBBII", 2, 0x80 | (data[1] & 0x7F), 0, 1, 0, mappings.epoch()) + bytes(12))
        else:
            continue
        if reply:
            sock.sendto(reply, peer)


def natpmp(data, client, wan, mappings):
    op = data[1]
    if op == 0 and len(data) >= 2:
        return struct.pack(">BBHI", 0, 128, 0, mappings.epoch()) + wan
    if op in (1, 2) and len(data) >= 12:
        _, _, _, port, wanted, lease = struct.unpack(">BBHHHI", data[:12])
        proto = "udp" if op == 1 else "tcp"
        if lease == 0:
            mappings.remove_client(proto, client, port, "natpmp")
            return struct.pack(">BBHIHHI", 0, 128 + op, 0, mappings.epoch(), port, 0, 0)
        if port == 0:
            return struct.pack(">BBHIHHI", 0, 128 + op, 3, mappings.epoch(), port, 0, 0)  # malformed
        ext = mappings.grant(proto, client, port, wanted, lease, "natpmp")
        if ext is None:
            return struct.pack(">BBHIHHI", 0, 128 + op, 4, mappings.epoch(), port, 0, 0)  # out of resources
        return struct.pack(">BBHIHHI", 0, 128 + op, 0, mappings.epoch(), port, ext, min(lease, MAX_LEASE))
    return struct.pack(">BBHI", 0, 128 + op, 5, mappings.epoch())  # unsupported opcode


def pcp(data, client, wan, mappings):
    def answer(result, lease=0, payload=b""):
        return struct.pack(">BBBBII", 2, 0x80 | opcode, 0, result, lease, mappings.epoch()) + bytes(12) + payload
    opcode = data[1] & 0x7F
    if data[1] & 0x80 or len(data) < 24 or len(data) > 1100 or len(data) % 4:
        return None
    lease, = struct.unpack(">I", data[4:8])
    said = ipaddress.ip_address(data[8:24])
    said = said.ipv4_mapped or said
    if opcode != 1:
        return answer(4)  # UNSUPP_OPCODE
    if len(data) < 60:
        return answer(3)  # MALFORMED_REQUEST
    if str(said) != client:
        return answer(12)  # ADDRESS_MISMATCH
    nonce, number, port, wanted = data[24:36], data[36], *struct.unpack(">HH", data[40:44])
    proto = PROTOCOLS.get(number)
    echo = lambda ext, addr: nonce + struct.pack(">B3xHH", number, port, ext) + addr
    mapped_wan = b"\0" * 10 + b"\xff\xff" + wan
    if lease == 0:
        mappings.remove_client(proto, client, port, "pcp")
        return answer(0, 0, echo(0, bytes(16)))
    if proto is None or port == 0:
        return answer(3)
    ext = mappings.grant(proto, client, port, wanted, lease, "pcp")
    if ext is None:
        return answer(8)  # NO_RESOURCES
    return answer(0, min(lease, MAX_LEASE), echo(ext, mapped_wan))


ROOT_DESC = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major><minor>0</minor></specVersion>
<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>lab router</friendlyName><manufacturer>vorla lab</manufacturer><modelName>lab</modelName>
<UDN>uuid:%(uuid)s</UDN><serviceList/>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<friendlyName>WAN</friendlyName><UDN>uuid:%(uuid)s-1</UDN>
<serviceList><service><serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId><controlURL>/ctl/CmnIfCfg</controlURL>
<eventSubURL>/evt/CmnIfCfg</eventSubURL><SCPDURL>/WANCfg.xml</SCPDURL></service></serviceList>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<friendlyName>WAN connection</friendlyName><UDN>uuid:%(uuid)s-2</UDN>
<serviceList><service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId><controlURL>/ctl/IPConn</controlURL>
<eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml</SCPDURL></service></serviceList>
</device></deviceList></device></deviceList></device></root>
"""
IP_CONNECTION = "urn:schemas-upnp-org:service:WANIPConnection:1"
SEARCH_TARGETS = ("ssdp:all", "upnp:rootdevice", "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                  "urn:schemas-upnp-org:device:WANDevice:1", "urn:schemas-upnp-org:device:WANConnectionDevice:1",
                  IP_CONNECTION)


def serve_ssdp(args, uuid):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", SSDP_PORT))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    socket.inet_aton(SSDP_GROUP) + socket.inet_aton(args.lan))
    while True:
        data, peer = sock.recvfrom(2048)
        lines = data.decode("latin-1").split("\r\n")
        if not lines or not lines[0].startswith("M-SEARCH"):
            continue
        headers = {k.strip().upper(): v.strip() for k, _, v in (l.partition(":") for l in lines[1:]) if k}
        target = headers.get("ST", "")
        if target not in SEARCH_TARGETS:
            continue
        reply = ("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: %s\r\nUSN: uuid:%s::%s\r\nEXT:\r\n"
                 "SERVER: Linux/6 UPnP/1.0 lab/1\r\nLOCATION: http://%s:%d/rootDesc.xml\r\n\r\n"
                 % (target, uuid, target, args.lan, HTTP_PORT))
        sock.sendto(reply.encode(), peer)


def soap_args(body):
    """The arguments of a SOAP action, by name (flat, as IGD actions are)."""
    import xml.etree.ElementTree as ET
    root = ET.fromstring(body)
    action = root.find("{http://schemas.xmlsoap.org/soap/envelope/}Body")[0]
    return action.tag.split("}")[-1], {child.tag.split("}")[-1]: (child.text or "").strip() for child in action}


def make_upnp_handler(args, mappings, uuid):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *_):
            pass

        def send(self, code, body, kind="text/xml; charset=\"utf-8\""):
            data = body.encode()
            self.send_response(code)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            if self.path == "/rootDesc.xml":
                self.send(200, ROOT_DESC % {"uuid": uuid})
            elif self.path in ("/WANIPCn.xml", "/WANCfg.xml"):
                self.send(200, '<?xml version="1.0"?><scpd xmlns="urn:schemas-upnp-org:service-1-0">'
                               '<specVersion><major>1</major><minor>0</minor></specVersion></scpd>')
            else:
                self.send(404, "")

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            if length > 65536:
                return self.send(413, "")
            try:
                action, values = soap_args(self.rfile.read(length))
            except Exception:
                return self.fault(402, "Invalid Args")
            service = self.headers.get("SOAPAction", "").strip('"').split("#")[0] or IP_CONNECTION
            client = self.client_address[0]
            handler = getattr(self, "act_" + action, None)
            if handler is None:
                return self.fault(401, "Invalid Action")
            result = handler(values, client)
            if isinstance(result, tuple):
                return self.fault(*result)
            out = "".join("<%s>%s</%s>" % (k, xml.sax.saxutils.escape(str(v)), k) for k, v in result)
            self.send(200, '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
                           's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
                           '<u:%sResponse xmlns:u="%s">%s</u:%sResponse></s:Body></s:Envelope>'
                      % (action, service, out, action))

        def fault(self, code, text):
            self.send(500, '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
                           's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body><s:Fault>'
                           '<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>'
                           '<UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>%d</errorCode>'
                           '<errorDescription>%s</errorDescription></UPnPError></detail></s:Fault></s:Body>'
                           '</s:Envelope>' % (code, text))

        def act_GetExternalIPAddress(self, _, __):
            return [("NewExternalIPAddress", args.wan)]

        def act_GetStatusInfo(self, _, __):
            return [("NewConnectionStatus", "Connected"), ("NewLastConnectionError", "ERROR_NONE"),
                    ("NewUptime", mappings.epoch())]

        def act_GetConnectionTypeInfo(self, _, __):
            return [("NewConnectionType", "IP_Routed"), ("NewPossibleConnectionTypes", "IP_Routed")]

        def act_GetCommonLinkProperties(self, _, __):
            return [("NewWANAccessType", "Ethernet"), ("NewLayer1UpstreamMaxBitRate", 8388608),
                    ("NewLayer1DownstreamMaxBitRate", 134217728), ("NewPhysicalLinkStatus", "Up")]

        def act_AddPortMapping(self, v, client):
            try:
                ext, port, lease = int(v["NewExternalPort"]), int(v["NewInternalPort"]), int(v["NewLeaseDuration"])
                proto = v["NewProtocol"].lower()
            except (KeyError, ValueError):
                return (402, "Invalid Args")
            if proto not in ("tcp", "udp") or not 0 < ext < 65536 or not 0 < port < 65536:
                return (402, "Invalid Args")
            if v.get("NewInternalClient") != client:
                return (606, "Action not authorized")  # only for the asking host, as routers do
            owner = mappings.owner(proto, ext)
            if owner is not None and (owner["client"] != client or owner["port"] != port):
                return (718, "ConflictInMappingEntry")
            if owner is not None:
                mappings.remove(proto, ext, client, "upnp")
            if mappings.grant(proto, client, port, ext, lease, "upnp") != ext:
                return (718, "ConflictInMappingEntry")
            return []

        def act_DeletePortMapping(self, v, client):
            try:
                ext, proto = int(v["NewExternalPort"]), v["NewProtocol"].lower()
            except (KeyError, ValueError):
                return (402, "Invalid Args")
            if not mappings.remove(proto, ext, client, "upnp"):
                return (714, "NoSuchEntryInArray")
            return []

        def act_GetSpecificPortMappingEntry(self, v, _):
            try:
                m = mappings.owner(v["NewProtocol"].lower(), int(v["NewExternalPort"]))
            except (KeyError, ValueError):
                return (402, "Invalid Args")
            if m is None:
                return (714, "NoSuchEntryInArray")
            return self.entry(m, with_key=None)

        def act_GetGenericPortMappingEntry(self, v, _):
            try:
                index = int(v["NewPortMappingIndex"])
            except (KeyError, ValueError):
                return (402, "Invalid Args")
            entries = mappings.entries()
            if not 0 <= index < len(entries):
                return (713, "SpecifiedArrayIndexInvalid")
            (proto, ext), m = entries[index]
            return self.entry(m, with_key=(proto, ext))

        def entry(self, m, with_key):
            left = 0 if m["expires"] is None else max(0, int(m["expires"] - time.monotonic()))
            head = [] if with_key is None else [("NewRemoteHost", ""), ("NewExternalPort", with_key[1]),
                                                ("NewProtocol", with_key[0].upper())]
            return head + [("NewInternalPort", m["port"]), ("NewInternalClient", m["client"]),
                           ("NewEnabled", 1), ("NewPortMappingDescription", m["via"]),
                           ("NewLeaseDuration", left)]

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lan", required=True, help="the router's address on its home segment")
    parser.add_argument("--lan-prefix", type=int, default=24)
    parser.add_argument("--wan", required=True, help="the router's address on the Internet")
    parser.add_argument("--wan-if", default="wan")
    parser.add_argument("--protocols", default="pcp,natpmp,upnp")
    parser.add_argument("--log", default="/dev/null")
    args = parser.parse_args()
    args.protocols = set(args.protocols.split(","))
    log_file = open(args.log, "a", buffering=1)
    log_lock = threading.Lock()

    def log(event):
        with log_lock:
            log_file.write(json.dumps(event) + "\n")

    mappings = Mappings(args.wan_if, log)
    lan_net = ipaddress.ip_network("%s/%d" % (args.lan, args.lan_prefix), strict=False)
    uuid = "5e1f0000-1a0b-4c0d-8e0f-%012x" % int(ipaddress.ip_address(args.wan))
    threads = [threading.Thread(target=mappings.expire_loop, daemon=True)]
    if args.protocols & {"pcp", "natpmp"}:
        threads.append(threading.Thread(target=serve_pcp, args=(args, mappings, lan_net), daemon=True))
    if "upnp" in args.protocols:
        threads.append(threading.Thread(target=serve_ssdp, args=(args, uuid), daemon=True))
        server = socketserver.ThreadingTCPServer((args.lan, HTTP_PORT), make_upnp_handler(args, mappings, uuid))
        server.daemon_threads = True
        threads.append(threading.Thread(target=server.serve_forever, daemon=True))
    for t in threads:
        t.start()
    log({"event": "ready", "protocols": sorted(args.protocols)})
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
