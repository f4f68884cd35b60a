#include "ui/PngDecoder.h"

#include <png.h>

#include <csetjmp>

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (!reader || length > reader->size - reader->offset) {
        png_error(png, "read past the end of the data");
        return;
    }
    for (png_size_t i = 0; i < length; ++i) out[i] = reader->data[reader->offset + i];
    reader->offset += length;
}

void IgnoreWarning(png_structp, png_const_charp) {}

void ErrorToJump(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Everything that must survive a longjmp lives in this plain struct, and the
// decoding function holds no object with a destructor.
struct DecodeState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    HBITMAP bitmap = nullptr;
    png_bytep* rows = nullptr;
};

HBITMAP Decode(DecodeState& state, MemoryReader& reader) {
    if (setjmp(png_jmpbuf(state.png))) {
        if (state.bitmap) ::DeleteObject(state.bitmap);
        state.bitmap = nullptr;
        return nullptr;
    }
    png_set_read_fn(state.png, &reader, &ReadFromMemory);
    // The library refuses larger sides itself, while reading the header.
    png_set_user_limits(state.png, kMaxImageSide, kMaxImageSide);
    png_read_info(state.png, state.info);
    if (!IsImageSizeAllowed(png_get_image_width(state.png, state.info), png_get_image_height(state.png, state.info))) {
        return nullptr;
    }

    const png_byte colourType = png_get_color_type(state.png, state.info);
    const png_byte bitDepth = png_get_bit_depth(state.png, state.info);
    if (bitDepth == 16) png_set_strip_16(state.png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(state.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(state.png);
    if (png_get_valid(state.png, state.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(state.png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(state.png);
    }
    if (colourType & PNG_COLOR_MASK_COLOR) png_set_bgr(state.png);
    png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);

    const png_uint_32 width = png_get_image_width(state.png, state.info);
    const png_uint_32 height = png_get_image_height(state.png, state.info);
    const int channels = png_get_channels(state.png, state.info);
    if (!IsImageSizeAllowed(width, height) || (channels != 3 && channels != 4)) return nullptr;
    const size_t stride = (static_cast<size_t>(channels) * width + 3) & ~static_cast<size_t>(3);

    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = static_cast<LONG>(width);
    bmi.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = static_cast<WORD>(8 * channels);
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    state.bitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!state.bitmap || !bits) {
        state.bitmap = nullptr;
        return nullptr;
    }
    auto* base = static_cast<uint8_t*>(bits);
    state.rows = static_cast<png_bytep*>(png_malloc(state.png, sizeof(png_bytep) * height));
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = base + stride * y;
    png_read_image(state.png, state.rows);
    png_read_end(state.png, nullptr);

    if (channels == 4) PremultiplyBgra(base, static_cast<size_t>(width) * height);
    ::GdiFlush();
    HBITMAP result = state.bitmap;
    state.bitmap = nullptr;
    return result;
}

}  // namespace

bool IsImageSizeAllowed(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
    return static_cast<uint64_t>(width) * height <= kMaxImagePixels;
}

void PremultiplyBgra(uint8_t* pixels, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i) {
        uint8_t* p = pixels + 4 * i;
        const unsigned alpha = p[3];
        if (alpha == 255) continue;  // opaque pixels keep their exact colour
        // Scaled by A / 256, truncating: 255 at alpha 128 becomes 127, and
        // alpha 0 gives 0.
        p[0] = static_cast<uint8_t>((p[0] * alpha) >> 8);
        p[1] = static_cast<uint8_t>((p[1] * alpha) >> 8);
        p[2] = static_cast<uint8_t>((p[2] * alpha) >> 8);
    }
}

HBITMAP DecodePngToDib(const uint8_t* data, size_t size) {
    if (!data || size < 8 || png_sig_cmp(const_cast<png_bytep>(data), 0, 8) != 0) return nullptr;
    DecodeState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &ErrorToJump, &IgnoreWarning);
    if (!state.png) return nullptr;
    state.info = png_create_info_struct(state.png);
    HBITMAP bitmap = nullptr;
    if (state.info) {
        MemoryReader reader{data, size, 0};
        bitmap = Decode(state, reader);
    }
    if (state.rows) png_free(state.png, state.rows);
    png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
    return bitmap;
}
