// The one-line markup of text elements: ordinary characters mixed with tags
// "{&#name=value}" that push and pop link, link colour, font and colour.
// Pure text processing, so it is tested without a window system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SomMarkupRun {
    std::wstring text;  // never empty
    int font = -1;      // font table entry, -1: the element's own font
    int32_t colour = -1;  // -1 (any negative): the element's default colour
    std::wstring link;  // empty for a plain run
};

// Splits markup into runs. Unknown tags are dropped; "{&#" without a later
// "}" is text.
std::vector<SomMarkupRun> ParseSomMarkup(const std::wstring& markup);

// Text that shows exactly as given when put into markup, whatever it holds.
// The grammar has no escape character, but it drops a tag it does not know:
// an empty tag "{&#}" after each "{" of a "{&#" keeps that "{" from opening
// a tag. Runs may split there; their texts still join to the given text.
std::wstring EscapeSomMarkupText(const std::wstring& text);

// A colour value: "#hex", "0xhex"/"0Xhex" or decimal, read as wcstol reads
// (spaces, sign, stops at the first non-digit, clamped to 32 bits).
int32_t ParseSomColour(const std::wstring& value);

// A whole number as wcstol reads it in the given base, clamped to 32 bits.
int32_t ParseSomNumber(const std::wstring& value, int base);

// The command id of a "button:<n>" link (hex after "0x"), or false when the
// link is not a button link.
bool ParseSomButtonLink(const std::wstring& link, int32_t& id);
