// CreateDIBSection over plain memory: the pixels are one heap block of
// exactly the rows' size, so AddressSanitizer reports any write past them.
// A bitmap larger than the loader may ever ask for is itself a finding.
#include "fuzz/FakeGdi.h"

#include "fuzz/FuzzCheck.h"
#include "fuzz/shim/windows.h"

#include <cstdlib>

struct FakeBitmap {
    FakeBitmapFacts facts;
    uint8_t* pixels = nullptr;  // owned
};

namespace {

int alive = 0;

// 4096 x 4096 pixels of 4 bytes: no skin image needs more.
const size_t kLargestBitmapBytes = size_t(4096) * 4096 * 4;

}  // namespace

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    FUZZ_CHECK(info && bits && !section && usage == DIB_RGB_COLORS, "CreateDIBSection called wrongly");
    const BITMAPINFOHEADER& h = info->bmiHeader;
    FUZZ_CHECK(h.biSize == sizeof(BITMAPINFOHEADER) && h.biPlanes == 1 && h.biCompression == BI_RGB,
               "a bitmap header Windows would refuse");
    FUZZ_CHECK(h.biBitCount == 24 || h.biBitCount == 32, "a bitmap of neither 24 nor 32 bits");
    FUZZ_CHECK(h.biWidth > 0 && h.biHeight != 0, "a bitmap without pixels");
    const size_t width = static_cast<size_t>(h.biWidth);
    const size_t height = static_cast<size_t>(h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight);
    const size_t stride = (width * (h.biBitCount / 8) + 3) & ~static_cast<size_t>(3);
    FUZZ_CHECK(stride * height <= kLargestBitmapBytes, "the loader asks for a bitmap larger than any skin needs");

    auto* bitmap = new FakeBitmap;
    bitmap->facts = FakeBitmapFacts{h.biWidth, h.biHeight, h.biBitCount, stride * height};
    bitmap->pixels = static_cast<uint8_t*>(std::malloc(stride * height));
    FUZZ_CHECK(bitmap->pixels != nullptr, "out of memory");
    *bits = bitmap->pixels;
    ++alive;
    return bitmap;
}

BOOL DeleteObject(HGDIOBJ object) {
    auto* bitmap = static_cast<FakeBitmap*>(object);
    if (!bitmap) return 0;
    std::free(bitmap->pixels);
    delete bitmap;
    --alive;
    return 1;
}

BOOL GdiFlush() { return 1; }

FakeBitmapFacts FakeBitmapFactsOf(const void* bitmap) { return static_cast<const FakeBitmap*>(bitmap)->facts; }

int FakeBitmapsAlive() { return alive; }
