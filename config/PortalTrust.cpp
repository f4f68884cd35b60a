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
