// The parts of LZARI that encoder and decoder must share bit for bit: the
// constants, the adaptive model of the 314 character/length symbols, and the
// fixed model of match positions. Internal to Lzari*.cpp.
#pragma once

#include <cstdint>

namespace lzari {

const int kRingSize = 4096;          // N: ring buffer of past output
const int kLongestMatch = 60;        // F
const int kThreshold = 2;            // matches of this length or less are sent as characters
const int kRingStart = kRingSize - kLongestMatch;  // 4036: spaces before it, output from it
const int kSymbols = 256 - kThreshold + kLongestMatch;  // 314: 256 characters, then lengths 3..60

// 15-bit coder: the interval lives in [0, 4 * 2^15).
const uint32_t kCodeBits = 15;
const uint32_t kQ1 = 1u << kCodeBits;
const uint32_t kQ2 = 2 * kQ1;
const uint32_t kQ3 = 3 * kQ1;
const uint32_t kQ4 = 4 * kQ1;
const uint32_t kMaxCumulative = kQ1 - 1;

// Symbol frequencies sorted in descending order, with cumulative sums from
// the top: symCum[sym - 1] .. symCum[sym] is the slice of symbol sym, and
// symCum[0] is the total. Symbols are 1-based; symFreq[0] is a 0 sentinel.
class Model {
public:
    Model() {
        symCum[kSymbols] = 0;
        for (int sym = kSymbols; sym >= 1; --sym) {
            const int ch = sym - 1;
            charToSym[ch] = sym;
            symToChar[sym] = ch;
            symFreq[sym] = 1;
            symCum[sym - 1] = symCum[sym] + symFreq[sym];
        }
        symFreq[0] = 0;
        // Positions: a fixed distribution favouring near matches.
        positionCum[kRingSize] = 0;
        for (int i = kRingSize; i >= 1; --i) positionCum[i - 1] = positionCum[i] + 10000 / (i + 200);
    }

    // Counts one more occurrence of sym, halving every count when the total
    // reaches kMaxCumulative, and keeps the order by moving sym up past
    // symbols of equal frequency.
    void Update(int sym) {
        if (symCum[0] >= kMaxCumulative) {
            uint32_t c = 0;
            for (int i = kSymbols; i > 0; --i) {
                symCum[i] = c;
                c += (symFreq[i] = (symFreq[i] + 1) >> 1);
            }
            symCum[0] = c;
        }
        int i = sym;
        while (symFreq[i] == symFreq[i - 1]) --i;
        if (i < sym) {
            const int chI = symToChar[i];
            const int chSym = symToChar[sym];
            symToChar[i] = chSym;
            symToChar[sym] = chI;
            charToSym[chI] = sym;
            charToSym[chSym] = i;
        }
        ++symFreq[i];
        while (--i >= 0) ++symCum[i];
    }

    // The symbol whose slice holds x: 1 when x >= symCum[1], else the i with
    // symCum[i - 1] > x >= symCum[i].
    int FindSymbol(uint32_t x) const {
        int i = 1, j = kSymbols;
        while (i < j) {
            const int k = (i + j) / 2;
            if (symCum[k] > x) i = k + 1; else j = k;
        }
        return i;
    }

    // The position whose slice holds x: the i with positionCum[i] > x >=
    // positionCum[i + 1], 0 .. kRingSize - 1.
    int FindPosition(uint32_t x) const {
        int i = 1, j = kRingSize;
        while (i < j) {
            const int k = (i + j) / 2;
            if (positionCum[k] > x) i = k + 1; else j = k;
        }
        return i - 1;
    }

    int charToSym[kSymbols];
    int symToChar[kSymbols + 1];
    uint32_t symFreq[kSymbols + 1];
    uint32_t symCum[kSymbols + 1];
    uint32_t positionCum[kRingSize + 1];
};

}  // namespace lzari
