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

// Compact peers: `width` address bytes (4 or 16) and 2 port bytes each,
// network order.
void ReadCompactPeers(const std::string& b, size_t width, std::vector<PeerAddress>* out) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(b.data());
    for (size_t i = 0; i + width + 2 <= b.size() && out->size() < kMaxAnnouncePeers; i += width + 2) {
        PeerAddress a;
        if (width == 4) a.ip = IpAddress::V4(uint32_t(bytes[i]) << 24 | uint32_t(bytes[i + 1]) << 16 |
                                             uint32_t(bytes[i + 2]) << 8 | bytes[i + 3]);
        else a.ip = IpAddress::V6(bytes + i);
        a.port = uint16_t(bytes[i + width] << 8 | bytes[i + width + 1]);
        if (a.port != 0) out->push_back(a);
    }
}

void ReadPeers(const BencodeValue& peers, std::vector<PeerAddress>* out) {
    if (peers.IsString()) {
        ReadCompactPeers(peers.text, 4, out);
        return;
    }
    if (!peers.IsList()) return;
    // Dictionaries name the address as text: dotted IPv4 or IPv6; a tracker
    // that names peers by host name gets those peers skipped.
    for (const BencodeValue& peer : peers.items) {
        if (out->size() >= kMaxAnnouncePeers) break;
        const BencodeValue* ip = peer.Find("ip");
        const BencodeValue* port = peer.Find("port");
        PeerAddress a;
        if (!ip || !ip->IsString() || !ParseIpAddress(ip->text, &a.ip)) continue;
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
    // IPv6 peers (compact, 18 bytes each) take at most half the places, so
    // a long list of either family leaves room for the other.
    if (const BencodeValue* peers6 = root.Find("peers6")) {
        if (peers6->IsString()) ReadCompactPeers(peers6->text.substr(0, 18 * (kMaxAnnouncePeers / 2)), 16, &out->peers);
    }
    if (const BencodeValue* peers = root.Find("peers")) ReadPeers(*peers, &out->peers);
    return true;
}
