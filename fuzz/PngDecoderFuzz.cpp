// Any bytes as a skin image. The loader (over libpng) must stay inside them
// and inside its bitmap, give a top-down 24- or 32-bit bitmap or none, and
// leave no bitmap behind when it gives none.
#include "fuzz/FakeGdi.h"
#include "fuzz/FuzzCheck.h"
#include "ui/PngDecoder.h"

#include <zlib.h>

#include <vector>

namespace {

void CheckDecode(const uint8_t* data, size_t size) {
    HBITMAP bitmap = DecodePngToDib(data, size);
    if (!bitmap) {
        FUZZ_CHECK(FakeBitmapsAlive() == 0, "a refused image leaves its bitmap behind");
        return;
    }
    FUZZ_CHECK(FakeBitmapsAlive() == 1, "a decoded image leaves another bitmap behind");
    const FakeBitmapFacts facts = FakeBitmapFactsOf(bitmap);
    FUZZ_CHECK(facts.height < 0, "a bottom-up bitmap");
    DeleteObject(bitmap);
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Every whole chunk after the signature gets its right CRC.
std::vector<uint8_t> MendChunkChecksums(const uint8_t* data, size_t size) {
    std::vector<uint8_t> mended(data, data + size);
    size_t at = 8;
    while (at + 12 <= size) {
        const size_t length = BigEndian32(&mended[at]);
        if (length > size - at - 12) break;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &mended[at + 4], static_cast<uInt>(4 + length)));
        for (int i = 0; i < 4; ++i) mended[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    return mended;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckDecode(data, size);
    // Mutations rarely keep chunk checksums right: the same bytes again with
    // them mended reach the decoding behind them.
    const std::vector<uint8_t> mended = MendChunkChecksums(data, size);
    CheckDecode(mended.data(), mended.size());
    return 0;
}
