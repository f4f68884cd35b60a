// Numbers in the configuration and state files. Plain C++ without platform
// headers, so it can be built and fuzzed on any host.
#pragma once

#include <cstdint>
#include <string>

// Scans text the way "%I64u " does: leading white space, an optional "+",
// then decimal digits; whatever follows them is ignored. Returns false (value
// untouched) when no number starts the text, and also when the number does
// not fit in 64 bits: a size that wrapped would be a wrong size, so it is
// treated like text that is no number at all.
bool ScanUnsigned64(const std::wstring& text, uint64_t& value);
