#include "p2sp/swarm/TrackerAnnounce.h"

#include "p2sp/swarm/Bencode.h"

namespace {

const char* EventName(AnnounceEvent event) {
    switch (event) {
    case AnnounceEvent::kStarted: return "started";
    case AnnounceEvent::kCompleted: return "completed";
    case AnnounceEvent::kStopped: return "stopped";
    case AnnounceEvent::kNone: break;
    }
    return nullptr;
}

std::string Decimal(uint64_t v) { return std::to_string(static_cast<unsigned long long>(v)); }

// Dotted IPv4 only ("a.b.c.d", each 0..255): a tracker that names peers by
// host name or IPv6 gets those peers skipped.
bool ParseDottedIpv4(const std::string& text, uint32_t* out) {
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        size_t start = pos;
        uint32_t octet = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            octet = octet * 10 + uint32_t(text[pos] - '0');
            ++pos;
        }
        if (pos == start || octet > 255) return false;
        value = (value << 8) | octet;
    }
    if (pos != text.size()) return false;
    *out = value;
    return true;
}

void ReadPeers(const BencodeValue& peers, std::vector<PeerAddress>* out) {
    if (peers.IsString()) {
        // Compact: 4 address bytes and 2 port bytes per peer, network order.
        const std::string& b = peers.text;
        for (size_t i = 0; i + 6 <= b.size() && out->size() < kMaxAnnouncePeers; i += 6) {
            auto byte = [&](size_t k) { return uint32_t(static_cast<unsigned char>(b[i + k])); };
            PeerAddress a;
            a.ipv4 = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
            a.port = uint16_t((byte(4) << 8) | byte(5));
            if (a.port != 0) out->push_back(a);
        }
        return;
    }
    if (!peers.IsList()) return;
    for (const BencodeValue& peer : peers.items) {
        if (out->size() >= kMaxAnnouncePeers) break;
        const BencodeValue* ip = peer.Find("ip");
        const BencodeValue* port = peer.Find("port");
        PeerAddress a;
        if (!ip || !ip->IsString() || !ParseDottedIpv4(ip->text, &a.ipv4)) continue;
        if (!port || !port->IsInteger() || port->integer <= 0 || port->integer > 65535) continue;
        a.port = uint16_t(port->integer);
        out->push_back(a);
    }
}

int64_t IntegerOr(const BencodeValue& dict, const char* key, int64_t fallback) {
    const BencodeValue* v = dict.Find(key);
    return v && v->IsInteger() ? v->integer : fallback;
}

}  // namespace

std::string PercentEncodeBytes(const uint8_t* data, size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string BuildAnnounceUrl(const std::string& announce, const AnnounceParams& p) {
    std::string url = announce;
    url += announce.find('?') == std::string::npos ? '?' : '&';
    url += "info_hash=" + PercentEncodeBytes(p.infoHash, sizeof(p.infoHash));
    url += "&peer_id=" + PercentEncodeBytes(p.peerId, sizeof(p.peerId));
    url += "&port=" + Decimal(p.port);
    url += "&uploaded=" + Decimal(p.uploaded);
    url += "&downloaded=" + Decimal(p.downloaded);
    url += "&left=" + Decimal(p.left);
    url += "&compact=1&no_peer_id=1";
    url += "&numwant=" + Decimal(p.numWant < 0 ? 0 : uint64_t(p.numWant));
    url += "&key=" + Decimal(p.key);
    if (const char* event = EventName(p.event)) url += std::string("&event=") + event;
    return url;
}

bool ParseAnnounceReply(const uint8_t* data, size_t size, AnnounceReply* out) {
    *out = AnnounceReply();
    if (size > kMaxAnnounceReplyBytes) return false;
    BencodeValue root;
    if (DecodeBencode(data, size, &root) != BencodeError::kNone || !root.IsDictionary()) return false;
    if (const BencodeValue* failure = root.Find("failure reason")) {
        if (!failure->IsString()) return false;
        out->failure = failure->text.empty() ? "(no reason given)" : failure->text.substr(0, 512);
        return true;
    }
    const BencodeValue* interval = root.Find("interval");
    if (!interval || !interval->IsInteger() || interval->integer <= 0) return false;
    out->interval = interval->integer;
    out->minInterval = IntegerOr(root, "min interval", 0);
    if (out->minInterval < 0) out->minInterval = 0;
    out->seeders = IntegerOr(root, "complete", -1);
    out->leechers = IntegerOr(root, "incomplete", -1);
    if (const BencodeValue* warning = root.Find("warning message"))
        if (warning->IsString()) out->warning = warning->text.substr(0, 512);
    if (const BencodeValue* peers = root.Find("peers")) ReadPeers(*peers, &out->peers);
    return true;
}
