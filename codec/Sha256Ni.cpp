#include "codec/Sha256Ni.h"

#include "codec/Sha256Constants.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VORLA_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#include <atomic>

namespace {

std::atomic<bool> g_extensionsAllowed{true};

}  // namespace

void SetShaExtensionsAllowed(bool allowed) { g_extensionsAllowed = allowed; }

#ifdef VORLA_SHA_NI

namespace {

bool Detect() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    const bool sha = (b & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

}  // namespace

bool Sha256NiAvailable() {
    static const bool available = Detect();
    return available && g_extensionsAllowed;
}

__attribute__((target("sha,sse4.1,ssse3"))) void Sha256NiBlocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
    // The instructions keep the state as ABEF and CDGH.
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);
    state1 = _mm_shuffle_epi32(state1, 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);
    // Message words are big-endian.
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i savedAbef = state0, savedCdgh = state1;
        __m128i w[4];
        for (int k = 0; k < 4; ++k)
            w[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * k)), byteOrder);
        // Sixteen groups of four rounds; the schedule computes each group's
        // words (in w[g % 4]) a few groups ahead.
        for (int g = 0; g < 16; ++g) {
            __m128i& current = w[g % 4];
            __m128i message = _mm_add_epi32(current, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256Round + 4 * g)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            if (g >= 3 && g <= 14) {
                __m128i& next = w[(g + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[(g + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
            if (g >= 1 && g <= 12) {
                __m128i& previous = w[(g + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, current);
            }
        }
        state0 = _mm_add_epi32(state0, savedAbef);
        state1 = _mm_add_epi32(state1, savedCdgh);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

#else

bool Sha256NiAvailable() { return false; }
void Sha256NiBlocks(uint32_t*, const uint8_t*, size_t) {}

#endif
