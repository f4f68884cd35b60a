// A configuration's text as UTF-8, for tools that show what it says (game
// names): read by the program's own rule (config/ConfigEncoding.h).
#pragma once

#include <string>

// UTF-16 with its mark (either order) and UTF-8 (with or without its mark)
// as what they say, plain ASCII as it is, anything else as code page 936.
// Malformed UTF-16 units become U+FFFD.
std::string ConfigTextToUtf8(const std::string& bytes);
