#include "tests/tools/publish/PortalFolder.h"

#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files[fs::relative(entry.path(), root).string()] = entry.is_regular_file() ? Read(entry.path()) : "<folder>";
    return files;
}

std::string ConfigValue(const std::string& config, const std::string& key) {
    const size_t at = config.find("\n" + key + "=");
    if (at == std::string::npos) return std::string();
    const size_t begin = at + key.size() + 2;
    return config.substr(begin, config.find('\r', begin) - begin);
}
