// The download manager against fake engines carried as resources of this
// program (DOWNLOAD_LIB 201 full, 202 StartTask fails, 203 lacks StopSeed,
// 204 a damaged stored form). The fakes log their calls to the environment
// variable VORLA_FAKE_ENGINE_CALLS.
#include "engine/DownloadManager.h"
#include "config/DownloaderConfig.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace testing_support;

namespace {

const int kFakeEngine = 201;
const int kFakeEngineStartFails = 202;
const int kFakeEngineNoStopSeed = 203;
const int kOverlongStoredForm = 204;
const wchar_t kType[] = L"DOWNLOAD_LIB";

std::wstring EnginePath(const wchar_t* name) { return TempFolder() + L"vorla-" + name + L".dll"; }

void ClearCalls() { ::SetEnvironmentVariableW(L"VORLA_FAKE_ENGINE_CALLS", nullptr); }

std::wstring Calls() {
    wchar_t calls[4096] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"VORLA_FAKE_ENGINE_CALLS", calls, 4096);
    return n < 4096 ? std::wstring(calls, n) : std::wstring();
}

class RecordingCallback : public CDownloadManager::ICDownloadManagerCallback {
public:
    int OnTaskState(int state) override {
        states.push_back(state);
        return 0;
    }
    std::vector<int> states;
};

class DownloadManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ClearCalls(); }
};

TEST_F(DownloadManagerTest, BoundEnginePassesEveryCallThrough) {
    const std::wstring path = EnginePath(L"fake-engine");
    CDownloadManager manager(kFakeEngine, kType, path);
    ASSERT_TRUE(manager.IsBound());
    EXPECT_TRUE(FileExists(path));

    manager.Init(0);
    manager.SetP2spOption(3, L"http://seed", 22);
    EXPECT_EQ(7, manager.CreateP2SPTask(nullptr, L"http://h/a.exe", L"C:\\a.exe"));
    P2spTaskInfo info{};
    manager.QueryTask(7, &info);
    manager.RemoveTask(7);
    manager.Uninit();
    EXPECT_EQ(L"Init(0);Option(3,http://seed,22);Create(http://h/a.exe,C:\\a.exe);Query(7);Remove(7);Uninit;",
              Calls());
    EXPECT_EQ(1000u, info.totalBytes);
    EXPECT_EQ(250u, info.completedBytes);
    EXPECT_EQ(25u, TaskPercentage(info));
    EXPECT_EQ(123u, TaskSpeed(info));
}

TEST_F(DownloadManagerTest, StartAndStopNotifyWithoutTaskId) {
    CDownloadManager manager(kFakeEngine, kType, EnginePath(L"fake-engine"));
    RecordingCallback callback;
    manager.SetCallback(&callback);
    EXPECT_EQ(1, manager.StartTask(7));
    EXPECT_EQ(1, manager.StartTask(8));
    EXPECT_EQ(1, manager.StopTask(7));
    EXPECT_EQ((std::vector<int>{CDownloadManager::TASK_STARTED, CDownloadManager::TASK_STARTED,
                                CDownloadManager::TASK_STOPPED}),
              callback.states);
    EXPECT_EQ(L"Start(7);Start(8);Stop(7);", Calls());

    // A later callback replaces the first; none at all is fine.
    RecordingCallback second;
    manager.SetCallback(&second);
    manager.StopTask(8);
    EXPECT_EQ(3u, callback.states.size());
    EXPECT_EQ(1u, second.states.size());
    manager.SetCallback(nullptr);
    EXPECT_EQ(1, manager.StartTask(7));
}

TEST_F(DownloadManagerTest, StartTaskReturningZeroNotifiesNothing) {
    CDownloadManager manager(kFakeEngineStartFails, kType, EnginePath(L"fake-engine-start-fails"));
    ASSERT_TRUE(manager.IsBound());
    RecordingCallback callback;
    manager.SetCallback(&callback);
    EXPECT_EQ(0, manager.StartTask(7));
    EXPECT_TRUE(callback.states.empty());
    EXPECT_EQ(L"Start(7);", Calls());
}

// Every entry point of an unbound manager is harmless: the engine is never
// reached, no task exists, nothing starts and nobody is told anything.
void ExpectHarmlessWhenUnbound(CDownloadManager& manager) {
    ASSERT_FALSE(manager.IsBound());
    RecordingCallback callback;
    manager.SetCallback(&callback);
    manager.Init(0);
    manager.SetP2spOption(3, L"http://seed", 22);
    EXPECT_EQ(CDownloadManager::kNoTask, manager.CreateP2SPTask(nullptr, L"http://h/a.exe", L"C:\\a.exe"));
    EXPECT_EQ(0, manager.StartTask(7));
    EXPECT_EQ(0, manager.StopTask(7));
    P2spTaskInfo info;
    std::memset(&info, 0xCC, sizeof(info));
    manager.QueryTask(7, &info);
    const P2spTaskInfo zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &info, sizeof(info)));
    manager.QueryTask(7, nullptr);
    manager.RemoveTask(7);
    manager.Uninit();
    EXPECT_TRUE(callback.states.empty());
    EXPECT_EQ(L"", Calls());
}

TEST_F(DownloadManagerTest, LibraryLackingOnlyStopSeedIsRejected) {
    const std::wstring path = EnginePath(L"fake-engine-no-stopseed");
    CDownloadManager manager(kFakeEngineNoStopSeed, kType, path);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(nullptr, ::GetModuleHandleW(path.c_str()));
    ExpectHarmlessWhenUnbound(manager);
}

TEST_F(DownloadManagerTest, MissingResourceLeavesTheManagerUnbound) {
    const std::wstring path = EnginePath(L"missing");
    ASSERT_TRUE(WriteFileBytes(path, "an engine file from an earlier run"));
    CDownloadManager manager(999, kType, path);
    EXPECT_FALSE(FileExists(path));
    ExpectHarmlessWhenUnbound(manager);
}

TEST_F(DownloadManagerTest, OverlongStoredFormIsRefusedWithoutAFile) {
    const std::wstring path = EnginePath(L"overlong");
    CDownloadManager manager(kOverlongStoredForm, kType, path);
    EXPECT_FALSE(FileExists(path));
    ExpectHarmlessWhenUnbound(manager);
}

TEST_F(DownloadManagerTest, LeftoverEngineFileIsWrittenAnew) {
    const std::wstring path = EnginePath(L"fake-engine-leftover");
    ASSERT_TRUE(WriteFileBytes(path, "an engine file from an earlier run"));
    CDownloadManager manager(kFakeEngine, kType, path);
    ASSERT_TRUE(manager.IsBound());
    std::string extracted, built;
    ASSERT_TRUE(ReadFileBytes(path, extracted));
    ASSERT_TRUE(ReadFileBytes(BinDir() + L"\\FakeEngine.dll", built));
    EXPECT_TRUE(extracted == built);
}

TEST_F(DownloadManagerTest, DestructionStopsTheEngineUnloadsItAndDeletesTheFile) {
    const std::wstring path = EnginePath(L"fake-engine-end");
    {
        CDownloadManager manager(kFakeEngine, kType, path);
        ASSERT_TRUE(manager.IsBound());
        manager.Init(0);
        EXPECT_NE(nullptr, ::GetModuleHandleW(path.c_str()));
    }
    EXPECT_EQ(L"Init(0);Uninit;", Calls());
    EXPECT_EQ(nullptr, ::GetModuleHandleW(path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(DownloadManagerTest, EngineAlreadyUninitialisedIsNotStoppedAgain) {
    {
        CDownloadManager manager(kFakeEngine, kType, EnginePath(L"fake-engine-end"));
        manager.Init(0);
        manager.Uninit();
    }
    EXPECT_EQ(L"Init(0);Uninit;", Calls());
}

TEST(TaskFigures, PercentageIsTruncatedAndZeroWithoutTotal) {
    P2spTaskInfo info{};
    info.completedBytes = 500;
    EXPECT_EQ(0u, TaskPercentage(info));
    info.totalBytes = 1000;
    info.completedBytes = 999;
    EXPECT_EQ(99u, TaskPercentage(info));
    info.totalBytes = 40000000000ull;  // above 32 bits
    info.completedBytes = 30000000000ull;
    EXPECT_EQ(75u, TaskPercentage(info));
    info.serverSpeed = 0xFFFFFFFFu;
    info.peerSpeed = 1;
    EXPECT_EQ(0x100000000ull, TaskSpeed(info));
}

TEST(DownloadManagerSingleton, BindsTheCarriedEngineAtItsConfiguredPath) {
    CDownloadManager& manager = CDownloadManager::GetInstance();
    EXPECT_EQ(&manager, &CDownloadManager::GetInstance());
    ASSERT_TRUE(manager.IsBound());
    const std::wstring path = TheDownloaderConfig().GetEngineLibraryPath();
    EXPECT_EQ(TempFolder() + L"7290QelvoP2SP.dll", path);
    EXPECT_NE(nullptr, ::GetModuleHandleW(path.c_str()));
    std::string extracted, built;
    ASSERT_TRUE(ReadFileBytes(path, extracted));
    ASSERT_TRUE(ReadFileBytes(BinDir() + L"\\QelvoP2SP.dll", built));
    EXPECT_TRUE(extracted == built);
    // Task id 0 is no task: the record stays zeroed.
    manager.Init(0);
    P2spTaskInfo info{};
    manager.QueryTask(0, &info);
    manager.Uninit();
    const P2spTaskInfo zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &info, sizeof(info)));
}

}  // namespace
