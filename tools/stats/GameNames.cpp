#include "tools/stats/GameNames.h"

#include "config/ConfigText.h"

#include <fstream>
#include <sstream>

std::string GameNameOfConfig(const std::string& bytes) {
    std::istringstream text(ConfigTextToUtf8(bytes));
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
