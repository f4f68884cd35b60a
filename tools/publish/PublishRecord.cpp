#include "tools/publish/PublishRecord.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

const char kRecordFolder[] = ".vorla-publish";

namespace {

const char kRecordSuffix[] = ".files";

// Relative path -> the game whose record lists it.
std::map<std::string, std::string> ReadOwners(const fs::path& out) {
    std::map<std::string, std::string> owners;
    std::error_code failure;
    const fs::path folder = out / kRecordFolder;
    if (!fs::is_directory(folder, failure)) return owners;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, failure)) {
        const std::string name = entry.path().filename().u8string();
        const size_t suffix = name.size() > 6 ? name.size() - 6 : std::string::npos;
        if (suffix == std::string::npos || name.compare(suffix, 6, kRecordSuffix) != 0) continue;
        const std::string game = name.substr(0, suffix);
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) owners[line] = game;
        }
    }
    return owners;
}

}  // namespace

std::string RecordText(const std::vector<std::string>& files) {
    std::string text;
    for (const std::string& file : files) text += file + "\n";
    return text;
}

std::vector<Overwrite> FindOverwrites(const std::string& out, const std::string& gameId,
                                      const std::vector<std::string>& targets) {
    const fs::path root = fs::u8path(out);
    const std::map<std::string, std::string> owners = ReadOwners(root);
    std::vector<Overwrite> found;
    for (const std::string& target : targets) {
        std::error_code failure;
        if (!fs::exists(root / fs::u8path(target), failure)) continue;
        const auto owner = owners.find(target);
        if (owner != owners.end() && owner->second == gameId) continue;
        found.push_back({target, owner == owners.end() ? "not written by vorla-publish" : "game " + owner->second});
    }
    return found;
}
