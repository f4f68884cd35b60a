#include "p2sp/http/HttpHeaders.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool ParseDecimalU64(const std::string& text, uint64_t* value) {
    std::string t = Trim(text);
    if (t.empty() || t.size() > 20) return false;
    uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = uint64_t(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

bool ParseContentRange(const std::string& text, ContentRange* range) {
    std::string t = Trim(text);
    if (t.compare(0, 6, "bytes ") != 0) return false;
    t = t.substr(6);
    size_t dash = t.find('-');
    size_t slash = t.find('/');
    if (dash == std::string::npos || slash == std::string::npos || dash > slash) return false;
    ContentRange r;
    if (!ParseDecimalU64(t.substr(0, dash), &r.first)) return false;
    if (!ParseDecimalU64(t.substr(dash + 1, slash - dash - 1), &r.last)) return false;
    std::string total = Trim(t.substr(slash + 1));
    if (total == "*") {
        r.total = 0;
    } else if (!ParseDecimalU64(total, &r.total) || r.last >= r.total) {
        return false;
    }
    if (r.first > r.last) return false;
    *range = r;
    return true;
}
