#include "tools/publish/Bencode.h"

BValue BValue::Integer(int64_t value) {
    BValue v;
    v.kind_ = Kind::Integer;
    v.integer_ = value;
    return v;
}

BValue BValue::Bytes(std::string value) {
    BValue v;
    v.kind_ = Kind::Bytes;
    v.bytes_ = std::move(value);
    return v;
}

BValue BValue::List(std::vector<BValue> items) {
    BValue v;
    v.kind_ = Kind::List;
    v.items_ = std::move(items);
    return v;
}

BValue BValue::Dictionary(std::map<std::string, BValue> entries) {
    BValue v;
    v.kind_ = Kind::Dictionary;
    v.entries_ = std::move(entries);
    return v;
}

std::string BValue::Encode() const {
    std::string out;
    EncodeTo(&out);
    return out;
}

void BValue::EncodeTo(std::string* out) const {
    switch (kind_) {
        case Kind::Integer:
            *out += "i" + std::to_string(integer_) + "e";
            break;
        case Kind::Bytes:
            *out += std::to_string(bytes_.size()) + ":" + bytes_;
            break;
        case Kind::List:
            *out += "l";
            for (const BValue& item : items_) item.EncodeTo(out);
            *out += "e";
            break;
        case Kind::Dictionary:
            *out += "d";
            for (const auto& entry : entries_) {
                *out += std::to_string(entry.first.size()) + ":" + entry.first;
                entry.second.EncodeTo(out);
            }
            *out += "e";
            break;
    }
}
