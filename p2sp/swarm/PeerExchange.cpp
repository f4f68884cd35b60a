#include "p2sp/swarm/PeerExchange.h"

#include "p2sp/swarm/Bencode.h"

#include <string>

namespace {

void AppendString(const std::string& s, std::string* out) {
    *out += std::to_string(s.size()) + ":" + s;
}

void AppendInteger(int64_t v, std::string* out) { *out += "i" + std::to_string(v) + "e"; }

// Compact peers of one family: 4 or 16 address bytes and 2 port bytes each;
// with `flags`, their flag bytes in the same order.
std::string Compact(const std::vector<PeerAddress>& peers, bool v6, const std::vector<uint8_t>* flags = nullptr,
                    std::string* flagBytes = nullptr) {
    std::string out;
    for (size_t i = 0; i < peers.size(); ++i) {
        const PeerAddress& a = peers[i];
        if (a.ip.IsV4() == v6) continue;
        const uint8_t* address = v6 ? a.ip.bytes : a.ip.bytes + 12;
        out.append(reinterpret_cast<const char*>(address), v6 ? 16 : 4);
        out += char(a.port >> 8);
        out += char(a.port & 0xff);
        if (flagBytes) *flagBytes += char(flags && i < flags->size() ? (*flags)[i] : 0);
    }
    return out;
}

// Reads compact peers of one family into `added` (their flags, from the
// "<key>.f" string, into `flags`), up to kMaxPexPeers in all; false when the
// list is not a whole number of entries.
bool ReadCompact(const BencodeValue* list, const BencodeValue* flagList, bool v6, std::vector<PeerAddress>* added,
                 std::vector<uint8_t>* flags) {
    if (!list) return true;
    const size_t width = v6 ? 18 : 6;
    if (!list->IsString() || list->text.size() % width != 0) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(list->text.data());
    const std::string* f = flagList && flagList->IsString() ? &flagList->text : nullptr;
    for (size_t at = 0, n = 0; at < list->text.size() && added->size() < kMaxPexPeers; at += width, ++n) {
        PeerAddress a;
        if (v6) a.ip = IpAddress::V6(bytes + at);
        else a.ip = IpAddress::V4(uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
                                  uint32_t(bytes[at + 2]) << 8 | bytes[at + 3]);
        a.port = uint16_t(bytes[at + width - 2] << 8 | bytes[at + width - 1]);
        added->push_back(a);
        if (flags) flags->push_back(f && n < f->size() ? uint8_t((*f)[n]) : 0);
    }
    return true;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

BencodeLimits SmallLimits() {
    BencodeLimits limits;
    limits.maxDepth = 4;
    limits.maxValues = 64;
    return limits;
}

}  // namespace

std::vector<uint8_t> ExtendedHandshakePayload(uint16_t listenPort, bool holepunch, const IpAddress* yourIp) {
    std::string out = "d";
    AppendString("m", &out);
    out += "d";
    if (holepunch) {
        AppendString("ut_holepunch", &out);
        AppendInteger(kOurHolepunchId, &out);
    }
    AppendString("ut_pex", &out);
    AppendInteger(kOurPexId, &out);
    out += "e";
    if (listenPort) {
        AppendString("p", &out);
        AppendInteger(listenPort, &out);
    }
    AppendString("v", &out);
    AppendString("QelvoP2SP", &out);
    if (yourIp) {
        AppendString("yourip", &out);
        const bool v4 = yourIp->IsV4();
        AppendString(std::string(reinterpret_cast<const char*>(yourIp->bytes + (v4 ? 12 : 0)), v4 ? 4 : 16), &out);
    }
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
        const BencodeValue* punch = m->Find("ut_holepunch");
        if (punch && punch->IsInteger() && punch->integer >= 1 && punch->integer <= 255)
            h.holepunchId = uint8_t(punch->integer);
    }
    const BencodeValue* p = root.Find("p");
    if (p && p->IsInteger() && p->integer >= 1 && p->integer <= 65535) h.listenPort = uint16_t(p->integer);
    const BencodeValue* you = root.Find("yourip");
    if (you && you->IsString() && (you->text.size() == 4 || you->text.size() == 16)) {
        const auto* b = reinterpret_cast<const uint8_t*>(you->text.data());
        h.yourIp = you->text.size() == 4
                       ? IpAddress::V4(uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                       : IpAddress::V6(b);
        h.saidYourIp = true;
    }
    *out = h;
    return true;
}

std::vector<uint8_t> PexPayload(const std::vector<PeerAddress>& added, const std::vector<PeerAddress>& dropped,
                                const std::vector<uint8_t>& addedFlags) {
    // Keys in sorted order, as bencoding wants them.
    std::string flags4, flags6;
    const std::string added4 = Compact(added, false, &addedFlags, &flags4);
    const std::string added6 = Compact(added, true, &addedFlags, &flags6);
    std::string out = "d";
    AppendString("added", &out);
    AppendString(added4, &out);
    AppendString("added.f", &out);
    AppendString(flags4, &out);
    if (!added6.empty()) {
        AppendString("added6", &out);
        AppendString(added6, &out);
        AppendString("added6.f", &out);
        AppendString(flags6, &out);
    }
    AppendString("dropped", &out);
    AppendString(Compact(dropped, false), &out);
    const std::string dropped6 = Compact(dropped, true);
    if (!dropped6.empty()) {
        AppendString("dropped6", &out);
        AppendString(dropped6, &out);
    }
    out += "e";
    return Bytes(out);
}

bool ParsePex(const uint8_t* data, size_t size, std::vector<PeerAddress>* added, std::vector<uint8_t>* flags) {
    if (size > kMaxExtendedBytes) return false;
    BencodeValue root;
    if (DecodeBencode(data, size, &root, SmallLimits()) != BencodeError::kNone || !root.IsDictionary()) return false;
    added->clear();
    if (flags) flags->clear();
    return ReadCompact(root.Find("added"), root.Find("added.f"), false, added, flags) &&
           ReadCompact(root.Find("added6"), root.Find("added6.f"), true, added, flags);
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
