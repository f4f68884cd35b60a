// PNG decoding from memory into a top-down DIB section: 32 bits per pixel
// (B, G, R, A, premultiplied) when the image has alpha or a transparency
// chunk, else 24 bits per pixel (B, G, R, rows padded to 4 bytes).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Returns null for anything that is not a complete, valid PNG.
HBITMAP DecodePngToDib(const uint8_t* data, size_t size);

// B, G, R scaled by alpha in place (truncating; opaque pixels unchanged),
// A unchanged.
void PremultiplyBgra(uint8_t* pixels, size_t pixelCount);
