#include "p2sp/swarm/IpAddress.h"

#include <cstdio>

namespace {

const uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool ParseDotted(const std::string& text, size_t pos, uint8_t out[4]) {
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        const size_t start = pos;
        unsigned octet = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            octet = octet * 10 + unsigned(text[pos++] - '0');
        if (pos == start || octet > 255) return false;
        out[part] = uint8_t(octet);
    }
    return pos == text.size();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Groups of up to four hex digits separated by ':', at most one "::", and
// a dotted IPv4 address in place of the last two groups.
bool ParseV6(const std::string& text, uint8_t out[16]) {
    if (text.size() < 2 || text.size() > 45) return false;
    uint8_t head[16] = {}, tail[16] = {};
    size_t headLen = 0, tailLen = 0;
    bool gap = false;
    size_t pos = 0;
    if (text.compare(0, 2, "::") == 0) {
        gap = true;
        pos = 2;
    } else if (text[0] == ':') {
        return false;
    }
    while (pos < text.size()) {
        uint8_t* into = gap ? tail : head;
        size_t& len = gap ? tailLen : headLen;
        if (headLen + tailLen > 14) return false;
        if (text.find('.', pos) != std::string::npos && text.find(':', pos) == std::string::npos) {
            if (headLen + tailLen > 12) return false;
            if (!ParseDotted(text, pos, into + len)) return false;
            len += 4;
            pos = text.size();
            break;
        }
        unsigned value = 0;
        const size_t start = pos;
        while (pos < text.size() && pos - start < 4 && HexDigit(text[pos]) >= 0)
            value = value * 16 + unsigned(HexDigit(text[pos++]));
        if (pos == start) return false;
        into[len++] = uint8_t(value >> 8);
        into[len++] = uint8_t(value);
        if (pos == text.size()) break;
        if (text[pos] != ':') return false;
        ++pos;
        if (pos < text.size() && text[pos] == ':') {
            if (gap) return false;
            gap = true;
            ++pos;
        } else if (pos == text.size()) {
            return false;  // a trailing single ':'
        }
    }
    if (headLen + tailLen > 16 || (!gap && headLen != 16) || (gap && headLen + tailLen == 16)) return false;
    std::memset(out, 0, 16);
    std::memcpy(out, head, headLen);
    std::memcpy(out + 16 - tailLen, tail, tailLen);
    return true;
}

}  // namespace

IpAddress IpAddress::V4(uint32_t hostOrder) {
    IpAddress a;
    std::memcpy(a.bytes, kMappedPrefix, 12);
    a.bytes[12] = uint8_t(hostOrder >> 24);
    a.bytes[13] = uint8_t(hostOrder >> 16);
    a.bytes[14] = uint8_t(hostOrder >> 8);
    a.bytes[15] = uint8_t(hostOrder);
    return a;
}

IpAddress IpAddress::V6(const uint8_t* sixteen) {
    IpAddress a;
    std::memcpy(a.bytes, sixteen, 16);
    return a;
}

bool IpAddress::IsV4() const { return std::memcmp(bytes, kMappedPrefix, 12) == 0; }

uint32_t IpAddress::V4Value() const {
    if (!IsV4()) return 0;
    return uint32_t(bytes[12]) << 24 | uint32_t(bytes[13]) << 16 | uint32_t(bytes[14]) << 8 | bytes[15];
}

IpAddress IpAddress::Host() const {
    if (IsV4()) return *this;
    IpAddress prefix;
    std::memcpy(prefix.bytes, bytes, 8);
    return prefix;
}

bool ParseIpAddress(const std::string& text, IpAddress* out) {
    uint8_t v4[4];
    if (ParseDotted(text, 0, v4)) {
        *out = IpAddress::V4(uint32_t(v4[0]) << 24 | uint32_t(v4[1]) << 16 | uint32_t(v4[2]) << 8 | v4[3]);
        return true;
    }
    uint8_t v6[16];
    if (!ParseV6(text, v6)) return false;
    *out = IpAddress::V6(v6);
    return true;
}

std::string IpAddressText(const IpAddress& a) {
    char text[48];
    if (a.IsV4()) {
        std::snprintf(text, sizeof(text), "%u.%u.%u.%u", a.bytes[12], a.bytes[13], a.bytes[14], a.bytes[15]);
        return text;
    }
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = unsigned(a.bytes[2 * i]) << 8 | a.bytes[2 * i + 1];
    // The longest run of two or more zero groups becomes "::".
    int best = -1, bestLen = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > bestLen) best = i, bestLen = j - i;
        i = j > i ? j : i + 1;
    }
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == best) {
            out += "::";
            i += bestLen - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        std::snprintf(text, sizeof(text), "%x", groups[i]);
        out += text;
    }
    return out;
}
