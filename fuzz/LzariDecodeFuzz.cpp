// Any bytes as a stored LZARI form. The decoder must stay inside its input
// and inside an output buffer of exactly the announced length, refuse a
// buffer one byte short, and a stream it decodes must not decode to other
// bytes once its last byte is cut off (a cut stream is refused, or it did not
// need that byte).
#include "fuzz/FuzzCheck.h"
#include "codec/Lzari.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Announced lengths above this are only checked for refusal.
const size_t kLargestDecoded = 64 * 1024;

size_t AnnouncedLength(const uint8_t* data) {
    return static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8 | static_cast<size_t>(data[2]) << 16 |
           static_cast<size_t>(data[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t decoded = 12345;
    if (size < kLzariHeaderBytes) {
        uint8_t byte = 0;
        FUZZ_CHECK(!LzariDecode(data, size, &byte, 1, &decoded), "a form shorter than its header decodes");
        FUZZ_CHECK(decoded == 0, "a refused form reports a length");
        return 0;
    }
    const size_t announced = AnnouncedLength(data);
    if (announced > 0) {
        // Exactly one byte too few: refused before anything is written.
        std::vector<uint8_t> tooSmall(announced > kLargestDecoded ? 0 : announced - 1);
        FUZZ_CHECK(!LzariDecode(data, size, tooSmall.data(), announced - 1, &decoded),
                   "a decoded length above the capacity is accepted");
        FUZZ_CHECK(decoded == 0, "a refused form reports a length");
    }
    if (announced > kLargestDecoded) return 0;

    // Exactly sized heap buffers: any write past the announced length is an
    // AddressSanitizer report.
    std::unique_ptr<uint8_t[]> output(new uint8_t[announced ? announced : 1]);
    if (!LzariDecode(data, size, output.get(), announced, &decoded)) {
        FUZZ_CHECK(decoded == 0, "a refused form reports a length");
        return 0;
    }
    FUZZ_CHECK(decoded == announced, "the decoded length is not the announced one");
    if (size == kLzariHeaderBytes) return 0;

    std::unique_ptr<uint8_t[]> cut(new uint8_t[announced ? announced : 1]);
    size_t cutDecoded = 0;
    if (LzariDecode(data, size - 1, cut.get(), announced, &cutDecoded)) {
        FUZZ_CHECK(cutDecoded == decoded && std::memcmp(cut.get(), output.get(), decoded) == 0,
                   "the stream without its last byte decodes to different bytes");
    }
    return 0;
}
