// A bounded decoder for bencoded data (integers, byte strings, lists and
// dictionaries). Every value remembers where its bytes lie in the input, so
// a caller can hash a dictionary exactly as it was sent. No platform code.
//
// Limits refuse hostile input before it costs anything: nesting depth, the
// number of values, string lengths (never past the input), integers that do
// not fit 64 bits or are written in a non-canonical way ("-0", "03").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct BencodeLimits {
    int maxDepth = 32;
    size_t maxValues = 1u << 16;  // each costs about 150 bytes decoded
};

enum class BencodeError {
    kNone = 0,
    kTruncated,      // the input ends inside a value
    kBadSyntax,      // a byte where no value may start, a missing 'e' or ':'
    kBadInteger,     // empty, leading zero, "-0", or does not fit 64 bits
    kBadLength,      // a string length that is malformed or runs past the input
    kTooDeep,
    kTooManyValues,
    kBadKey,         // a dictionary key that is not a string, or repeats
    kTrailingBytes,  // bytes after the top-level value
};
const char* BencodeErrorName(BencodeError error);

struct BencodeValue {
    enum class Kind { kInteger, kString, kList, kDictionary };
    Kind kind = Kind::kInteger;
    int64_t integer = 0;
    std::string text;                                         // kString
    std::vector<BencodeValue> items;                          // kList
    std::vector<std::pair<std::string, BencodeValue>> entries;  // kDictionary, input order
    size_t begin = 0;  // the value's first byte in the input
    size_t end = 0;    // one past its last byte

    bool IsInteger() const { return kind == Kind::kInteger; }
    bool IsString() const { return kind == Kind::kString; }
    bool IsList() const { return kind == Kind::kList; }
    bool IsDictionary() const { return kind == Kind::kDictionary; }
    // The entry named `key` of a dictionary; null when absent or not a dictionary.
    const BencodeValue* Find(const std::string& key) const;
};

// Decodes exactly one value that fills `data` entirely.
BencodeError DecodeBencode(const uint8_t* data, size_t size, BencodeValue* out,
                           const BencodeLimits& limits = BencodeLimits());
// Decodes one value at the start of `data`; `*used` tells where it ended.
BencodeError DecodeBencodePrefix(const uint8_t* data, size_t size, BencodeValue* out, size_t* used,
                                 const BencodeLimits& limits = BencodeLimits());
