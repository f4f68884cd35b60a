// The VS_VERSIONINFO tree of a version resource, read and written byte for
// byte: every node is wLength, wValueLength, wType, a null-terminated UTF-16
// key, its value and its children, each aligned to 4 bytes from the start of
// the resource. No platform calls: the tests feed it bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VersionNode {
    std::u16string key;
    uint16_t type = 0;            // 1: text value, 0: binary value
    std::vector<uint8_t> value;   // raw bytes (text: UTF-16 with its null)
    std::vector<VersionNode> children;

    bool operator==(const VersionNode& o) const {
        return key == o.key && type == o.type && value == o.value && children == o.children;
    }
    bool operator!=(const VersionNode& o) const { return !(*this == o); }
};

// Nodes nested deeper than this are refused (a version resource has four
// levels: the root, StringFileInfo, a string table, a string).
const size_t kMaxVersionDepth = 16;

// False when the bytes are not a well-formed tree (a length that runs past
// its parent, a key without its null, a text value of an odd number of
// bytes, nodes nested deeper than kMaxVersionDepth).
bool ParseVersionBlock(const std::vector<uint8_t>& bytes, VersionNode& root);
std::vector<uint8_t> SerializeVersionBlock(const VersionNode& root);
// Serializes root and reads the bytes back: false, and `out` empty, when a
// node would outgrow its 16-bit length or the bytes do not give the same
// tree again. What it returns is safe to write.
bool SerializeVersionBlockChecked(const VersionNode& root, std::vector<uint8_t>& out);

// Sets the text value of `key` in every string table of StringFileInfo,
// adding it to a table that lacks it. False when there is no string table.
bool SetStringValue(VersionNode& root, const std::u16string& key, const std::u16string& text);

// The text values of `key` across all string tables, in order.
std::vector<std::u16string> GetStringValues(const VersionNode& root, const std::u16string& key);
