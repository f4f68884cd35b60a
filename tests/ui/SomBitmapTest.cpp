// PNG decoding, frames, blitting and the nine-part image, with PNG files
// written by the test itself.
#include "tests/ui/UiTestSupport.h"

#include "ui/PngDecoder.h"
#include "ui/SomBitmap.h"
#include "ui/SomBitmap9Part.h"
#include "ui/SomSkin.h"
#include "tests/support/TestSupport.h"

#include "ui/ImageLoader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>


namespace {

std::wstring Scratch(const wchar_t* name) {
    return TestScratchDir() + name;
}

// Pixel of a decoded bitmap as stored: B, G, R[, A].
std::vector<uint8_t> StoredPixel(HBITMAP bitmap, int x, int y) {
    DIBSECTION dib{};
    ::GetObjectW(bitmap, sizeof(dib), &dib);
    const int bytes = dib.dsBm.bmBitsPixel / 8;
    const auto* base = static_cast<const uint8_t*>(dib.dsBm.bmBits);
    const uint8_t* p = base + static_cast<size_t>(y) * dib.dsBm.bmWidthBytes + static_cast<size_t>(x) * bytes;
    return std::vector<uint8_t>(p, p + bytes);
}

int BitsPerPixel(HBITMAP bitmap) {
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof(info), &info);
    return info.bmBitsPixel;
}

TEST(PngDecoder, PaletteWithTransparencyBecomesPremultiplied32Bit) {
    const std::wstring path = Scratch(L"palette.png");
    // Index 0 opaque red, 1 half-transparent red, 2 fully transparent white.
    ASSERT_TRUE(WriteTestPng(path, 3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}},
                             {255, 0, 0, 255, 0, 0, 255, 255, 255}, {255, 128, 0}));
    CSomBitmap image(path.c_str(), 1);
    ASSERT_NE(nullptr, image.GetHandle());
    EXPECT_TRUE(image.HasAlpha());
    EXPECT_EQ(32, BitsPerPixel(image.GetHandle()));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 255, 255}), StoredPixel(image.GetHandle(), 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 127, 128}), StoredPixel(image.GetHandle(), 1, 0)) << "R 255 at A 128 is 127";
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), StoredPixel(image.GetHandle(), 2, 0));
}

TEST(PngDecoder, GreyWithoutAlphaBecomes24BitAndIsCopied) {
    const std::wstring path = Scratch(L"grey.png");
    ASSERT_TRUE(WriteTestPng(path, 5, 2, PNG_COLOR_TYPE_GRAY, 8, {{10, 20, 30, 40, 50}, {60, 70, 80, 90, 100}}));
    CSomBitmap image(path.c_str(), 1);
    ASSERT_NE(nullptr, image.GetHandle());
    EXPECT_FALSE(image.HasAlpha());
    EXPECT_EQ(24, BitsPerPixel(image.GetHandle()));
    EXPECT_EQ((std::vector<uint8_t>{70, 70, 70}), StoredPixel(image.GetHandle(), 1, 1)) << "rows padded to 4";

    PixelSurface surface(10, 4, RGB(1, 2, 3));
    image.Draw(surface.dc(), 2, 1, 0);
    EXPECT_EQ(RGB(10, 10, 10), surface.At(2, 1));
    EXPECT_EQ(RGB(100, 100, 100), surface.At(6, 2));
    EXPECT_EQ(RGB(1, 2, 3), surface.At(7, 2));
}

TEST(PngDecoder, LowBitGreyIsExpanded) {
    const std::wstring path = Scratch(L"grey1.png");
    ASSERT_TRUE(WriteTestPng(path, 8, 1, PNG_COLOR_TYPE_GRAY, 1, {{0xA0}}));
    CSomBitmap image(path.c_str(), 1);
    ASSERT_NE(nullptr, image.GetHandle());
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 255}), StoredPixel(image.GetHandle(), 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0}), StoredPixel(image.GetHandle(), 1, 0));
}

TEST(PngDecoder, SixteenBitRgbaIsStrippedAndPremultiplied) {
    const std::wstring path = Scratch(L"rgba16.png");
    // R 0xFFFF, G 0x8000, B 0x0000, A 0x8000.
    ASSERT_TRUE(WriteTestPng(path, 1, 1, PNG_COLOR_TYPE_RGBA, 16, {{0xFF, 0xFF, 0x80, 0x00, 0, 0, 0x80, 0x00}}));
    CSomBitmap image(path.c_str(), 1);
    ASSERT_NE(nullptr, image.GetHandle());
    EXPECT_EQ((std::vector<uint8_t>{0, 64, 127, 128}), StoredPixel(image.GetHandle(), 0, 0));
}

TEST(PngDecoder, RgbChannelsAreSwappedToBgr) {
    const std::wstring path = Scratch(L"rgb.png");
    ASSERT_TRUE(WriteTestPng(path, 1, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}}));
    CSomBitmap image(path.c_str(), 1);
    ASSERT_NE(nullptr, image.GetHandle());
    EXPECT_EQ((std::vector<uint8_t>{3, 2, 1}), StoredPixel(image.GetHandle(), 0, 0));
}

TEST(PngDecoder, BadDataYieldsNoBitmap) {
    const uint8_t notPng[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    EXPECT_EQ(nullptr, DecodePngToDib(notPng, sizeof(notPng)));
    EXPECT_EQ(nullptr, DecodePngToDib(nullptr, 0));

    const std::wstring path = Scratch(L"whole.png");
    ASSERT_TRUE(WriteTestPng(path, 4, 4, PNG_COLOR_TYPE_RGB, 8, std::vector<std::vector<uint8_t>>(4, std::vector<uint8_t>(12, 7))));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadFileBytes(path, bytes));
    // Cut inside the image data: reading past the end is a decoding error.
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(nullptr, DecodePngToDib(data, bytes.size() - 20));
    HBITMAP whole = DecodePngToDib(data, bytes.size());
    EXPECT_NE(nullptr, whole);
    ::DeleteObject(whole);
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    const auto be32 = [&png](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>((v >> shift) & 0xFF));
    };
    be32(static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

// A small file that announces a width x height RGBA picture: a valid header,
// the start of a data chunk, and nothing more.
std::string AnnouncedPng(uint32_t width, uint32_t height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    for (uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", std::string("\x78\x9c\x62\x00", 4));
    AppendChunk(png, "IEND", std::string());
    return png;
}

TEST(PngDecoder, ImagesBeyondTheSizeCapsAreRefused) {
    const struct {
        int width, height;
        bool decoded;
    } cases[] = {
        {4096, 1, true},     {4097, 1, false},    {1, 4096, true},     {1, 4097, false},
        {4096, 1024, true},  {4096, 1025, false}, {2048, 2048, true},  {2049, 2048, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::wstring path = Scratch(L"capped.png");
        ASSERT_TRUE(WriteTestPng(path, c.width, c.height, PNG_COLOR_TYPE_GRAY, 8,
                                 std::vector<std::vector<uint8_t>>(c.height, std::vector<uint8_t>(c.width, 9))));
        CSomBitmap image(path.c_str(), 1, 2);
        EXPECT_EQ(c.decoded, image.GetHandle() != nullptr);
        EXPECT_EQ(c.decoded ? c.width : 0, image.GetFrameWidth());
        ::DeleteFileW(path.c_str());
    }
}

TEST(PngDecoder, AHugeAnnouncedPictureIsRefusedFromItsHeader) {
    // A few dozen bytes that would ask for a bitmap of 64 MiB to 4 GiB.
    for (const auto& size : {std::make_pair(16384u, 16384u), std::make_pair(4096u, 4096u),
                             std::make_pair(1000000u, 1u), std::make_pair(32768u, 32768u)}) {
        SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second));
        EXPECT_FALSE(IsImageSizeAllowed(size.first, size.second));
        const std::string png = AnnouncedPng(size.first, size.second);
        EXPECT_EQ(nullptr, DecodePngToDib(reinterpret_cast<const uint8_t*>(png.data()), png.size()));
    }
    EXPECT_TRUE(IsImageSizeAllowed(kMaxImageSide, 1));
    EXPECT_TRUE(IsImageSizeAllowed(kMaxImageSide, kMaxImagePixels / kMaxImageSide));
    EXPECT_FALSE(IsImageSizeAllowed(kMaxImageSide, kMaxImagePixels / kMaxImageSide + 1));
    EXPECT_FALSE(IsImageSizeAllowed(0, 1));
    EXPECT_FALSE(IsImageSizeAllowed(1, 0));
}

TEST(SomBitmap, AnImageFileAboveFourMebibytesIsNotRead) {
    const std::wstring path = Scratch(L"padded.png");
    ASSERT_TRUE(WriteTestPng(path, 2, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6}}));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadFileBytes(path, bytes));
    // Bytes after the end of the image are ignored by the decoder: only the
    // file's size decides.
    bytes.resize(static_cast<size_t>(kMaxImageFileBytes), '\0');
    ASSERT_TRUE(testing_support::WriteFileBytes(path, bytes));
    EXPECT_EQ(2, CSomBitmap(path.c_str(), 1, 2).GetFrameWidth());
    bytes.push_back('\0');
    ASSERT_TRUE(testing_support::WriteFileBytes(path, bytes));
    EXPECT_EQ(0, CSomBitmap(path.c_str(), 1, 2).GetFrameWidth());
    ::DeleteFileW(path.c_str());
}

TEST(SomBitmap, PremultiplyTruncates) {
    uint8_t pixels[] = {255, 255, 255, 128, 9, 9, 9, 0, 200, 100, 50, 255};
    PremultiplyBgra(pixels, 3);
    EXPECT_EQ(127, pixels[2]);
    EXPECT_EQ(128, pixels[3]);
    EXPECT_EQ(0, pixels[4]);
    EXPECT_EQ(200, pixels[8]);
}

// A strip of 3 frames, 78 wide each, frame n filled with grey 50 * (n + 1).
std::wstring MakeStrip() {
    const std::wstring path = Scratch(L"strip.png");
    std::vector<std::vector<uint8_t>> rows(4);
    for (auto& row : rows) {
        for (int x = 0; x < 234; ++x) row.push_back(static_cast<uint8_t>(50 * (x / 78 + 1)));
    }
    WriteTestPng(path, 234, 4, PNG_COLOR_TYPE_GRAY, 8, rows);
    return path;
}

TEST(SomBitmap, FrameArithmeticAndFramesBeyondTheStrip) {
    const std::wstring path = MakeStrip();
    CSomBitmap strip(path.c_str(), 3);
    EXPECT_EQ(78, strip.GetFrameWidth());
    EXPECT_EQ(4, strip.GetHeight());
    PixelSurface surface(100, 10, RGB(1, 1, 1));
    strip.Draw(surface.dc(), 0, 0, 2);
    EXPECT_EQ(RGB(150, 150, 150), surface.At(0, 0)) << "frame 2 starts at x 156";
    EXPECT_EQ(RGB(150, 150, 150), surface.At(77, 3));
    EXPECT_EQ(RGB(1, 1, 1), surface.At(78, 0));

    PixelSurface beyond(100, 10, RGB(1, 1, 1));
    strip.Draw(beyond.dc(), 0, 0, 3);
    strip.DrawStretched(beyond.dc(), 0, 0, 90, 8, 3);
    EXPECT_EQ(RGB(1, 1, 1), beyond.At(0, 0));
    EXPECT_EQ(RGB(1, 1, 1), beyond.At(50, 5));
}

TEST(SomBitmap, HorizontalStretchKeepsTheHeight) {
    const std::wstring path = MakeStrip();
    CSomBitmap strip(path.c_str(), 3);
    PixelSurface surface(300, 10, RGB(1, 1, 1));
    strip.DrawHStretched(surface.dc(), 0, 0, 200, 1);
    EXPECT_EQ(RGB(100, 100, 100), surface.At(199, 3));
    EXPECT_EQ(RGB(1, 1, 1), surface.At(200, 3));
    EXPECT_EQ(RGB(1, 1, 1), surface.At(10, 4));
}

TEST(SomBitmap, MissingFileIsNeverRetried) {
    const std::wstring path = Scratch(L"appears-later.png");
    ::DeleteFileW(path.c_str());
    CSomBitmap image(path.c_str(), 1);
    PixelSurface surface(10, 10, RGB(1, 1, 1));
    image.Draw(surface.dc(), 0, 0, 0);
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_EQ(0, image.GetFrameWidth());
    EXPECT_EQ(0, image.GetHeight());
    EXPECT_FALSE(image.HasAlpha());
    ASSERT_TRUE(WriteTestPng(path, 2, 2, PNG_COLOR_TYPE_RGB, 8, {{9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 9}}));
    image.Draw(surface.dc(), 0, 0, 0);
    EXPECT_EQ(nullptr, image.GetHandle());
    EXPECT_EQ(RGB(1, 1, 1), surface.At(0, 0));
}

TEST(SomBitmap, ConstructionLoadsNothing) {
    CSomBitmap image(IDR_PNG_CLOSE, 3);
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(19, image.GetFrameWidth());
    EXPECT_TRUE(image.IsLoaded());
}

TEST(SomBitmap, AlphaImageIsBlendedOverTheTarget) {
    const std::wstring path = Scratch(L"blend.png");
    ASSERT_TRUE(WriteTestPng(path, 2, 1, PNG_COLOR_TYPE_RGBA, 8, {{255, 255, 255, 0, 255, 255, 255, 255}}));
    CSomBitmap image(path.c_str(), 1);
    PixelSurface surface(4, 1, RGB(40, 50, 60));
    image.Draw(surface.dc(), 0, 0, 0);
    EXPECT_EQ(RGB(40, 50, 60), surface.At(0, 0)) << "transparent pixel leaves the target";
    EXPECT_EQ(RGB(255, 255, 255), surface.At(1, 0));
}

// A 9 x 9 image whose every pixel is distinct, nine-part bounds 3/6/3/6.
std::wstring MakeNinePart() {
    const std::wstring path = Scratch(L"nine.png");
    std::vector<std::vector<uint8_t>> rows(9);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            rows[y].push_back(static_cast<uint8_t>(x * 20));
            rows[y].push_back(static_cast<uint8_t>(y * 20));
            rows[y].push_back(77);
        }
    }
    WriteTestPng(path, 9, 9, PNG_COLOR_TYPE_RGB, 8, rows);
    return path;
}

TEST(SomBitmap9Part, NaturalSizeReproducesTheFrame) {
    const std::wstring path = MakeNinePart();
    CSomBitmap plain(path.c_str(), 1);
    CSomBitmap9Part nine(path.c_str(), 3, 6, 3, 6);
    PixelSurface expected(12, 12, RGB(1, 1, 1));
    PixelSurface actual(12, 12, RGB(1, 1, 1));
    plain.Draw(expected.dc(), 1, 1, 0);
    nine.DrawStretched(actual.dc(), 1, 1, 9, 9, 0);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) ASSERT_EQ(expected.At(x, y), actual.At(x, y)) << x << "," << y;
    }
}

TEST(SomBitmap9Part, WidthOfBothEndsHasNoMiddleColumn) {
    const std::wstring path = MakeNinePart();
    CSomBitmap9Part nine(path.c_str(), 3, 6, 3, 6);
    PixelSurface surface(10, 12, RGB(1, 1, 1));
    nine.DrawStretched(surface.dc(), 0, 0, 6, 9, 0);  // L + (W - R) = 6
    EXPECT_EQ(RGB(40, 0, 77), surface.At(2, 0)) << "left column";
    EXPECT_EQ(RGB(120, 0, 77), surface.At(3, 0)) << "right column follows at once (source x 6)";
    EXPECT_EQ(RGB(1, 1, 1), surface.At(6, 0));
}

TEST(SomBitmap9Part, StretchesOnlyTheMiddle) {
    const std::wstring path = MakeNinePart();
    CSomBitmap9Part nine(path.c_str(), 3, 6, 3, 6);
    PixelSurface surface(40, 30, RGB(1, 1, 1));
    nine.DrawStretched(surface.dc(), 0, 0, 30, 20, 0);
    EXPECT_EQ(RGB(0, 0, 77), surface.At(0, 0));
    EXPECT_EQ(RGB(160, 160, 77), surface.At(29, 19)) << "bottom-right corner unscaled";
    EXPECT_EQ(RGB(1, 1, 1), surface.At(30, 19));
    PixelSurface none(10, 10, RGB(1, 1, 1));
    nine.DrawStretched(none.dc(), 0, 0, 0, 9, 0);
    EXPECT_EQ(RGB(1, 1, 1), none.At(0, 0));
}

}  // namespace
