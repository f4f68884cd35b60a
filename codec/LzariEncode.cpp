#include "codec/Lzari.h"

#include "codec/LzariModel.h"

#include <memory>

using namespace lzari;

namespace {

const int kNil = kRingSize;  // "no node" in the match trees

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Bit(uint32_t bit) {
        if (bit) current_ |= mask_;
        mask_ >>= 1;
        if (mask_ == 0) Flush();
    }
    // Pads the last byte with zero bits.
    void Finish() {
        if (mask_ != 0x80) Flush();
    }

private:
    void Flush() {
        out_.push_back(current_);
        current_ = 0;
        mask_ = 0x80;
    }
    std::vector<uint8_t>& out_;
    uint8_t current_ = 0;
    uint8_t mask_ = 0x80;
};

// The arithmetic coder: the mirror image of the decoder's renormalisation.
class Coder {
public:
    explicit Coder(std::vector<uint8_t>& out) : out_(out) {}

    void Char(int ch) {
        const int sym = model_.charToSym[ch];
        Narrow(model_.symCum[sym - 1], model_.symCum[sym], model_.symCum[0]);
        model_.Update(sym);
    }

    void Position(int position) {
        Narrow(model_.positionCum[position], model_.positionCum[position + 1], model_.positionCum[0]);
    }

    // Two more bits pin a value inside the final interval whatever follows.
    // The zero bits after them fill the decoder's lookahead: it reads
    // kCodeBits + 2 bits beyond its last renormalisation, and finding all of
    // them in the stream is how it tells a complete stream from a cut one.
    void Finish() {
        ++pendingBits_;
        Output(low_ < kQ1 ? 0 : 1);
        for (uint32_t i = 0; i < kCodeBits; ++i) out_.Bit(0);
        out_.Finish();
    }

private:
    void Narrow(uint64_t upper, uint64_t lower, uint64_t total) {
        const uint64_t range = high_ - low_;
        high_ = low_ + range * upper / total;
        low_ += range * lower / total;
        for (;;) {
            if (high_ <= kQ2) {
                Output(0);
            } else if (low_ >= kQ2) {
                Output(1);
                low_ -= kQ2;
                high_ -= kQ2;
            } else if (low_ >= kQ1 && high_ <= kQ3) {
                ++pendingBits_;
                low_ -= kQ1;
                high_ -= kQ1;
            } else {
                break;
            }
            low_ += low_;
            high_ += high_;
        }
    }

    // One bit, then the deferred opposite bits of straddling steps.
    void Output(uint32_t bit) {
        out_.Bit(bit);
        for (; pendingBits_ > 0; --pendingBits_) out_.Bit(!bit);
    }

    BitWriter out_;
    Model model_;
    uint64_t low_ = 0;
    uint64_t high_ = kQ4;
    int pendingBits_ = 0;
};

// Binary search trees over the ring buffer, one per first byte, finding the
// longest (then nearest) earlier match of the text at a ring position.
class MatchFinder {
public:
    MatchFinder() {
        for (int i = kRingSize + 1; i <= kRingSize + 256; ++i) right_[i] = kNil;
        for (int i = 0; i < kRingSize; ++i) parent_[i] = kNil;
    }

    // The ring has kLongestMatch - 1 extra bytes mirroring its start, so a
    // key read from any position runs kLongestMatch bytes without wrapping.
    uint8_t text[kRingSize + kLongestMatch - 1] = {};
    int matchLength = 0;
    int matchDistance = 0;  // 1 .. kRingSize - 1, back from the inserted position

    void Insert(int r) {
        int cmp = 1;
        const uint8_t* key = &text[r];
        int p = kRingSize + 1 + key[0];
        right_[r] = left_[r] = kNil;
        matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (right_[p] != kNil) {
                    p = right_[p];
                } else {
                    right_[p] = r;
                    parent_[r] = p;
                    return;
                }
            } else {
                if (left_[p] != kNil) {
                    p = left_[p];
                } else {
                    left_[p] = r;
                    parent_[r] = p;
                    return;
                }
            }
            int i = 1;
            for (; i < kLongestMatch; ++i) {
                if ((cmp = key[i] - text[p + i]) != 0) break;
            }
            if (i > kThreshold) {
                const int distance = (r - p) & (kRingSize - 1);
                if (i > matchLength) {
                    matchDistance = distance;
                    if ((matchLength = i) >= kLongestMatch) break;
                } else if (i == matchLength && distance < matchDistance) {
                    matchDistance = distance;
                }
            }
        }
        // A full-length match: r replaces p in the tree.
        parent_[r] = parent_[p];
        left_[r] = left_[p];
        right_[r] = right_[p];
        parent_[left_[p]] = r;
        parent_[right_[p]] = r;
        if (right_[parent_[p]] == p) right_[parent_[p]] = r; else left_[parent_[p]] = r;
        parent_[p] = kNil;
    }

    void Delete(int p) {
        if (parent_[p] == kNil) return;
        int q;
        if (right_[p] == kNil) {
            q = left_[p];
        } else if (left_[p] == kNil) {
            q = right_[p];
        } else {
            q = left_[p];
            if (right_[q] != kNil) {
                do { q = right_[q]; } while (right_[q] != kNil);
                right_[parent_[q]] = left_[q];
                parent_[left_[q]] = parent_[q];
                left_[q] = left_[p];
                parent_[left_[p]] = q;
            }
            right_[q] = right_[p];
            parent_[right_[p]] = q;
        }
        parent_[q] = parent_[p];
        if (right_[parent_[p]] == p) right_[parent_[p]] = q; else left_[parent_[p]] = q;
        parent_[p] = kNil;
    }

private:
    // Nodes 0 .. kRingSize - 1 are ring positions, kRingSize is nil, and
    // kRingSize + 1 + c is the root of the tree of keys starting with c.
    int left_[kRingSize + 1] = {};
    int right_[kRingSize + 257] = {};
    int parent_[kRingSize + 1] = {};
};

}  // namespace

bool LzariEncode(const uint8_t* input, size_t inputSize, std::vector<uint8_t>& stored) {
    stored.clear();
    if (inputSize > 0xFFFFFFFFu || (inputSize > 0 && !input)) return false;
    const uint32_t n = static_cast<uint32_t>(inputSize);
    stored = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
              static_cast<uint8_t>(n >> 24)};
    if (n == 0) return true;

    auto coder = std::make_unique<Coder>(stored);
    auto finder = std::make_unique<MatchFinder>();
    uint8_t* text = finder->text;
    size_t next = 0;  // next input byte to enter the ring
    int s = 0;
    int r = kRingStart;
    for (int i = s; i < r; ++i) text[i] = ' ';
    int len = 0;
    for (; len < kLongestMatch && next < inputSize; ++len) text[r + len] = input[next++];
    for (int i = 1; i <= kLongestMatch; ++i) finder->Insert(r - i);
    finder->Insert(r);
    do {
        if (finder->matchLength > len) finder->matchLength = len;
        int sent;
        if (finder->matchLength <= kThreshold) {
            sent = 1;
            coder->Char(text[r]);
        } else {
            sent = finder->matchLength;
            coder->Char(255 - kThreshold + sent);
            coder->Position(finder->matchDistance - 1);
        }
        int i = 0;
        for (; i < sent && next < inputSize; ++i) {
            finder->Delete(s);
            const uint8_t c = input[next++];
            text[s] = c;
            if (s < kLongestMatch - 1) text[s + kRingSize] = c;
            s = (s + 1) & (kRingSize - 1);
            r = (r + 1) & (kRingSize - 1);
            finder->Insert(r);
        }
        for (; i < sent; ++i) {
            finder->Delete(s);
            s = (s + 1) & (kRingSize - 1);
            r = (r + 1) & (kRingSize - 1);
            if (--len) finder->Insert(r);
        }
    } while (len > 0);
    coder->Finish();
    return true;
}
