#include "tools/publish/ProgramVersion.h"

#include "tools/stamp/VersionBlock.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace {

const uint32_t kVersionType = 16;
const uint32_t kFixedInfoSignature = 0xFEEF04BD;
const uint32_t kSubdirectory = 0x80000000u;

bool Read16(const std::vector<uint8_t>& b, size_t at, uint32_t* v) {
    if (at > b.size() || b.size() - at < 2) return false;
    *v = b[at] | (b[at + 1] << 8);
    return true;
}

bool Read32(const std::vector<uint8_t>& b, size_t at, uint32_t* v) {
    if (at > b.size() || b.size() - at < 4) return false;
    *v = uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
    return true;
}

struct Section {
    uint32_t address, virtualSize, rawSize, rawOffset;
};

// File offset of a relative virtual address, or false.
bool FileOffset(const std::vector<Section>& sections, uint32_t rva, size_t* offset) {
    for (const Section& s : sections) {
        const uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.address && rva - s.address < span && rva - s.address < s.rawSize) {
            *offset = size_t(s.rawOffset) + (rva - s.address);
            return true;
        }
    }
    return false;
}

// The entry of a resource directory at `dir` (offset in the file) with this
// id, or with this name (`name` not empty: the directory's own strings,
// compared as ASCII), or the first one when neither is given; its
// OffsetToData field. `root` is where names' offsets start.
bool DirectoryEntry(const std::vector<uint8_t>& image, size_t root, size_t dir, uint32_t id, const std::string& name,
                    uint32_t* target) {
    uint32_t named = 0, ids = 0;
    if (!Read16(image, dir + 12, &named) || !Read16(image, dir + 14, &ids)) return false;
    for (uint32_t i = 0; i < named + ids; ++i) {
        uint32_t entryName = 0, data = 0;
        if (!Read32(image, dir + 16 + 8 * i, &entryName) || !Read32(image, dir + 20 + 8 * i, &data)) return false;
        bool match = id == 0 && name.empty();
        if (!name.empty() && i < named && (entryName & kSubdirectory)) {
            const size_t at = root + (entryName & ~kSubdirectory);
            uint32_t length = 0;
            match = Read16(image, at, &length) && length == name.size();
            for (uint32_t k = 0; match && k < length; ++k) {
                uint32_t unit = 0;
                match = Read16(image, at + 2 + 2 * size_t(k), &unit) && unit == static_cast<unsigned char>(name[k]);
            }
        } else if (id != 0) {
            match = i >= named && entryName == id;
        }
        if (match) {
            *target = data;
            return true;
        }
    }
    return false;
}

}  // namespace

bool FindProgramResource(const std::vector<uint8_t>& image, uint32_t type, const std::string& name,
                         std::vector<uint8_t>* resource) {
    uint32_t peAt = 0, signature = 0, sectionCount = 0, optionalSize = 0, magic = 0;
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z' || !Read32(image, 0x3C, &peAt)) return false;
    if (!Read32(image, peAt, &signature) || signature != 0x00004550) return false;
    if (!Read16(image, size_t(peAt) + 6, &sectionCount) || !Read16(image, size_t(peAt) + 20, &optionalSize)) return false;
    const size_t optional = size_t(peAt) + 24;
    if (!Read16(image, optional, &magic) || (magic != 0x10B && magic != 0x20B)) return false;
    const size_t directories = optional + (magic == 0x10B ? 96 : 112);
    uint32_t directoryCount = 0, resourceRva = 0;
    if (!Read32(image, directories - 4, &directoryCount) || directoryCount < 3) return false;
    if (!Read32(image, directories + 2 * 8, &resourceRva) || resourceRva == 0) return false;

    std::vector<Section> sections;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const size_t at = optional + optionalSize + 40 * size_t(i);
        Section s{};
        if (!Read32(image, at + 8, &s.virtualSize) || !Read32(image, at + 12, &s.address) ||
            !Read32(image, at + 16, &s.rawSize) || !Read32(image, at + 20, &s.rawOffset))
            return false;
        sections.push_back(s);
    }
    size_t root = 0;
    if (!FileOffset(sections, resourceRva, &root)) return false;
    // Type, then name, then language: the first language.
    uint32_t entry = 0;
    if (!DirectoryEntry(image, root, root, type, std::string(), &entry) || !(entry & kSubdirectory)) return false;
    if (!DirectoryEntry(image, root, root + (entry & ~kSubdirectory), 0, name, &entry) || !(entry & kSubdirectory))
        return false;
    if (!DirectoryEntry(image, root, root + (entry & ~kSubdirectory), 0, std::string(), &entry) ||
        (entry & kSubdirectory))
        return false;
    uint32_t dataRva = 0, dataSize = 0;
    size_t data = 0;
    if (!Read32(image, root + entry, &dataRva) || !Read32(image, root + entry + 4, &dataSize)) return false;
    if (!FileOffset(sections, dataRva, &data) || data > image.size() || image.size() - data < dataSize) return false;
    resource->assign(image.begin() + data, image.begin() + data + dataSize);
    return true;
}

bool FindVersionResource(const std::vector<uint8_t>& image, std::vector<uint8_t>* resource) {
    return FindProgramResource(image, kVersionType, std::string(), resource);
}

bool ReadProgramVersion(const std::string& path, std::string* version, std::string* error) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> resource;
    VersionNode root;
    uint32_t fixedSignature = 0, ms = 0, ls = 0;
    if (!in.good() && !in.eof()) {
        *error = "cannot read " + path;
        return false;
    }
    if (!FindVersionResource(image, &resource) || !ParseVersionBlock(resource, root) ||
        !Read32(root.value, 0, &fixedSignature) || fixedSignature != kFixedInfoSignature ||
        !Read32(root.value, 8, &ms) || !Read32(root.value, 12, &ls)) {
        *error = path + " is not a program with a version resource";
        return false;
    }
    *version = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
               std::to_string(ls & 0xFFFF);
    return true;
}

std::string OutdatedBecause(const std::string& own, const std::string& required) {
    if (own.size() != required.size())
        return "NewVersion \"" + required + "\" and the downloader's version \"" + own +
               "\" differ in length, which the downloader takes for outdated";
    for (size_t i = 0; i < 5 && i < own.size(); ++i) {
        const int a = std::tolower(static_cast<unsigned char>(own[i]));
        const int b = std::tolower(static_cast<unsigned char>(required[i]));
        if (a < b)
            return "NewVersion \"" + required + "\" is newer than the downloader's version \"" + own + "\"";
        if (a > b) break;
    }
    return std::string();
}
