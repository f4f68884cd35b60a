// The exports of QelvoP2SP.dll, loaded the way the program loads it. No
// server is needed here: tasks either never reach the network or point at a
// closed loopback port.
#include "p2sp/P2spApi.h"
#include "p2sp/record/PartialFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Exports {
    HMODULE module = nullptr;
    P2spInitFn Init;
    P2spLoginFn Login;
    P2spUninitFn Uninit;
    P2spCreateTaskFn CreateP2SPTask;
    P2spQueryTaskFn QueryTask;
    P2spStartTaskFn StartTask;
    P2spStopTaskFn StopTask;
    P2spStopSeedFn StopSeed;
    P2spGetFinishMessageFn GetFinishMessage;
    P2spRemoveTaskFn RemoveTask;
    P2spSetConfigInfoFn SetConfigInfo;
    P2spUpdateRegInfoFn UpdateRegInfo;
    P2spSetOptionFn SetP2spOption;
};

template <typename Fn>
void Bind(HMODULE m, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    ASSERT_NE(*fn, nullptr) << name;
}

const wchar_t kClosedPortUrl[] = L"http://127.0.0.1:17259/never.bin";  // nothing listens here

class EngineApi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t self[MAX_PATH];
        std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"QelvoP2SP.dll";
        e_.module = LoadLibraryW(path.c_str());
        ASSERT_NE(e_.module, nullptr);
        HMODULE m = e_.module;
        Bind(m, "Init", &e_.Init);
        Bind(m, "Login", &e_.Login);
        Bind(m, "Uninit", &e_.Uninit);
        Bind(m, "CreateP2SPTask", &e_.CreateP2SPTask);
        Bind(m, "QueryTask", &e_.QueryTask);
        Bind(m, "StartTask", &e_.StartTask);
        Bind(m, "StopTask", &e_.StopTask);
        Bind(m, "StopSeed", &e_.StopSeed);
        Bind(m, "GetFinishMessage", &e_.GetFinishMessage);
        Bind(m, "RemoveTask", &e_.RemoveTask);
        Bind(m, "SetConfigInfo", &e_.SetConfigInfo);
        Bind(m, "UpdateRegInfo", &e_.UpdateRegInfo);
        Bind(m, "SetP2spOption", &e_.SetP2spOption);
    }

    void SetUp() override {
        ASSERT_NE(e_.module, nullptr);
        e_.Init(0);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"p2sp-api-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter_);
        CreateDirectoryW(dir_.c_str(), nullptr);
        target_ = dir_ + L"\\game.exe";
    }

    void TearDown() override {
        e_.Uninit();
        for (const wchar_t* suffix : {L"", L".P2P", L".P2P.ctl", L".P2P.ctl.new", L".P2P.ctl.safe", L".P2P.ctl.safe.new"})
            DeleteFileW((target_ + suffix).c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    P2spTaskInfo Query(int id) {
        P2spTaskInfo info;
        memset(&info, 0, sizeof(info));
        e_.QueryTask(id, &info);
        return info;
    }

    // Waits for a state other than running; a guard against hanging, not a timing check.
    uint8_t WaitForEnd(int id) {
        for (int i = 0; i < 600; ++i) {
            P2spTaskInfo info = Query(id);
            if (info.state != P2SP_STATE_RUNNING) return info.state;
            Sleep(50);
        }
        return P2SP_STATE_RUNNING;
    }

    void WritePartial(uint64_t fileBytes, const RangeRecord& record) {
        HANDLE h = CreateFileW((target_ + L".P2P").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = LONGLONG(fileBytes);
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        ASSERT_TRUE(SaveRecordFile(target_ + L".P2P.ctl", record));
    }

    static Exports e_;
    static int counter_;
    std::wstring dir_, target_;
};

Exports EngineApi::e_;
int EngineApi::counter_ = 0;

RangeRecord HalfDone() {
    RangeRecord r;
    r.totalSize = 4000;
    r.etag = "\"v1\"";
    r.done.Add(0, 1500);
    r.done.Add(2000, 2500);
    return r;
}

bool AllZero(const P2spTaskInfo& info) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&info);
    for (size_t i = 0; i < sizeof(info); ++i)
        if (p[i]) return false;
    return true;
}

TEST_F(EngineApi, IdZeroAndUnknownIdsLeaveTheRecordZeroed) {
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    ASSERT_GT(id, 0);
    for (int bad : {0, -1, id + 1000}) {
        P2spTaskInfo info;
        memset(&info, 0, sizeof(info));
        EXPECT_EQ(e_.QueryTask(bad, &info), 0);
        EXPECT_TRUE(AllZero(info)) << bad;
        EXPECT_EQ(e_.StartTask(bad), 0);
        EXPECT_EQ(e_.StopTask(bad), 0);
        EXPECT_EQ(e_.RemoveTask(bad), 0);
    }
    EXPECT_EQ(e_.QueryTask(id, nullptr), 0);
}

TEST_F(EngineApi, NoOpExportsAreHarmless) {
    EXPECT_EQ(e_.Login(), 0);
    EXPECT_EQ(e_.StopSeed(), 1);  // ends seeding; harmless with nothing to seed
    EXPECT_EQ(e_.GetFinishMessage(), 0);
    EXPECT_EQ(e_.SetConfigInfo(), 0);
    EXPECT_EQ(e_.UpdateRegInfo(), 0);
    const wchar_t seed[] = L"http://127.0.0.1:17223/seed";
    EXPECT_EQ(e_.SetP2spOption(P2SP_OPTION_SEED_URL, seed, int(wcslen(seed) * 2)), 1);
    EXPECT_EQ(e_.SetP2spOption(P2SP_OPTION_SEED_URL, nullptr, 0), 1);
    EXPECT_EQ(e_.SetP2spOption(99, seed, 4), 0);
    EXPECT_EQ(e_.CreateP2SPTask(nullptr, nullptr, target_.c_str()), 0);
    EXPECT_EQ(e_.CreateP2SPTask(nullptr, kClosedPortUrl, L""), 0);
}

TEST_F(EngineApi, SwarmOptionsTakeOnlySoundValues) {
    struct Case {
        int option;
        const wchar_t* value;
        int result;
    } cases[] = {
        {P2SP_OPTION_LISTEN, L"off", 1},
        {P2SP_OPTION_LISTEN, L"127.0.0.1:17300-17309", 1},
        {P2SP_OPTION_LISTEN, L"6881", 1},
        {P2SP_OPTION_LISTEN, L"everywhere", 0},
        {P2SP_OPTION_LISTEN, L"", 0},
        {P2SP_OPTION_UPLOAD_CAP, L"1048576", 1},
        {P2SP_OPTION_UPLOAD_CAP, L"lots", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(e_.SetP2spOption(c.option, c.value, int(wcslen(c.value) * 2)), c.result) << c.value;
    EXPECT_EQ(e_.SetP2spOption(P2SP_OPTION_LISTEN, nullptr, 0), 0);
    // Back to the default for the tests after this one.
    const wchar_t ports[] = L"6881-6889";
    EXPECT_EQ(e_.SetP2spOption(P2SP_OPTION_LISTEN, ports, int(wcslen(ports) * 2)), 1);
}

TEST_F(EngineApi, ExistingPartialFileShowsProgressBeforeStart) {
    WritePartial(2500, HalfDone());
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    P2spTaskInfo info = Query(id);
    EXPECT_EQ(info.totalBytes, 4000u);
    EXPECT_EQ(info.completedBytes, 2000u);
    EXPECT_EQ(info.state, P2SP_STATE_RUNNING);
    EXPECT_EQ(info.serverSpeed, 0u);
}

TEST_F(EngineApi, RecordClaimingMoreThanTheFileHoldsShowsNothing) {
    WritePartial(1000, HalfDone());  // the data file lost its tail
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    P2spTaskInfo info = Query(id);
    EXPECT_EQ(info.totalBytes, 0u);
    EXPECT_EQ(info.completedBytes, 0u);
}

TEST_F(EngineApi, DamagedRecordShowsNothing) {
    WritePartial(2500, HalfDone());
    HANDLE h = CreateFileW((target_ + L".P2P.ctl").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    LARGE_INTEGER at;
    at.QuadPart = 20;
    SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    WriteFile(h, "\xFF", 1, &written, nullptr);
    CloseHandle(h);
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    EXPECT_EQ(Query(id).completedBytes, 0u);
}

// A power cut can leave the frequent record empty, zeroed or cut short (its
// rename reached the disk before its bytes); the record saved durably with
// the last flush of the data then still gives the progress.
TEST_F(EngineApi, RecordLostToAPowerCutFallsBackToTheSafeRecord) {
    const std::vector<uint8_t> current = EncodeRangeRecord(HalfDone());
    const std::vector<std::vector<uint8_t>> damaged = {
        {},
        std::vector<uint8_t>(current.size(), 0),
        std::vector<uint8_t>(current.begin(), current.begin() + current.size() / 2),
    };
    for (const std::vector<uint8_t>& bytes : damaged) {
        RangeRecord safe = HalfDone();
        safe.done = RangeSet();
        safe.done.Add(0, 1200);
        WritePartial(2500, HalfDone());
        ASSERT_TRUE(SaveRecordFile(target_ + L".P2P.ctl.safe", safe));
        HANDLE h = CreateFileW((target_ + L".P2P.ctl").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(h);
        int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
        P2spTaskInfo info = Query(id);
        EXPECT_EQ(info.totalBytes, 4000u) << bytes.size() << " bytes left";
        EXPECT_EQ(info.completedBytes, 1200u) << bytes.size() << " bytes left";
        e_.RemoveTask(id);
    }
}

TEST_F(EngineApi, CurrentRecordIsPreferredToTheSafeOne) {
    RangeRecord safe = HalfDone();
    safe.done = RangeSet();
    safe.done.Add(0, 1200);
    WritePartial(2500, HalfDone());
    ASSERT_TRUE(SaveRecordFile(target_ + L".P2P.ctl.safe", safe));
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    EXPECT_EQ(Query(id).completedBytes, 2000u);
}

TEST_F(EngineApi, RemoveTaskKeepsThePartialFile) {
    WritePartial(2500, HalfDone());
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    EXPECT_EQ(e_.RemoveTask(id), 1);
    EXPECT_TRUE(FileExists(target_ + L".P2P"));
    EXPECT_TRUE(FileExists(target_ + L".P2P.ctl"));
    EXPECT_EQ(e_.QueryTask(id, nullptr), 0);
    int again = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    EXPECT_NE(again, id);
    EXPECT_EQ(Query(again).completedBytes, 2000u);
}

TEST_F(EngineApi, UnwritableTargetFailsWithLocalState) {
    std::wstring missingDir = dir_ + L"\\no-such-folder\\game.exe";
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, missingDir.c_str());
    ASSERT_EQ(e_.StartTask(id), 1);
    EXPECT_EQ(WaitForEnd(id), P2SP_STATE_LOCAL_FAILED);
}

TEST_F(EngineApi, OnlyOneTaskWritesATarget) {
    int first = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    int second = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    ASSERT_EQ(e_.StartTask(first), 1);  // keeps retrying the closed port
    EXPECT_EQ(e_.StartTask(second), 0);
    EXPECT_EQ(e_.StopTask(first), 1);
    EXPECT_EQ(e_.StartTask(second), 1);  // the stopped writer let the file go
    EXPECT_EQ(e_.StartTask(first), 0);
    EXPECT_EQ(Query(second).state, P2SP_STATE_RUNNING);
}

TEST_F(EngineApi, TaskRecreatedAfterRemovingARunningOneCanWrite) {
    int first = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    ASSERT_EQ(e_.StartTask(first), 1);
    EXPECT_EQ(e_.RemoveTask(first), 1);  // returns without waiting for the worker
    int second = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    EXPECT_EQ(e_.StartTask(second), 1);
    EXPECT_EQ(e_.StartTask(first), 0);
}

TEST_F(EngineApi, StopAndUninitLeaveThePartialFile) {
    int id = e_.CreateP2SPTask(nullptr, kClosedPortUrl, target_.c_str());
    ASSERT_EQ(e_.StartTask(id), 1);
    Sleep(100);
    EXPECT_EQ(e_.StopTask(id), 1);
    e_.Uninit();  // waits for the worker
    EXPECT_TRUE(FileExists(target_ + L".P2P"));
    EXPECT_FALSE(FileExists(target_));
    EXPECT_EQ(e_.QueryTask(id, nullptr), 0);
}

}  // namespace
