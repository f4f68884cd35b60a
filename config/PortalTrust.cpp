#include "config/PortalTrust.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseKey(const std::string& hex, ConfigKey* key) {
    if (hex.size() != 130 || hex[0] != '0' || hex[1] != '4') return false;
    for (size_t i = 0; i < 64; ++i) {
        const int high = HexDigit(hex[2 + 2 * i]), low = HexDigit(hex[3 + 2 * i]);
        if (high < 0 || low < 0) return false;
        (*key)[i] = uint8_t(high * 16 + low);
    }
    return true;
}

// A host name of letters, digits, dots and hyphens, and an optional port
// 1-65535: nothing that could change the URL it goes into.
bool ParseHost(const std::string& text, std::string* host) {
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    if (name.empty() || name.size() > 253) return false;
    for (char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             c == '.' || c == '-';
        if (!allowed) return false;
    }
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        if (port.empty() || port.size() > 5) return false;
        unsigned value = 0;
        for (char c : port) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + unsigned(c - '0');
        }
        if (value == 0 || value > 65535) return false;
    }
    *host = text;
    return true;
}

}  // namespace

bool ParsePortalTrust(const std::string& text, PortalTrust* out) {
    PortalTrust parsed;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line == "scheme=http") {
            parsed.https = false;
        } else if (line == "scheme=https") {
            parsed.https = true;
        } else if (line.compare(0, 5, "host=") == 0) {
            if (!ParseHost(line.substr(5), &parsed.host)) return false;
        } else if (line.compare(0, 4, "key=") == 0) {
            ConfigKey key;
            if (!ParseKey(line.substr(4), &key)) return false;
            parsed.keys.push_back(key);
        } else {
            return false;
        }
    }
    *out = parsed;
    return true;
}
