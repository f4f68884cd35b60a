// What every fuzz target shares: a check that stops the run with a message
// (libFuzzer then saves the input as a finding), and the reading of input
// bytes as the Windows program sees text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A broken property is a finding like a crash: print why, then abort so
// libFuzzer writes the input out.
#define FUZZ_CHECK(condition, what)                                                  \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "FUZZ CHECK FAILED %s:%d: %s\n  (%s)\n", __FILE__,  \
                         __LINE__, what, #condition);                                \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

// Input bytes as UTF-16LE code units, one per wchar_t: the program's
// wchar_t is 16 bits wide on Windows, here it holds the same unit values.
// An odd last byte is dropped.
inline std::wstring Utf16Units(const uint8_t* data, size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}
