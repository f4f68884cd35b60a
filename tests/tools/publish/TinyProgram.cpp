#include "tests/tools/publish/TinyProgram.h"

#include "tools/stamp/VersionBlock.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

std::vector<uint8_t> VersionResource(const std::string& version) {
    uint32_t part[4] = {};
    const char* p = version.c_str();
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        part[i] = uint32_t(std::strtoul(p, &end, 10));
        p = *end ? end + 1 : end;
    }
    VersionNode root;
    root.key = u"VS_VERSION_INFO";
    root.type = 0;
    root.value.assign(52, 0);
    Put32(root.value, 0, 0xFEEF04BD);
    Put32(root.value, 4, 0x00010000);
    Put32(root.value, 8, (part[0] << 16) | part[1]);
    Put32(root.value, 12, (part[2] << 16) | part[3]);
    return SerializeVersionBlock(root);
}

}  // namespace

std::string TinyProgram(const std::string& version, bool pe32Plus) {
    const std::vector<uint8_t> resource = VersionResource(version);
    const uint32_t peAt = 64, optionalSize = pe32Plus ? 240 : 224;
    const uint32_t sectionVa = 0x1000, sectionRaw = 0x200;
    std::vector<uint8_t> b(sectionRaw, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, peAt);
    Put32(b, peAt, 0x00004550);
    Put16(b, peAt + 4, pe32Plus ? 0x8664 : 0x14C);
    Put16(b, peAt + 6, 1);
    Put16(b, peAt + 20, optionalSize);
    const size_t optional = peAt + 24;
    Put16(b, optional, pe32Plus ? 0x20B : 0x10B);
    const size_t directories = optional + (pe32Plus ? 112 : 96);
    Put32(b, directories - 4, 16);
    Put32(b, directories + 16, sectionVa);  // the resource directory
    // Resource tree: root -> type 16 -> name 1 -> language 2052 -> data.
    std::vector<uint8_t> r(0x60, 0);
    Put16(r, 0x0E, 1);
    Put32(r, 0x10, 16);
    Put32(r, 0x14, 0x80000000u | 0x18);
    Put16(r, 0x18 + 0x0E, 1);
    Put32(r, 0x18 + 0x10, 1);
    Put32(r, 0x18 + 0x14, 0x80000000u | 0x30);
    Put16(r, 0x30 + 0x0E, 1);
    Put32(r, 0x30 + 0x10, 2052);
    Put32(r, 0x30 + 0x14, 0x48);
    Put32(r, 0x48, sectionVa + 0x60);
    Put32(r, 0x4C, uint32_t(resource.size()));
    r.insert(r.end(), resource.begin(), resource.end());
    const size_t section = optional + optionalSize;
    std::copy(std::begin(".rsrc"), std::end(".rsrc") - 1, b.begin() + section);
    Put32(b, section + 8, uint32_t(r.size()));
    Put32(b, section + 12, sectionVa);
    Put32(b, section + 16, uint32_t(r.size()));
    Put32(b, section + 20, sectionRaw);
    b.resize(sectionRaw + r.size());
    std::copy(r.begin(), r.end(), b.begin() + sectionRaw);
    return std::string(b.begin(), b.end());
}
