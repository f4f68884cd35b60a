// SHA-256 blocks with the x86 SHA extensions, where the processor has them:
// several times the speed of the portable rounds, so that hashing a large
// installer keeps up with the disk. Elsewhere Available() is false.
#pragma once

#include <cstddef>
#include <cstdint>

// True when this build and this processor can run Sha256NiBlocks.
bool Sha256NiAvailable();

// Whether the extensions may be used at all (default true), for SHA-1 and
// SHA-256 alike: tests turn them off to check the portable rounds on a
// processor that has them.
void SetShaExtensionsAllowed(bool allowed);

// Runs the compression function over `blocks` 64-byte blocks.
void Sha256NiBlocks(uint32_t state[8], const uint8_t* data, size_t blocks);
