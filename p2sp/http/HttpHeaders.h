// Parsing of the few HTTP header values the engine decides on. No platform
// code here, so the parsers are unit-tested on their own.
#pragma once

#include <cstdint>
#include <string>

// A decimal number with nothing around it but spaces; false on overflow.
bool ParseDecimalU64(const std::string& text, uint64_t* value);

// "bytes first-last/total" (total may be "*" -> 0). "bytes */total" is not
// a satisfiable range and yields false.
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;   // inclusive
    uint64_t total = 0;  // 0 when the server sent "*"
};
bool ParseContentRange(const std::string& text, ContentRange* range);

// A strong ETag may be used in If-Range; a weak one ("W/...") may not.
inline bool IsStrongEtag(const std::string& etag) {
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}
