// Any bytes encoded and decoded again must come back unchanged, into a
// buffer of exactly their size; the stored form cut short anywhere must be
// refused (or, where the cut byte was not needed, still give the input).
#include "fuzz/FuzzCheck.h"
#include "codec/Lzari.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

void CheckCutIsRefused(const std::vector<uint8_t>& stored, size_t keep, const uint8_t* input, size_t size) {
    std::unique_ptr<uint8_t[]> output(new uint8_t[size ? size : 1]);
    size_t decoded = 0;
    if (!LzariDecode(stored.data(), keep, output.get(), size, &decoded)) return;
    FUZZ_CHECK(decoded == size && std::memcmp(output.get(), input, size) == 0,
               "a stored form cut short decodes to wrong bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> stored;
    FUZZ_CHECK(LzariEncode(data, size, stored), "encoding fails");
    FUZZ_CHECK(stored.size() >= kLzariHeaderBytes, "the stored form lacks its header");

    std::unique_ptr<uint8_t[]> output(new uint8_t[size ? size : 1]);
    size_t decoded = 0;
    FUZZ_CHECK(LzariDecode(stored.data(), stored.size(), output.get(), size, &decoded), "the stored form is refused");
    FUZZ_CHECK(decoded == size, "the decoded length differs from the input's");
    FUZZ_CHECK(size == 0 || std::memcmp(output.get(), data, size) == 0, "the decoded bytes differ from the input");

    if (size > 0 && stored.size() > kLzariHeaderBytes) {
        CheckCutIsRefused(stored, stored.size() - 1, data, size);
        // A second cut chosen by the input itself, somewhere in the stream.
        const size_t streamBytes = stored.size() - kLzariHeaderBytes;
        CheckCutIsRefused(stored, kLzariHeaderBytes + data[0] % streamBytes, data, size);
    }
    return 0;
}
