#include "tools/stats/GameNames.h"

#include "tools/stats/TextEncoding.h"

#include <cstdint>
#include <fstream>
#include <sstream>

namespace {

void AppendUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string FromUtf16Le(const std::string& bytes, size_t start) {
    std::string out;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
        AppendUtf8(unit, out);
    }
    return out;
}

bool IsUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t follow = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        if (follow == 9 || i + follow >= s.size()) return false;
        for (size_t k = 1; k <= follow; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += follow + 1;
    }
    return true;
}

std::string ToUtf8(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return FromUtf16Le(bytes, 2);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    if (IsUtf8(bytes)) return bytes;
    return GbkToUtf8(bytes);
}

}  // namespace

std::string GameNameOfConfig(const std::string& bytes) {
    std::istringstream text(ToUtf8(bytes));
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 9, "GameName=") == 0) return line.substr(9);
    }
    return std::string();
}

std::string ReadGameName(const std::string& portalRoot, const std::string& game) {
    if (game.empty() || game.find('/') != std::string::npos || game.find("..") != std::string::npos)
        return std::string();
    std::ifstream file(portalRoot + "/tool/down/" + game + ".html", std::ios::binary);
    if (!file) return std::string();
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return GameNameOfConfig(bytes.str());
}
