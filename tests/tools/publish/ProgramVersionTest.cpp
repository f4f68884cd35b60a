// Reading a downloader's own version from its file, and the rule by which a
// downloader calls itself outdated against NewVersion.
#include "tools/publish/ProgramVersion.h"
#include "tests/tools/publish/TinyProgram.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(ProgramVersionTest, FixedFileVersionIsReadFromBothImageWidths) {
    const fs::path path = fs::temp_directory_path() / ("vorla-version-" + std::to_string(::getpid()) + ".exe");
    for (bool wide : {true, false}) {
        const std::string image = TinyProgram("1.1.0.1005", wide);
        std::ofstream(path, std::ios::binary).write(image.data(), image.size());
        std::string version, error;
        EXPECT_TRUE(ReadProgramVersion(path.string(), &version, &error)) << error;
        EXPECT_EQ("1.1.0.1005", version);
    }
    fs::remove(path);
}

TEST(ProgramVersionTest, EveryCutOfTheImageIsRefusedWithoutReadingPastIt) {
    const std::string image = TinyProgram("2.0.3.4");
    std::vector<uint8_t> bytes(image.begin(), image.end()), resource;
    ASSERT_TRUE(FindVersionResource(bytes, &resource));
    for (size_t size = 0; size < bytes.size() - resource.size(); ++size) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + size);
        EXPECT_FALSE(FindVersionResource(cut, &resource)) << size;
    }
}

TEST(ProgramVersionTest, OutdatedWhenLengthsDifferOrTheFirstFiveSortBefore) {
    struct Case {
        const char* own;
        const char* required;
        bool outdated;
    };
    const Case cases[] = {{"1.1.0.1005", "1.1.0.1005", false}, {"1.1.0.1005", "1.1.0.2000", false},
                          {"1.1.0.1005", "1.1.1.1005", true},  {"1.1.0.1005", "1.1.0.999", true},
                          {"1.1.0.1005", "1.0.0.0", true},     {"1.1.0.1005", "1.0.0.1005", false}};
    for (const Case& c : cases) EXPECT_EQ(c.outdated, !OutdatedBecause(c.own, c.required).empty()) << c.required;
}
