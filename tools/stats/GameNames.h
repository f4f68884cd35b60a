// Game names for the report, read from the portal's own configuration files
// (<portal>/tool/down/<id>.html): GBK as a Chinese portal writes them, UTF-16LE
// with a byte-order mark, or UTF-8.
#pragma once

#include <string>

// The GameName value of a configuration file's bytes, as UTF-8; empty when
// there is none.
std::string GameNameOfConfig(const std::string& bytes);

// The same from <portalRoot>/tool/down/<game>.html; empty when it cannot be read.
std::string ReadGameName(const std::string& portalRoot, const std::string& game);
