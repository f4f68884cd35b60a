#include "p2sp/swarm/UdpTrackerPacket.h"

namespace {

constexpr uint64_t kProtocolId = 0x41727101980ull;
constexpr uint32_t kActionConnect = 0;
constexpr uint32_t kActionAnnounce = 1;
constexpr uint32_t kActionError = 3;
constexpr size_t kMaxErrorText = 512;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, uint32_t(v >> 32));
    Put32(out, uint32_t(v));
}
uint32_t Get32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint64_t Get64(const uint8_t* p) { return (uint64_t(Get32(p)) << 32) | Get32(p + 4); }

uint32_t EventCode(AnnounceEvent event) {
    switch (event) {
        case AnnounceEvent::kCompleted: return 1;
        case AnnounceEvent::kStarted: return 2;
        case AnnounceEvent::kStopped: return 3;
        case AnnounceEvent::kNone: break;
    }
    return 0;
}

// The common head of an answer: its action, when it answers transactionId.
bool AnswerHead(const uint8_t* data, size_t size, uint32_t transactionId, uint32_t* action) {
    if (size < 8 || Get32(data + 4) != transactionId) return false;
    *action = Get32(data);
    return true;
}

std::string ErrorText(const uint8_t* data, size_t size) {
    const size_t length = size - 8 < kMaxErrorText ? size - 8 : kMaxErrorText;
    std::string text(reinterpret_cast<const char*>(data + 8), length);
    return text.empty() ? std::string("the tracker refused") : text;
}

}  // namespace

bool ParseUdpTrackerUrl(const std::string& url, std::string* host, uint16_t* port) {
    const std::string scheme = "udp://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    const size_t start = scheme.size();
    size_t end = url.find('/', start);
    if (end == std::string::npos) end = url.size();
    const std::string authority = url.substr(start, end - start);
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == authority.size()) return false;
    const std::string name = authority.substr(0, colon);
    if (name.find('@') != std::string::npos || name.find('[') != std::string::npos) return false;
    uint32_t value = 0;
    for (size_t i = colon + 1; i < authority.size(); ++i) {
        const char c = authority[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint32_t(c - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *host = name;
    *port = uint16_t(value);
    return true;
}

std::vector<uint8_t> BuildUdpConnect(uint32_t transactionId) {
    std::vector<uint8_t> out;
    out.reserve(kUdpConnectBytes);
    Put64(out, kProtocolId);
    Put32(out, kActionConnect);
    Put32(out, transactionId);
    return out;
}

std::vector<uint8_t> BuildUdpAnnounce(uint64_t connectionId, uint32_t transactionId, const AnnounceParams& params) {
    std::vector<uint8_t> out;
    out.reserve(kUdpAnnounceBytes);
    Put64(out, connectionId);
    Put32(out, kActionAnnounce);
    Put32(out, transactionId);
    out.insert(out.end(), params.infoHash, params.infoHash + 20);
    out.insert(out.end(), params.peerId, params.peerId + 20);
    Put64(out, params.downloaded);
    Put64(out, params.left);
    Put64(out, params.uploaded);
    Put32(out, EventCode(params.event));
    Put32(out, 0);  // our address: the one the datagram comes from
    Put32(out, params.key);
    Put32(out, uint32_t(params.numWant < 0 ? -1 : params.numWant));
    out.push_back(uint8_t(params.port >> 8));
    out.push_back(uint8_t(params.port));
    return out;
}

UdpReply ParseUdpConnectReply(const uint8_t* data, size_t size, uint32_t transactionId, uint64_t* connectionId,
                              std::string* failure) {
    uint32_t action = 0;
    if (!AnswerHead(data, size, transactionId, &action)) return UdpReply::kOther;
    if (action == kActionError) {
        *failure = ErrorText(data, size);
        return UdpReply::kRefused;
    }
    if (action != kActionConnect || size < 16) return UdpReply::kOther;
    *connectionId = Get64(data + 8);
    return UdpReply::kAnswer;
}

UdpReply ParseUdpAnnounceReply(const uint8_t* data, size_t size, uint32_t transactionId, AnnounceReply* out) {
    uint32_t action = 0;
    if (!AnswerHead(data, size, transactionId, &action)) return UdpReply::kOther;
    if (action == kActionError) {
        *out = AnnounceReply();
        out->failure = ErrorText(data, size);
        return UdpReply::kRefused;
    }
    if (action != kActionAnnounce || size < 20) return UdpReply::kOther;
    *out = AnnounceReply();
    out->interval = Get32(data + 8);
    out->leechers = Get32(data + 12);
    out->seeders = Get32(data + 16);
    for (size_t at = 20; at + 6 <= size && out->peers.size() < kMaxAnnouncePeers; at += 6) {
        PeerAddress peer;
        peer.ip = IpAddress::V4(Get32(data + at));
        peer.port = uint16_t((data[at + 4] << 8) | data[at + 5]);
        if (peer.port != 0) out->peers.push_back(peer);
    }
    return UdpReply::kAnswer;
}
