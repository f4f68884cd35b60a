// The number scanner of the configuration and state files.
#include "config/ConfigNumber.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint64_t kUntouched = 4242;

TEST(ScanUnsigned64, ReadsTheLeadingDecimalNumberAndRefusesOneThatWouldWrap) {
    const struct {
        const wchar_t* text;
        bool scanned;
        uint64_t value;  // kUntouched when refused
    } cases[] = {
        {L"0", true, 0},
        {L"7340032", true, 7340032},
        {L"  4294967296 ", true, 4294967296ULL},
        {L"\t+12abc", true, 12},
        {L"12 34", true, 12},
        {L"18446744073709551615", true, 18446744073709551615ULL},  // the largest
        {L"000000000000000000000000018446744073709551615", true, 18446744073709551615ULL},
        {L"18446744073709551616", false, kUntouched},  // one more wraps to 0
        {L"18446744073709551620", false, kUntouched},
        {L"99999999999999999999", false, kUntouched},
        {L"123456789012345678901234567890", false, kUntouched},
        {L"abc", false, kUntouched},
        {L"", false, kUntouched},
        {L"   ", false, kUntouched},
        {L"-5", false, kUntouched},
        {L"+", false, kUntouched},
        {L"++1", false, kUntouched},
    };
    for (const auto& c : cases) {
        uint64_t value = kUntouched;
        EXPECT_EQ(c.scanned, ScanUnsigned64(c.text, value)) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(c.value, value) << testing::PrintToString(std::wstring(c.text));
    }
}

}  // namespace
