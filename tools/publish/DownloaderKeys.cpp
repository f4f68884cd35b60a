#include "tools/publish/DownloaderKeys.h"

#include "config/PortalTrust.h"
#include "tools/publish/ProgramVersion.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const uint32_t kRawDataType = 10;  // RT_RCDATA
const char kTrustName[] = "PORTALTRUST";

}  // namespace

bool ReadDownloaderKeys(const std::string& path, std::vector<std::string>* keys, std::string* error) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        *error = "cannot read " + path;
        return false;
    }
    keys->clear();
    std::vector<uint8_t> resource;
    if (!FindProgramResource(image, kRawDataType, kTrustName, &resource)) return true;
    PortalTrust trust;
    if (!ParsePortalTrust(std::string(resource.begin(), resource.end()), &trust)) {
        *error = path + " carries a portal trust it cannot read: it would take no configuration at all";
        return false;
    }
    static const char kHex[] = "0123456789abcdef";
    for (const ConfigKey& key : trust.keys) {
        std::string hex = "04";
        for (uint8_t byte : key) {
            hex += kHex[byte >> 4];
            hex += kHex[byte & 15];
        }
        keys->push_back(hex);
    }
    return true;
}
