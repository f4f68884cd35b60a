// What the fake GDI of the PNG target knows about the bitmaps it made.
#pragma once

#include <cstddef>
#include <cstdint>

struct FakeBitmapFacts {
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    int bitCount = 0;
    size_t bytes = 0;
};

// The bitmap behind a handle from CreateDIBSection.
FakeBitmapFacts FakeBitmapFactsOf(const void* bitmap);
// Bitmaps created and not yet deleted.
int FakeBitmapsAlive();
