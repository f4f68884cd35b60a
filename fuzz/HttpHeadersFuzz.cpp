// Any bytes as an HTTP header value. A decimal number is read exactly or
// refused (spaces and tabs around it, digits only, no overflow), and a
// Content-Range that is accepted is consistent and reads back the same when
// written out again.
#include "fuzz/FuzzCheck.h"
#include "p2sp/http/HttpHeaders.h"

#include <string>

namespace {

// The same rule written another way: trim, digits only, at most 20, and the
// value must fit in 64 bits.
bool ReferenceDecimal(const std::string& text, uint64_t* value) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (begin == end || end - begin > 20) return false;
    unsigned __int128 v = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (v > UINT64_MAX) return false;
    *value = static_cast<uint64_t>(v);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    uint64_t value = 0, expected = 0;
    const bool parsed = ParseDecimalU64(text, &value);
    FUZZ_CHECK(parsed == ReferenceDecimal(text, &expected), "a decimal number is accepted or refused wrongly");
    FUZZ_CHECK(!parsed || value == expected, "a decimal number is read wrongly");

    ContentRange range;
    if (ParseContentRange(text, &range)) {
        FUZZ_CHECK(range.first <= range.last, "a range whose first byte is after its last is accepted");
        FUZZ_CHECK(range.total == 0 || range.last < range.total, "a range past the total is accepted");
        const std::string written = "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
                                    (range.total == 0 ? std::string("*") : std::to_string(range.total));
        ContentRange again;
        FUZZ_CHECK(ParseContentRange(written, &again), "an accepted range written out again is refused");
        FUZZ_CHECK(again.first == range.first && again.last == range.last && again.total == range.total,
                   "an accepted range written out again reads differently");
    }
    IsStrongEtag(text);
    return 0;
}
