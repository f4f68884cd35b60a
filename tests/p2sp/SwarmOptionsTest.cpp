// The listening and upload options as the engine receives them in text.
#include "p2sp/swarm/SwarmOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(SwarmOptions, ListenTextGivesAddressAndPortRange) {
    struct Case {
        const wchar_t* text;
        bool ok;
        bool listen;
        uint32_t address;
        uint16_t first, last;
    } cases[] = {
        {L"off", true, false, 0, 6881, 6889},
        {L"7000", true, true, 0, 7000, 7000},
        {L"7000-7009", true, true, 0, 7000, 7009},
        {L"127.0.0.1:17300", true, true, 0x7f000001u, 17300, 17300},
        {L"127.0.0.2:17300-17302", true, true, 0x7f000002u, 17300, 17302},
        {L"", false, true, 0, 6881, 6889},
        {L"0", false, true, 0, 6881, 6889},
        {L"70000", false, true, 0, 6881, 6889},
        {L"7009-7000", false, true, 0, 6881, 6889},
        {L"127.0.0.1", false, true, 0, 6881, 6889},
        {L"127.0.0.256:7000", false, true, 0, 6881, 6889},
        {L"host:7000", false, true, 0, 6881, 6889},
        {L"7000x", false, true, 0, 6881, 6889},
    };
    for (const Case& c : cases) {
        SwarmOptions o;
        EXPECT_EQ(ParseListenOption(c.text, &o), c.ok) << c.text;
        EXPECT_EQ(o.listen, c.listen) << c.text;
        EXPECT_EQ(o.listenAddress, c.address) << c.text;
        EXPECT_EQ(o.firstPort, c.first) << c.text;
        EXPECT_EQ(o.lastPort, c.last) << c.text;
    }
}

TEST(SwarmOptions, UploadCapIsADecimalByteRate) {
    SwarmOptions o;
    EXPECT_TRUE(ParseUploadCapOption(L"0", &o));
    EXPECT_EQ(o.uploadCap, 0u);
    EXPECT_TRUE(ParseUploadCapOption(L"4194304", &o));
    EXPECT_EQ(o.uploadCap, 4194304u);
    EXPECT_FALSE(ParseUploadCapOption(L"-1", &o));
    EXPECT_FALSE(ParseUploadCapOption(L"99999999999", &o));
    EXPECT_EQ(o.uploadCap, 4194304u);
}

}  // namespace
