// Portals write their configuration in the Chinese system code page (GBK), in
// UTF-16 with a byte-order mark, or in UTF-8. The profile functions read the
// first two; UTF-8 is rewritten as UTF-16 with a mark before it is parsed.
#pragma once

#include <string>

enum class ConfigTextKind {
    Utf16WithMark,  // read as it is
    Ascii,          // plain ASCII, read as it is
    Utf8,           // valid UTF-8 with non-ASCII text or a mark: convert
    CodePage,       // anything else: left to the system code page
};

ConfigTextKind ClassifyConfigText(const std::string& bytes);

// True when bytes is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(const std::string& bytes);

// The code points of UTF-8 text; false when IsValidUtf8 refuses it.
bool DecodeUtf8(const std::string& text, std::u32string* codePoints);

// One code point as UTF-8.
std::string EncodeUtf8(char32_t codePoint);

// UTF-8 (with or without its mark) to UTF-16LE with a mark, as raw bytes.
// Only meaningful for text IsValidUtf8 accepts.
std::string Utf8ToUtf16LeWithMark(const std::string& bytes);

// The bytes to parse: converted when the text is UTF-8, else unchanged.
// Returns true when a conversion took place.
bool NormaliseConfigText(const std::string& bytes, std::string& out);
