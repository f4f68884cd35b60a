// The record on disk: written through a temporary file and renamed over the
// old one, refused when damaged; renames wait out another program's open.
#include "p2sp/record/PartialFile.h"
#include "p2sp/record/RenameOver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

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

// Another program holds the target (a scanner, an indexer): the rename waits
// in growing pauses until it lets go, gives up after its patience, and stops
// at once when told to; other errors are not waited on.
TEST_F(RecordFile, RenameWaitsOutAnotherOpenWithinItsPatience) {
    const std::wstring from = dir_ + L"\\from.bin", to = path_;
    const auto write = [](const std::wstring& path, const char* text) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        WriteFile(h, text, DWORD(strlen(text)), &n, nullptr);
        CloseHandle(h);
    };
    const auto hold = [&] { return CreateFileW(to.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); };
    write(from, "new");
    write(to, "old");
    HANDLE held = hold();
    std::vector<DWORD> waits;
    EXPECT_EQ(0u, RenameOver(from, to, 0, 1000, [&](DWORD ms) {
                  waits.push_back(ms);
                  CloseHandle(held);  // it lets go during the first pause
                  return true;
              }));
    EXPECT_EQ(1u, waits.size());
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(3u, FileSizeOf(to));

    write(from, "newer");
    held = hold();
    DWORD waited = 0;
    waits.clear();
    EXPECT_NE(0u, RenameOver(from, to, 0, 1000, [&](DWORD ms) {
                  waits.push_back(ms);
                  waited += ms;
                  return true;
              }));
    EXPECT_EQ(1000u, waited) << "the whole patience, no more";
    EXPECT_LT(waits.size(), 10u);
    EXPECT_LT(waits.front(), waits.back()) << "pauses grow";
    waits.clear();
    EXPECT_NE(0u, RenameOver(from, to, 0, 1000, [&](DWORD ms) {
                  waits.push_back(ms);
                  return false;  // stopped
              }));
    EXPECT_EQ(1u, waits.size());
    CloseHandle(held);
    EXPECT_EQ(3u, FileSizeOf(to)) << "the held file is as it was";

    waits.clear();
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), RenameOver(dir_ + L"\\missing.bin", to, 0, 1000, [&](DWORD ms) {
                  waits.push_back(ms);
                  return true;
              }));
    EXPECT_TRUE(waits.empty());
    DeleteFileW(from.c_str());
}

}  // namespace
