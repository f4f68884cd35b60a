#include "p2sp/swarm/PeerExchange.h"

#include "p2sp/swarm/Bencode.h"

#include <string>

namespace {

void AppendString(const std::string& s, std::string* out) {
    *out += std::to_string(s.size()) + ":" + s;
}

void AppendInteger(int64_t v, std::string* out) { *out += "i" + std::to_string(v) + "e"; }

std::string Compact(const std::vector<PeerAddress>& peers) {
    std::string out;
    for (const PeerAddress& a : peers) {
        const uint8_t bytes[6] = {uint8_t(a.ipv4 >> 24), uint8_t(a.ipv4 >> 16), uint8_t(a.ipv4 >> 8), uint8_t(a.ipv4),
                                  uint8_t(a.port >> 8), uint8_t(a.port)};
        out.append(reinterpret_cast<const char*>(bytes), 6);
    }
    return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

BencodeLimits SmallLimits() {
    BencodeLimits limits;
    limits.maxDepth = 4;
    limits.maxValues = 64;
    return limits;
}

}  // namespace

std::vector<uint8_t> ExtendedHandshakePayload(uint16_t listenPort) {
    std::string out = "d";
    AppendString("m", &out);
    out += "d";
    AppendString("ut_pex", &out);
    AppendInteger(kOurPexId, &out);
    out += "e";
    if (listenPort) {
        AppendString("p", &out);
        AppendInteger(listenPort, &out);
    }
    AppendString("v", &out);
    AppendString("QelvoP2SP", &out);
    out += "e";
    return Bytes(out);
}

bool ParseExtendedHandshake(const uint8_t* data, size_t size, ExtendedHandshake* out) {
    if (size > kMaxExtendedBytes) return false;
    BencodeValue root;
    if (DecodeBencode(data, size, &root, SmallLimits()) != BencodeError::kNone || !root.IsDictionary()) return false;
    ExtendedHandshake h;
    if (const BencodeValue* m = root.Find("m")) {
        const BencodeValue* pex = m->Find("ut_pex");
        if (pex && pex->IsInteger() && pex->integer >= 1 && pex->integer <= 255) h.pexId = uint8_t(pex->integer);
    }
    const BencodeValue* p = root.Find("p");
    if (p && p->IsInteger() && p->integer >= 1 && p->integer <= 65535) h.listenPort = uint16_t(p->integer);
    *out = h;
    return true;
}

std::vector<uint8_t> PexPayload(const std::vector<PeerAddress>& added, const std::vector<PeerAddress>& dropped) {
    std::string out = "d";
    AppendString("added", &out);
    AppendString(Compact(added), &out);
    AppendString("added.f", &out);
    AppendString(std::string(added.size(), '\0'), &out);
    AppendString("dropped", &out);
    AppendString(Compact(dropped), &out);
    out += "e";
    return Bytes(out);
}

bool ParsePex(const uint8_t* data, size_t size, std::vector<PeerAddress>* added) {
    if (size > kMaxExtendedBytes) return false;
    BencodeValue root;
    if (DecodeBencode(data, size, &root, SmallLimits()) != BencodeError::kNone || !root.IsDictionary()) return false;
    added->clear();
    const BencodeValue* list = root.Find("added");
    if (!list) return true;
    if (!list->IsString() || list->text.size() % 6 != 0) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(list->text.data());
    for (size_t at = 0; at < list->text.size() && added->size() < kMaxPexPeers; at += 6) {
        PeerAddress a;
        a.ipv4 = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
        a.port = uint16_t(bytes[at + 4] << 8 | bytes[at + 5]);
        added->push_back(a);
    }
    return true;
}

void PexDifference(const std::set<PeerAddress>& now, std::set<PeerAddress>* told, std::vector<PeerAddress>* added,
                   std::vector<PeerAddress>* dropped) {
    added->clear();
    dropped->clear();
    for (const PeerAddress& a : now)
        if (!told->count(a) && added->size() < kMaxPexPeers) added->push_back(a);
    for (const PeerAddress& a : *told)
        if (!now.count(a) && dropped->size() < kMaxPexPeers) dropped->push_back(a);
    for (const PeerAddress& a : added[0]) told->insert(a);
    for (const PeerAddress& a : dropped[0]) told->erase(a);
}
