// PNG decoding from memory into a top-down DIB section: 32 bits per pixel
// (B, G, R, A, premultiplied) when the image has alpha or a transparency
// chunk, else 24 bits per pixel (B, G, R, rows padded to 4 bytes).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Largest image decoded, by side and by pixel count. No skin image comes
// near them (the largest is a 680 x 420 background), while a small file may
// announce a picture whose bitmap would take gigabytes.
const uint32_t kMaxImageSide = 4096;
const uint64_t kMaxImagePixels = 4096ULL * 1024;  // 16 MiB at 32 bits a pixel

// Returns null for anything that is not a complete, valid PNG, and for an
// image beyond the limits above (refused from its header, before any bitmap
// is made).
HBITMAP DecodePngToDib(const uint8_t* data, size_t size);

// Whether an image of width x height pixels is within the limits above.
bool IsImageSizeAllowed(uint32_t width, uint32_t height);

// B, G, R scaled by alpha in place (truncating; opaque pixels unchanged),
// A unchanged.
void PremultiplyBgra(uint8_t* pixels, size_t pixelCount);
