// The record on disk: written through a temporary file and renamed over the
// old one, refused when damaged.
#include "p2sp/record/PartialFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class RecordFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"p2sp-record-test-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
        path_ = dir_ + L"\\game.exe.P2P.ctl";
    }
    void TearDown() override {
        DeleteFileW(path_.c_str());
        DeleteFileW((path_ + L".new").c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring dir_, path_;
};

RangeRecord Record(uint64_t doneBytes) {
    RangeRecord r;
    r.totalSize = 1000;
    r.etag = "\"x\"";
    r.done.Add(0, doneBytes);
    return r;
}

TEST_F(RecordFile, SaveReplacesAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(SaveRecordFile(path_, Record(100)));
    ASSERT_TRUE(SaveRecordFile(path_, Record(200)));
    RangeRecord loaded;
    ASSERT_TRUE(LoadRecordFile(path_, &loaded));
    EXPECT_EQ(loaded.done.CoveredBytes(), 200u);
    EXPECT_FALSE(FileExists(path_ + L".new"));
}

TEST_F(RecordFile, MissingOrDamagedFileIsNotLoaded) {
    RangeRecord loaded;
    EXPECT_FALSE(LoadRecordFile(path_, &loaded));
    ASSERT_TRUE(SaveRecordFile(path_, Record(100)));
    HANDLE h = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = 10;
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    SetEndOfFile(h);  // a record cut short, as a full disk leaves it
    CloseHandle(h);
    EXPECT_FALSE(LoadRecordFile(path_, &loaded));
}

}  // namespace
