#include "tools/publish/PublishRecord.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

const char kRecordFolder[] = ".vorla-publish";

namespace {

const char kRecordSuffix[] = ".files";

PublicationRecord ParseRecord(std::istream& in) {
    PublicationRecord record;
    std::vector<std::string>* files = &record.currentFiles;  // an old record: paths only
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.compare(0, 8, "current ") == 0) {
            record.current = line.substr(8);
            files = &record.currentFiles;
        } else if (line.compare(0, 9, "previous ") == 0) {
            record.previous = line.substr(9);
            files = &record.previousFiles;
        } else {
            files->push_back(line);
        }
    }
    return record;
}

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
        const PublicationRecord record = ParseRecord(in);
        for (const std::string& file : record.currentFiles) owners[file] = game;
        for (const std::string& file : record.previousFiles) owners[file] = game;
    }
    return owners;
}

}  // namespace

PublicationRecord ReadRecord(const std::string& out, const std::string& gameId) {
    std::ifstream in(fs::u8path(out) / kRecordFolder / (gameId + kRecordSuffix));
    return ParseRecord(in);
}

std::string RecordText(const PublicationRecord& record) {
    std::string text = "current " + record.current + "\n";
    for (const std::string& file : record.currentFiles) text += file + "\n";
    if (!record.previousFiles.empty()) {
        text += "previous " + record.previous + "\n";
        for (const std::string& file : record.previousFiles) text += file + "\n";
    }
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
