// The file name a configured link gives its download.
#include "system/LinkFileName.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

struct NameCase {
    const wchar_t* link;
    const wchar_t* name;
};

void ExpectNames(const NameCase* begin, const NameCase* end) {
    for (const NameCase* c = begin; c != end; ++c) EXPECT_EQ(c->name, LinkFileName(c->link)) << Narrow(c->link);
}

TEST(LinkFileName, IsTheLastPathSegmentAsAPlainName) {
    const NameCase cases[] = {
        {L"http://h/dir/setup.exe", L"setup.exe"},
        {L"setup.exe", L"setup.exe"},
        {L"http://h/dir/", L""},
        {L"", L""},
        {L"http://h/setup.exe?t=1#x", L"setup.exe"},
        {L"http://h/setup.exe#frag", L"setup.exe"},
        {L"http://h/a\\..\\b", L""},
        {L"http://h/..", L""},
        {L"http://h/.", L""},
        {L"http://h/a:b.exe", L""},
        {L"http://h/a|b.exe", L""},
        {L"http://h/游戏安装.exe", L"游戏安装.exe"},
    };
    ExpectNames(std::begin(cases), std::end(cases));
}

TEST(LinkFileName, SlashesInTheQueryOrFragmentDoNotMoveTheName) {
    const NameCase cases[] = {
        {L"http://h/dl/setup.exe?sig=ab/cd", L"setup.exe"},
        {L"http://h/dl/setup.exe?ref=http://x/", L"setup.exe"},
        {L"http://h/dl/setup.exe#part/2", L"setup.exe"},
        {L"http://h/dl/setup.exe#a?b/c", L"setup.exe"},
        {L"http://h/dl/?file=setup.exe", L""},
        {L"setup.exe?x=/y", L"setup.exe"},
        {L"?a/b", L""},
    };
    ExpectNames(std::begin(cases), std::end(cases));
}

TEST(LinkFileName, WindowsDeviceNamesAreRefusedInAnyCaseWithOrWithoutExtension) {
    const NameCase cases[] = {
        {L"http://h/CON", L""},          {L"http://h/con", L""},           {L"http://h/Prn.exe", L""},
        {L"http://h/aux.tar.gz", L""},   {L"http://h/NUL", L""},           {L"http://h/nul.exe?x=1", L""},
        {L"http://h/COM1", L""},         {L"http://h/com9.exe", L""},      {L"http://h/LPT1", L""},
        {L"http://h/lpt9.bin", L""},     {L"http://h/CON .exe", L""},      {L"http://h/COM\u00B9.exe", L""},
        {L"http://h/conout$.exe", L""},
        // Names that merely start like a device are ordinary names.
        {L"http://h/CONSOLE.exe", L"CONSOLE.exe"}, {L"http://h/com10.exe", L"com10.exe"},
        {L"http://h/COM0.exe", L"COM0.exe"},       {L"http://h/lpt.exe", L"lpt.exe"},
        {L"http://h/nulsetup.exe", L"nulsetup.exe"}, {L"http://h/setup.con", L"setup.con"},
        {L"http://h/my con.exe", L"my con.exe"},
    };
    ExpectNames(std::begin(cases), std::end(cases));
}

TEST(LinkFileName, NamesEndingInADotOrASpaceAreRefused) {
    const NameCase cases[] = {
        {L"http://h/setup.exe.", L""},  {L"http://h/setup.exe ", L""}, {L"http://h/setup.exe%20", L"setup.exe%20"},
        {L"http://h/setup. ", L""},     {L"http://h/...", L""},        {L"http://h/setup.exe. ?x", L""},
        {L"http://h/ setup.exe", L" setup.exe"},
    };
    ExpectNames(std::begin(cases), std::end(cases));
}

}  // namespace
