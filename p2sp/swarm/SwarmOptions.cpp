#include "p2sp/swarm/SwarmOptions.h"

namespace {

bool ReadNumber(const std::wstring& text, size_t* pos, uint64_t limit, uint64_t* out) {
    size_t start = *pos;
    uint64_t value = 0;
    while (*pos < text.size() && text[*pos] >= L'0' && text[*pos] <= L'9') {
        value = value * 10 + uint64_t(text[*pos] - L'0');
        if (value > limit) return false;
        ++*pos;
    }
    if (*pos == start) return false;
    *out = value;
    return true;
}

}  // namespace

bool ParseListenOption(const std::wstring& text, SwarmOptions* options) {
    if (text == L"off") {
        options->listen = false;
        return true;
    }
    SwarmOptions parsed = *options;
    size_t pos = 0;
    uint32_t address = 0;
    if (text.find(L':') != std::wstring::npos) {
        for (int part = 0; part < 4; ++part) {
            uint64_t octet = 0;
            if (part > 0) {
                if (pos >= text.size() || text[pos] != L'.') return false;
                ++pos;
            }
            if (!ReadNumber(text, &pos, 255, &octet)) return false;
            address = (address << 8) | uint32_t(octet);
        }
        if (pos >= text.size() || text[pos] != L':') return false;
        ++pos;
    }
    uint64_t first = 0, last = 0;
    if (!ReadNumber(text, &pos, 65535, &first) || first == 0) return false;
    last = first;
    if (pos < text.size() && text[pos] == L'-') {
        ++pos;
        if (!ReadNumber(text, &pos, 65535, &last) || last < first) return false;
    }
    if (pos != text.size()) return false;
    parsed.listen = true;
    parsed.listenAddress = address;
    parsed.firstPort = uint16_t(first);
    parsed.lastPort = uint16_t(last);
    *options = parsed;
    return true;
}

bool ParseUtpOption(const std::wstring& text, UtpMode* mode) {
    if (text == L"0") *mode = UtpMode::kOff;
    else if (text == L"1") *mode = UtpMode::kOn;
    else if (text == L"only") *mode = UtpMode::kOnly;
    else return false;
    return true;
}

bool ParseUploadCapOption(const std::wstring& text, uint32_t* cap) {
    size_t pos = 0;
    uint64_t value = 0;
    if (!ReadNumber(text, &pos, 0xFFFFFFFFu, &value) || pos != text.size()) return false;
    *cap = uint32_t(value);
    return true;
}

bool ParseSeedLimitsOption(const std::wstring& text, SeedLimits* limits) {
    size_t pos = 0;
    uint64_t percent = 0, minutes = 0;
    if (!ReadNumber(text, &pos, 100000, &percent) || pos >= text.size() || text[pos] != L':') return false;
    ++pos;
    if (!ReadNumber(text, &pos, 525600, &minutes) || pos != text.size()) return false;
    limits->ratioPercent = uint32_t(percent);
    limits->minutes = uint32_t(minutes);
    return true;
}
