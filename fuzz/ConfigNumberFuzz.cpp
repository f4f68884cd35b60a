// Any bytes (UTF-16LE) as a configuration or state value read as a number
// (GameSize, DownloadTotalTime). A number that starts the text is read
// exactly; text that starts with no number, or with one too large for 64
// bits, is no number and leaves the value alone: a wrapped size would be a
// wrong size.
#include "fuzz/FuzzCheck.h"
#include "config/ConfigNumber.h"

#include <cwctype>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = Utf16Units(data, size);

    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    if (i < text.size() && text[i] == L'+') ++i;
    unsigned __int128 digits = 0;
    size_t count = 0;
    bool fits = true;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++count) {
        digits = digits * 10 + static_cast<unsigned>(text[i] - L'0');
        if (digits > UINT64_MAX) fits = false, digits = UINT64_MAX;  // stays above, never wraps
    }

    const uint64_t untouched = 0x5A5A5A5A5A5A5A5Aull;
    uint64_t value = untouched;
    const bool scanned = ScanUnsigned64(text, value);
    if (count > 0 && fits) {
        FUZZ_CHECK(scanned, "a number that starts the text is not read");
        FUZZ_CHECK(value == static_cast<uint64_t>(digits), "a number is read wrongly");
    } else {
        FUZZ_CHECK(!scanned, count == 0 ? "text without a number reads as one"
                                        : "a number too large for 64 bits reads as a (wrapped) number");
        FUZZ_CHECK(value == untouched, "a refused text changes the value");
    }
    return 0;
}
