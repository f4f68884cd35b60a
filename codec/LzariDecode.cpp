#include "codec/Lzari.h"

#include "codec/LzariModel.h"

#include <memory>

using namespace lzari;

namespace {

// The decoder holds kCodeBits + 2 bits of the stream ahead of the symbol it
// decodes. The encoder ends a stream with the 2 bits that pin the final
// interval followed by kCodeBits zero bits, so every bit a decoder reads from
// a complete stream is in it: a bit asked for past the end means the stream
// was cut short, whichever byte it lacks.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Past the end it yields 0 and marks the stream as cut short.
    uint32_t Bit() {
        if (mask_ == 0) {
            if (next_ < size_) {
                current_ = data_[next_++];
            } else {
                current_ = 0;
                cutShort_ = true;
            }
            mask_ = 0x80;
        }
        const uint32_t bit = (current_ & mask_) ? 1 : 0;
        mask_ >>= 1;
        return bit;
    }

    bool CutShort() const { return cutShort_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t next_ = 0;
    uint32_t current_ = 0;
    uint32_t mask_ = 0;
    bool cutShort_ = false;
};

class Decoder {
public:
    Decoder(const uint8_t* stream, size_t size) : in_(stream, size) {
        for (uint32_t i = 0; i < kCodeBits + 2; ++i) value_ = 2 * value_ + in_.Bit();
    }

    // Each returns -1 when the stream is cut short or inconsistent.
    int Char() {
        if (!InInterval()) return -1;
        const uint64_t range = high_ - low_;
        const uint64_t total = model_.symCum[0];
        const int sym = model_.FindSymbol(static_cast<uint32_t>(((value_ - low_ + 1) * total - 1) / range));
        high_ = low_ + range * model_.symCum[sym - 1] / total;
        low_ += range * model_.symCum[sym] / total;
        Renormalise();
        const int ch = model_.symToChar[sym];
        model_.Update(sym);
        return in_.CutShort() ? -1 : ch;
    }

    int Position() {
        if (!InInterval()) return -1;
        const uint64_t range = high_ - low_;
        const uint64_t total = model_.positionCum[0];
        const int position =
            model_.FindPosition(static_cast<uint32_t>(((value_ - low_ + 1) * total - 1) / range));
        high_ = low_ + range * model_.positionCum[position] / total;
        low_ += range * model_.positionCum[position + 1] / total;
        Renormalise();
        return in_.CutShort() ? -1 : position;
    }

private:
    // Holds for every input; checked so that no arithmetic below can wrap.
    bool InInterval() const { return low_ <= value_ && value_ < high_ && high_ <= kQ4; }

    void Renormalise() {
        for (;;) {
            if (low_ >= kQ2) {
                value_ -= kQ2;
                low_ -= kQ2;
                high_ -= kQ2;
            } else if (low_ >= kQ1 && high_ <= kQ3) {
                value_ -= kQ1;
                low_ -= kQ1;
                high_ -= kQ1;
            } else if (high_ > kQ2) {
                break;
            }
            low_ += low_;
            high_ += high_;
            value_ = 2 * value_ + in_.Bit();
        }
    }

    BitReader in_;
    Model model_;
    uint64_t low_ = 0;
    uint64_t high_ = kQ4;
    uint64_t value_ = 0;
};

}  // namespace

bool LzariDecode(const uint8_t* stored, size_t storedSize, uint8_t* output, size_t outputCapacity,
                 size_t* decodedLength) {
    if (decodedLength) *decodedLength = 0;
    if (!stored || storedSize < kLzariHeaderBytes) return false;
    const size_t n = static_cast<size_t>(stored[0]) | static_cast<size_t>(stored[1]) << 8 |
                     static_cast<size_t>(stored[2]) << 16 | static_cast<size_t>(stored[3]) << 24;
    if (n > outputCapacity) return false;
    if (n > 0 && !output) return false;

    if (n > 0) {
        auto decoder = std::make_unique<Decoder>(stored + kLzariHeaderBytes, storedSize - kLzariHeaderBytes);
        // Spaces before the first write position; the rest starts as zero.
        uint8_t ring[kRingSize] = {};
        for (int i = 0; i < kRingStart; ++i) ring[i] = ' ';
        int r = kRingStart;
        size_t count = 0;
        while (count < n) {
            const int c = decoder->Char();
            if (c < 0) return false;
            if (c < 256) {
                output[count++] = static_cast<uint8_t>(c);
                ring[r] = static_cast<uint8_t>(c);
                r = (r + 1) & (kRingSize - 1);
                continue;
            }
            const int position = decoder->Position();
            if (position < 0) return false;
            const int from = (r - position - 1) & (kRingSize - 1);
            const size_t length = static_cast<size_t>(c - 255 + kThreshold);
            // The encoder never matches past the end; such a stream is corrupt.
            if (length > n - count) return false;
            for (size_t k = 0; k < length; ++k) {
                const uint8_t byte = ring[(from + static_cast<int>(k)) & (kRingSize - 1)];
                output[count++] = byte;
                ring[r] = byte;
                r = (r + 1) & (kRingSize - 1);
            }
        }
    }
    if (decodedLength) *decodedLength = n;
    return true;
}
