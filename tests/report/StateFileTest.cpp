#include "report/StateFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace testing_support;

namespace {

class StateFileTest : public ::testing::Test {
protected:
    StateFileTest() : state(Path()) {}
    static std::wstring Path() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + L"vorla-state-test.tmp.cfg";
    }
    void SetUp() override { ::DeleteFileW(state.Path().c_str()); }
    void TearDown() override { ::DeleteFileW(state.Path().c_str()); }
    std::wstring Raw(const wchar_t* key) const {
        wchar_t buffer[260] = {};
        ::GetPrivateProfileStringW(L"Zephyrine", key, L"<none>", buffer, 260, state.Path().c_str());
        return buffer;
    }
    CStateFile state;
};

TEST_F(StateFileTest, WithoutTheFileWritersWriteNothingAndReadersFallBack) {
    state.SetDir(L"D:\\download\\");
    state.SetDlKD(true);
    state.SetKDSize(123);
    state.SetDownloadTotalTime(99);
    EXPECT_FALSE(state.Exists());
    EXPECT_EQ(L"", state.GetDir());
    EXPECT_TRUE(state.GetDlKD(true));
    EXPECT_FALSE(state.GetDlKD(false));
    EXPECT_EQ(10485760u, state.GetKDSize());
    EXPECT_EQ(0u, state.GetDownloadTotalTime());
}

TEST_F(StateFileTest, KeysRoundTripOnceTheFileExists) {
    ASSERT_TRUE(state.Create());
    state.SetDir(L"D:\\游戏\\");
    state.SetDlKD(true);
    state.SetKDSize(2345678);
    state.SetDownloadTotalTime(18446744073709551615ULL);
    EXPECT_EQ(L"D:\\游戏\\", state.GetDir());
    EXPECT_TRUE(state.GetDlKD(false));
    EXPECT_EQ(2345678u, state.GetKDSize());
    EXPECT_EQ(18446744073709551615ULL, state.GetDownloadTotalTime());
    EXPECT_EQ(L"1", Raw(L"DlKD"));
    EXPECT_EQ(L"2345678", Raw(L"KDSize"));
}

TEST_F(StateFileTest, CompanionChoiceIsTrueOnlyForExactlyOne) {
    ASSERT_TRUE(state.Create());
    for (const wchar_t* value : {L"0", L"2", L"01", L"true", L" 1x"}) {
        ::WritePrivateProfileStringW(L"Zephyrine", L"DLKD", value, state.Path().c_str());
        EXPECT_FALSE(state.GetDlKD(true)) << value;
    }
    ::WritePrivateProfileStringW(L"Zephyrine", L"dlkd", L"1", state.Path().c_str());
    EXPECT_TRUE(state.GetDlKD(false));
}

TEST_F(StateFileTest, CompanionSizeZeroReadsAsTenMiB) {
    ASSERT_TRUE(state.Create());
    state.SetKDSize(0);
    EXPECT_EQ(L"0", Raw(L"KDSize"));
    EXPECT_EQ(10485760u, state.GetKDSize());
    state.SetKDSize(0x100000000ULL + 5);  // only the low 32 bits are kept
    EXPECT_EQ(5u, state.GetKDSize());
}

TEST_F(StateFileTest, CreateReplacesAnOldFile) {
    ASSERT_TRUE(state.Create());
    state.SetDir(L"C:\\x\\");
    ASSERT_TRUE(state.Create());
    EXPECT_TRUE(state.Exists());
    EXPECT_EQ(L"", state.GetDir());
}

// The test prefix runs in code page 936: Hangul and these Latin letters are
// not in it, so they survive only in a UTF-16 file.
const wchar_t kKoreanDir[] = L"D:\\게임\\Ærøskøbing\\";

TEST_F(StateFileTest, AFolderOutsideTheSystemCodePageRoundTrips) {
    ASSERT_TRUE(state.Create());
    state.SetDir(kKoreanDir);
    EXPECT_EQ(kKoreanDir, state.GetDir());
    EXPECT_EQ(kKoreanDir, CStateFile(state.Path()).GetDir());  // as the next start reads it
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(state.Path(), bytes));
    EXPECT_EQ(0, bytes.compare(0, 2, "\xFF\xFE"));
}

TEST_F(StateFileTest, ANewFileIsUtf16WithAByteOrderMark) {
    ASSERT_TRUE(state.Create());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(state.Path(), bytes));
    EXPECT_EQ(std::string("\xFF\xFE"), bytes);
}

TEST_F(StateFileTest, AnOlderCodePageFileKeepsItsValuesAndBecomesUtf16AtTheNextWrite) {
    ASSERT_TRUE(WriteFileBytes(state.Path(),
                               ToGbk(L"[Zephyrine]\r\nDir=D:\\游戏\\\r\nDlKD=1\r\nDownloadTotalTime=4242\r\n")));
    EXPECT_EQ(L"D:\\游戏\\", state.GetDir());  // read as it is
    state.SetKDSize(5);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(state.Path(), bytes));
    EXPECT_EQ(0, bytes.compare(0, 2, "\xFF\xFE"));
    EXPECT_EQ(L"D:\\游戏\\", state.GetDir());
    EXPECT_TRUE(state.GetDlKD(false));
    EXPECT_EQ(4242u, state.GetDownloadTotalTime());
    EXPECT_EQ(5u, state.GetKDSize());
    state.SetDir(kKoreanDir);
    EXPECT_EQ(kKoreanDir, state.GetDir());
    EXPECT_FALSE(FileExists(state.Path() + L".new"));
}

TEST_F(StateFileTest, AnEmptyFileFromAnEarlierRunTakesAnyFolder) {
    ASSERT_TRUE(WriteFileBytes(state.Path(), ""));
    state.SetDir(kKoreanDir);
    EXPECT_EQ(kKoreanDir, state.GetDir());
}

}  // namespace
