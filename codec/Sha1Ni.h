// SHA-1 blocks with the x86 SHA extensions, where the processor has them
// (the same feature as Sha256Ni.h). Elsewhere Available() is false.
#pragma once

#include <cstddef>
#include <cstdint>

bool Sha1NiAvailable();

// Runs the compression function over `blocks` 64-byte blocks.
void Sha1NiBlocks(uint32_t state[5], const uint8_t* data, size_t blocks);
