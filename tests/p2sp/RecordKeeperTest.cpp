// The keeper's two records: the frequent one, not flushed, and the safe one,
// written durably with every flush of the data. A power cut may take the
// frequent one, or the data file be cut short below what it claims; the
// safe one must then hold what was flushed.
#include "p2sp/record/PartialFile.h"
#include "p2sp/record/RecordKeeper.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr uint64_t kAnySize = ~uint64_t(0);  // no data file to fit

class RecordKeeperFiles : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"p2sp-keeper-test-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
        target_ = dir_ + L"\\game.exe";
        record_ = RecordPathFor(target_);
        ASSERT_EQ(data_.Open(PartPathFor(target_)), 0u);
        std::vector<uint8_t> bytes(8000, 0x5A);
        ASSERT_TRUE(data_.WriteAt(0, bytes.data(), DWORD(bytes.size())));
        header_.totalSize = 8000;
        header_.etag = "\"k1\"";
    }
    void TearDown() override {
        data_.Close();
        for (const wchar_t* suffix : {L".P2P", L".P2P.ctl", L".P2P.ctl.new", L".P2P.ctl.safe", L".P2P.ctl.safe.new"})
            DeleteFileW((target_ + suffix).c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    // Empties the frequent record, as a power cut after its rename leaves it.
    void EmptyCurrentRecord() {
        HANDLE h = CreateFileW(record_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }

    static RangeSet Ranges(uint64_t begin, uint64_t end) {
        RangeSet r;
        r.Add(begin, end);
        return r;
    }

    std::wstring dir_, target_, record_;
    PartFile data_;
    RangeRecord header_;
};

TEST_F(RecordKeeperFiles, ForcedCheckpointLeavesASafeRecord) {
    RecordKeeper keeper(record_);
    keeper.Reset(header_, RangeSet(), RangeSet());
    ASSERT_TRUE(keeper.Update(data_, Ranges(0, 3000), true));
    EmptyCurrentRecord();
    RangeRecord loaded;
    ASSERT_TRUE(LoadResumeRecord(record_, kAnySize, 0, &loaded));
    EXPECT_EQ(loaded.totalSize, 8000u);
    EXPECT_EQ(loaded.etag, "\"k1\"");
    EXPECT_EQ(loaded.done, Ranges(0, 3000));
}

TEST_F(RecordKeeperFiles, SafeRecordFollowsTheFlushesOfTheData) {
    RecordKeeper keeper(record_);
    keeper.Reset(header_, RangeSet(), RangeSet());
    // The first flush is due a second after the reset; the loop bounds the
    // wait, it does not time anything.
    RangeRecord safe;
    for (int i = 0; i < 500 && !LoadRecordFile(SafeRecordPathFor(record_), &safe); ++i) {
        ASSERT_TRUE(keeper.Update(data_, Ranges(0, 5000), false));
        Sleep(10);
    }
    EXPECT_EQ(safe.done, Ranges(0, 5000));
    EXPECT_TRUE(safe.written.Empty());
    keeper.Quiesce();
}

TEST_F(RecordKeeperFiles, ValidCurrentRecordIsLoadedFirst) {
    RecordKeeper keeper(record_);
    keeper.Reset(header_, RangeSet(), RangeSet());
    ASSERT_TRUE(keeper.Update(data_, Ranges(0, 3000), true));
    RangeRecord newer = header_;
    newer.done = Ranges(0, 4000);
    ASSERT_TRUE(SaveRecordFile(record_, newer, false));
    RangeRecord loaded;
    ASSERT_TRUE(LoadResumeRecord(record_, kAnySize, 0, &loaded));
    EXPECT_EQ(loaded.done, Ranges(0, 4000));
    // A data file cut short below what it claims: the safe record, not nothing.
    ASSERT_TRUE(LoadResumeRecord(record_, 3500, 0, &loaded));
    EXPECT_EQ(loaded.done, Ranges(0, 3000));
    EXPECT_FALSE(LoadResumeRecord(record_, 2999, 0, &loaded));
}

TEST_F(RecordKeeperFiles, ARecordHeldByAnotherProgramIsSavedOnceItLetsGo) {
    RecordKeeper keeper(record_);
    keeper.Reset(header_, RangeSet(), RangeSet());
    ASSERT_TRUE(keeper.Update(data_, Ranges(0, 1000), true));
    // Open for reading, shared with readers only: no rename over it.
    HANDLE held = CreateFileW(record_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Saves are due every few milliseconds; for a third of a second each is refused.
    bool kept = true;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 300; Sleep(RecordKeeper::kRecordMs))
        kept = kept && keeper.Update(data_, Ranges(0, 2000), false);
    RangeRecord loaded;
    const bool readable = LoadRecordFile(record_, &loaded);
    CloseHandle(held);
    EXPECT_TRUE(kept) << "refused saves do not end the download";
    ASSERT_TRUE(readable);
    EXPECT_TRUE(loaded.written.Empty()) << "the record saved before stands";
    for (int i = 0; i < 100 && loaded.written.Empty(); ++i) {
        Sleep(RecordKeeper::kRecordMs);
        ASSERT_TRUE(keeper.Update(data_, Ranges(0, 2000), false));
        ASSERT_TRUE(LoadRecordFile(record_, &loaded));
    }
    EXPECT_EQ(loaded.written, Ranges(0, 2000));
    keeper.Quiesce();
}

TEST_F(RecordKeeperFiles, ForgetDeletesBothRecords) {
    RecordKeeper keeper(record_);
    keeper.Reset(header_, RangeSet(), RangeSet());
    ASSERT_TRUE(keeper.Update(data_, Ranges(0, 3000), true));
    keeper.Forget();
    RangeRecord loaded;
    EXPECT_FALSE(LoadResumeRecord(record_, kAnySize, 0, &loaded));
    EXPECT_FALSE(FileExists(SafeRecordPathFor(record_)));
}

}  // namespace
