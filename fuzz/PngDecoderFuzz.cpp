// Any bytes as a skin image. The loader (over libpng) must stay inside them
// and inside its bitmap, give a top-down 24- or 32-bit bitmap or none, and
// leave no bitmap behind when it gives none.
#include "FakeGdi.h"
#include "FuzzCheck.h"
#include "PngDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HBITMAP bitmap = DecodePngToDib(data, size);
    if (!bitmap) {
        FUZZ_CHECK(FakeBitmapsAlive() == 0, "a refused image leaves its bitmap behind");
        return 0;
    }
    FUZZ_CHECK(FakeBitmapsAlive() == 1, "a decoded image leaves another bitmap behind");
    const FakeBitmapFacts facts = FakeBitmapFactsOf(bitmap);
    FUZZ_CHECK(facts.height < 0, "a bottom-up bitmap");
    DeleteObject(bitmap);
    return 0;
}
