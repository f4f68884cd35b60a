// BitTorrent's bencoding (BEP 3): integers, byte strings, lists and
// dictionaries with keys in sorted order. Writes only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class BValue {
public:
    static BValue Integer(int64_t value);
    static BValue Bytes(std::string value);
    static BValue List(std::vector<BValue> items);
    static BValue Dictionary(std::map<std::string, BValue> entries);  // std::map keeps the keys sorted

    std::string Encode() const;
    void EncodeTo(std::string* out) const;

private:
    enum class Kind { Integer, Bytes, List, Dictionary };
    Kind kind_ = Kind::Integer;
    int64_t integer_ = 0;
    std::string bytes_;
    std::vector<BValue> items_;
    std::map<std::string, BValue> entries_;
};
