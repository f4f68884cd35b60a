#include "p2sp/swarm/Bencode.h"

#include <set>

namespace {

class Decoder {
public:
    Decoder(const uint8_t* data, size_t size, const BencodeLimits& limits)
        : data_(data), size_(size), limits_(limits) {}

    BencodeError Value(BencodeValue* out, int depth) {
        if (++values_ > limits_.maxValues) return BencodeError::kTooManyValues;
        if (pos_ >= size_) return BencodeError::kTruncated;
        out->begin = pos_;
        const uint8_t c = data_[pos_];
        BencodeError error;
        if (c == 'i') {
            out->kind = BencodeValue::Kind::kInteger;
            ++pos_;
            error = Integer('e', &out->integer);
        } else if (c >= '0' && c <= '9') {
            out->kind = BencodeValue::Kind::kString;
            error = String(&out->text);
        } else if (c == 'l') {
            out->kind = BencodeValue::Kind::kList;
            error = List(out, depth);
        } else if (c == 'd') {
            out->kind = BencodeValue::Kind::kDictionary;
            error = Dictionary(out, depth);
        } else {
            return BencodeError::kBadSyntax;
        }
        out->end = pos_;
        return error;
    }

    size_t Position() const { return pos_; }

private:
    // Digits up to `terminator`, canonical form only.
    BencodeError Integer(char terminator, int64_t* out) {
        bool negative = false;
        if (pos_ < size_ && data_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        const size_t first = pos_;
        uint64_t magnitude = 0;
        const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
        while (pos_ < size_ && data_[pos_] >= '0' && data_[pos_] <= '9') {
            const uint64_t digit = data_[pos_] - '0';
            if (magnitude > (limit - digit) / 10) return BencodeError::kBadInteger;
            magnitude = magnitude * 10 + digit;
            ++pos_;
        }
        if (pos_ >= size_) return BencodeError::kTruncated;
        const size_t digits = pos_ - first;
        if (data_[pos_] != uint8_t(terminator) || digits == 0) return BencodeError::kBadInteger;
        if (data_[first] == '0' && (digits > 1 || negative)) return BencodeError::kBadInteger;
        ++pos_;
        *out = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
        return BencodeError::kNone;
    }

    BencodeError String(std::string* out) {
        int64_t length = 0;
        BencodeError error = Integer(':', &length);
        if (error == BencodeError::kTruncated) return error;
        if (error != BencodeError::kNone || length < 0) return BencodeError::kBadLength;
        if (uint64_t(length) > size_ - pos_) return BencodeError::kBadLength;
        out->assign(reinterpret_cast<const char*>(data_ + pos_), size_t(length));
        pos_ += size_t(length);
        return BencodeError::kNone;
    }

    BencodeError List(BencodeValue* out, int depth) {
        if (depth + 1 > limits_.maxDepth) return BencodeError::kTooDeep;
        ++pos_;
        for (;;) {
            if (pos_ >= size_) return BencodeError::kTruncated;
            if (data_[pos_] == 'e') {
                ++pos_;
                return BencodeError::kNone;
            }
            out->items.emplace_back();
            BencodeError error = Value(&out->items.back(), depth + 1);
            if (error != BencodeError::kNone) return error;
        }
    }

    BencodeError Dictionary(BencodeValue* out, int depth) {
        if (depth + 1 > limits_.maxDepth) return BencodeError::kTooDeep;
        ++pos_;
        std::set<std::string> seen;  // a linear search per key would be quadratic
        for (;;) {
            if (pos_ >= size_) return BencodeError::kTruncated;
            if (data_[pos_] == 'e') {
                ++pos_;
                return BencodeError::kNone;
            }
            if (data_[pos_] < '0' || data_[pos_] > '9') return BencodeError::kBadKey;
            if (++values_ > limits_.maxValues) return BencodeError::kTooManyValues;
            std::string key;
            BencodeError error = String(&key);
            if (error != BencodeError::kNone) return error;
            if (!seen.insert(key).second) return BencodeError::kBadKey;
            out->entries.emplace_back(std::move(key), BencodeValue());
            error = Value(&out->entries.back().second, depth + 1);
            if (error != BencodeError::kNone) return error;
        }
    }

    const uint8_t* data_;
    size_t size_;
    const BencodeLimits& limits_;
    size_t pos_ = 0;
    size_t values_ = 0;
};

}  // namespace

const char* BencodeErrorName(BencodeError error) {
    switch (error) {
    case BencodeError::kNone: return "none";
    case BencodeError::kTruncated: return "truncated";
    case BencodeError::kBadSyntax: return "bad syntax";
    case BencodeError::kBadInteger: return "bad integer";
    case BencodeError::kBadLength: return "bad string length";
    case BencodeError::kTooDeep: return "nested too deep";
    case BencodeError::kTooManyValues: return "too many values";
    case BencodeError::kBadKey: return "bad dictionary key";
    case BencodeError::kTrailingBytes: return "trailing bytes";
    }
    return nullptr;
}

const BencodeValue* BencodeValue::Find(const std::string& key) const {
    if (kind != Kind::kDictionary) return nullptr;
    for (const auto& entry : entries)
        if (entry.first == key) return &entry.second;
    return nullptr;
}

BencodeError DecodeBencodePrefix(const uint8_t* data, size_t size, BencodeValue* out, size_t* used,
                                 const BencodeLimits& limits) {
    *out = BencodeValue();
    Decoder decoder(data, size, limits);
    BencodeError error = decoder.Value(out, 0);
    *used = decoder.Position();
    if (error != BencodeError::kNone) *out = BencodeValue();
    return error;
}

BencodeError DecodeBencode(const uint8_t* data, size_t size, BencodeValue* out, const BencodeLimits& limits) {
    size_t used = 0;
    BencodeError error = DecodeBencodePrefix(data, size, out, &used, limits);
    if (error == BencodeError::kNone && used != size) {
        *out = BencodeValue();
        return BencodeError::kTrailingBytes;
    }
    return error;
}
