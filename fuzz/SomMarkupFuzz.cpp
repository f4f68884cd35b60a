// Any bytes (UTF-16LE) as the markup of a text element, and as colour,
// number and button-link values. The parser must stay inside the text, give
// non-empty runs with fonts from the table, never give more text than it was
// given, and return text without tags unchanged as one plain run.
#include "fuzz/FuzzCheck.h"
#include "ui/SomMarkup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring markup = Utf16Units(data, size);
    const std::vector<SomMarkupRun> runs = ParseSomMarkup(markup);

    size_t textLength = 0;
    for (const SomMarkupRun& run : runs) {
        FUZZ_CHECK(!run.text.empty(), "an empty run");
        FUZZ_CHECK(run.font >= -1 && run.font < 16, "a font outside the table");
        textLength += run.text.size();
        int32_t id = 0;
        ParseSomButtonLink(run.link, id);
    }
    FUZZ_CHECK(textLength <= markup.size(), "more text than markup");
    if (markup.find(L"{&#") == std::wstring::npos) {
        FUZZ_CHECK(markup.empty() ? runs.empty() : runs.size() == 1, "text without tags is not one run");
        FUZZ_CHECK(runs.empty() || (runs[0].text == markup && runs[0].link.empty() && runs[0].font == -1 &&
                                    runs[0].colour == -1),
                   "text without tags changes");
    }

    ParseSomColour(markup);
    ParseSomNumber(markup, 10);
    ParseSomNumber(markup, 16);
    int32_t id = 0;
    ParseSomButtonLink(markup, id);
    return 0;
}
