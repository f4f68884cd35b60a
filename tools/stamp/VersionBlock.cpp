#include "tools/stamp/VersionBlock.h"

namespace {

const size_t kHeaderBytes = 6;

size_t Align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

uint16_t Read16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void Write16(std::vector<uint8_t>& bytes, size_t at, size_t value) {
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

bool ParseNode(const std::vector<uint8_t>& bytes, size_t start, size_t limit, size_t depth, VersionNode& node,
               size_t& length) {
    if (depth > kMaxVersionDepth || start + kHeaderBytes > limit) return false;
    length = Read16(bytes, start);
    const size_t valueLength = Read16(bytes, start + 2);
    node.type = Read16(bytes, start + 4);
    if (length < kHeaderBytes || start + length > limit) return false;
    const size_t end = start + length;

    size_t at = start + kHeaderBytes;
    node.key.clear();
    for (;;) {
        if (at + 2 > end) return false;
        const char16_t c = static_cast<char16_t>(Read16(bytes, at));
        at += 2;
        if (c == 0) break;
        node.key.push_back(c);
    }
    at = Align4(at);

    // A text value counts characters, a binary one bytes; some compilers
    // count loosely, so the value never runs past its node.
    size_t valueBytes = node.type == 1 ? valueLength * 2 : valueLength;
    if (at > end) at = end;
    if (at + valueBytes > end) valueBytes = end - at;
    // UTF-16 comes in pairs of bytes; half a character cannot be written back.
    if (node.type == 1 && valueBytes % 2 != 0) return false;
    node.value.assign(bytes.begin() + at, bytes.begin() + at + valueBytes);
    at = Align4(at + valueBytes);

    node.children.clear();
    while (at + kHeaderBytes <= end) {
        VersionNode child;
        size_t childLength = 0;
        if (!ParseNode(bytes, at, end, depth + 1, child, childLength)) return false;
        node.children.push_back(std::move(child));
        at = Align4(at + childLength);
    }
    return true;
}

void PadTo4(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// False when a length does not fit its 16 bits (the bytes are then unusable).
bool SerializeNode(const VersionNode& node, std::vector<uint8_t>& out) {
    PadTo4(out);
    const size_t start = out.size();
    out.resize(start + kHeaderBytes);
    for (char16_t c : node.key) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    PadTo4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    bool fits = true;
    for (const VersionNode& child : node.children) fits = SerializeNode(child, out) && fits;
    const size_t length = out.size() - start;
    const size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    Write16(out, start, length);
    Write16(out, start + 2, valueLength);
    Write16(out, start + 4, node.type);
    return fits && length <= 0xFFFF && valueLength <= 0xFFFF;
}

std::vector<uint8_t> TextValue(const std::u16string& text) {
    std::vector<uint8_t> value;
    for (char16_t c : text) {
        value.push_back(static_cast<uint8_t>(c & 0xFF));
        value.push_back(static_cast<uint8_t>(c >> 8));
    }
    value.push_back(0);
    value.push_back(0);
    return value;
}

std::u16string ValueText(const std::vector<uint8_t>& value) {
    std::u16string text;
    for (size_t at = 0; at + 1 < value.size(); at += 2) {
        const char16_t c = static_cast<char16_t>(value[at] | (value[at + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

VersionNode* FindChild(VersionNode& node, const std::u16string& key) {
    for (VersionNode& child : node.children) {
        if (child.key == key) return &child;
    }
    return nullptr;
}

const VersionNode* FindChild(const VersionNode& node, const std::u16string& key) {
    return FindChild(const_cast<VersionNode&>(node), key);
}

}  // namespace

bool ParseVersionBlock(const std::vector<uint8_t>& bytes, VersionNode& root) {
    size_t length = 0;
    return ParseNode(bytes, 0, bytes.size(), 1, root, length);
}

std::vector<uint8_t> SerializeVersionBlock(const VersionNode& root) {
    std::vector<uint8_t> out;
    SerializeNode(root, out);
    return out;
}

bool SerializeVersionBlockChecked(const VersionNode& root, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<uint8_t> bytes;
    if (!SerializeNode(root, bytes)) return false;
    VersionNode again;
    if (!ParseVersionBlock(bytes, again) || again != root) return false;
    out = std::move(bytes);
    return true;
}

bool SetStringValue(VersionNode& root, const std::u16string& key, const std::u16string& text) {
    VersionNode* strings = FindChild(root, u"StringFileInfo");
    if (strings == nullptr || strings->children.empty()) return false;
    for (VersionNode& table : strings->children) {
        VersionNode* entry = FindChild(table, key);
        if (entry == nullptr) {
            table.children.emplace_back();
            entry = &table.children.back();
            entry->key = key;
        }
        entry->type = 1;
        entry->value = TextValue(text);
        entry->children.clear();
    }
    return true;
}

std::vector<std::u16string> GetStringValues(const VersionNode& root, const std::u16string& key) {
    std::vector<std::u16string> values;
    const VersionNode* strings = FindChild(root, u"StringFileInfo");
    if (strings == nullptr) return values;
    for (const VersionNode& table : strings->children) {
        if (const VersionNode* entry = FindChild(table, key)) values.push_back(ValueText(entry->value));
    }
    return values;
}
