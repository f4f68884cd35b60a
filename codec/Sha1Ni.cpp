#include "codec/Sha1Ni.h"

#include "codec/Sha256Ni.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VORLA_SHA_NI 1
#include <immintrin.h>
#endif

#ifdef VORLA_SHA_NI

bool Sha1NiAvailable() { return Sha256NiAvailable(); }

namespace {

// Four rounds with the function and constant of group g (the instruction
// takes them as an immediate).
__attribute__((target("sha,sse4.1,ssse3"))) inline __m128i FourRounds(__m128i abcd, __m128i e, int group) {
    switch (group / 5) {
        case 0: return _mm_sha1rnds4_epu32(abcd, e, 0);
        case 1: return _mm_sha1rnds4_epu32(abcd, e, 1);
        case 2: return _mm_sha1rnds4_epu32(abcd, e, 2);
        default: return _mm_sha1rnds4_epu32(abcd, e, 3);
    }
}

}  // namespace

__attribute__((target("sha,sse4.1,ssse3"))) void Sha1NiBlocks(uint32_t state[5], const uint8_t* data, size_t blocks) {
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e[2] = {_mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0), _mm_setzero_si128()};
    // Message words are big-endian.
    const __m128i byteOrder = _mm_set_epi64x(0x0001020304050607ULL, 0x08090a0b0c0d0e0fULL);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i savedAbcd = abcd, savedE = e[0];
        __m128i m[4];
        for (int k = 0; k < 4; ++k)
            m[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k)), byteOrder);
        // Twenty groups of four rounds; the schedule computes each group's
        // words (in m[g % 4]) a few groups ahead.
        for (int g = 0; g < 20; ++g) {
            __m128i& current = m[g % 4];
            __m128i& ei = e[g % 2];
            if (g == 0) {
                ei = _mm_add_epi32(ei, current);
            } else {
                ei = _mm_sha1nexte_epu32(ei, current);
            }
            e[(g + 1) % 2] = abcd;
            if (g >= 3 && g <= 18) m[(g + 1) % 4] = _mm_sha1msg2_epu32(m[(g + 1) % 4], current);
            abcd = FourRounds(abcd, ei, g);
            if (g >= 1 && g <= 16) m[(g + 3) % 4] = _mm_sha1msg1_epu32(m[(g + 3) % 4], current);
            if (g >= 2 && g <= 17) m[(g + 2) % 4] = _mm_xor_si128(m[(g + 2) % 4], current);
        }
        e[0] = _mm_sha1nexte_epu32(e[0], savedE);
        abcd = _mm_add_epi32(abcd, savedAbcd);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e[0], 3));
}

#else

bool Sha1NiAvailable() { return false; }
void Sha1NiBlocks(uint32_t*, const uint8_t*, size_t) {}

#endif
