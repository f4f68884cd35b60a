// The companion offer: the claim, the per-poll check and the setup launch.
#include "app/Companion.h"

#include "tests/app/page/PageTestSupport.h"
#include "report/StatisticsMgr.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <vector>

using namespace testing_support;

namespace {

std::wstring FreshFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + UniqueName(name) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

P2spTaskInfo Record(uint32_t speed, uint8_t state = P2SP_STATE_RUNNING) {
    P2spTaskInfo info{};
    info.serverSpeed = speed;
    info.state = state;
    return info;
}

CompanionState Pending() {
    CompanionState state;
    state.ticked = true;
    state.taskId = 3;
    return state;
}

struct RecordingLauncher {
    std::vector<ShellLaunch> launches;
    std::vector<DWORD> threads;
    std::vector<HRESULT> apartmentProbes;  // CoInitializeEx(STA) on the launching thread
    bool accept = true;
    ProcessLauncher Bind() {
        return [this](const ShellLaunch& launch) {
            launches.push_back(launch);
            threads.push_back(::GetCurrentThreadId());
            // S_FALSE: the thread already has a single-threaded apartment.
            const HRESULT probe = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            if (SUCCEEDED(probe)) ::CoUninitialize();
            apartmentProbes.push_back(probe);
            return accept;
        };
    }
};

}  // namespace

TEST(CompanionClaim, UsesTheSharedMutexName) {
    EXPECT_STREQ(L"keldordownloading_{947FA079-EA1A-4987-BE02-F4E20A20CD1C}", kCompanionMutexName);
}

TEST(CompanionClaim, OnlyTheFirstClaimWins) {
    const std::wstring name = UniqueName(L"vorla_claim_");
    const ScopedHandle first = ClaimCompanion(name.c_str());
    EXPECT_TRUE(first);
    EXPECT_FALSE(ClaimCompanion(name.c_str()));
}

TEST(CompanionClaim, RefusedClaimDoesNotKeepTheLockAlive) {
    const std::wstring name = UniqueName(L"vorla_held_");
    HANDLE other = ::CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, other);
    EXPECT_FALSE(ClaimCompanion(name.c_str()));
    // Once the other downloader ends, the companion can be claimed again.
    ::CloseHandle(other);
    EXPECT_TRUE(ClaimCompanion(name.c_str()));
}

TEST(CompanionClaim, TheClaimLastsAsLongAsItsHandle) {
    const std::wstring name = UniqueName(L"vorla_kept_");
    ScopedHandle claim = ClaimCompanion(name.c_str());
    ASSERT_TRUE(claim);
    EXPECT_FALSE(ClaimCompanion(name.c_str())) << "held";
    claim.reset();
    EXPECT_TRUE(ClaimCompanion(name.c_str())) << "let go";
}

TEST(CompanionDone, SixIdlePollsGiveTheCompanionUp) {
    CompanionState state = Pending();
    for (int poll = 1; poll <= 5; ++poll) {
        EXPECT_FALSE(UpdateCompanionDone(state, Record(0))) << poll;
        EXPECT_EQ(0, state.doneFlag);
    }
    EXPECT_TRUE(UpdateCompanionDone(state, Record(0)));
    EXPECT_EQ(1, state.doneFlag);
    // Handed over once: later polls do nothing.
    EXPECT_FALSE(UpdateCompanionDone(state, Record(0)));
    EXPECT_EQ(6, state.idleCount);
}

TEST(CompanionDone, MovingBytesResetTheIdleCount) {
    CompanionState state = Pending();
    for (int poll = 0; poll < 5; ++poll) UpdateCompanionDone(state, Record(0));
    EXPECT_FALSE(UpdateCompanionDone(state, Record(1)));
    EXPECT_EQ(0, state.idleCount);
    for (int poll = 0; poll < 5; ++poll) EXPECT_FALSE(UpdateCompanionDone(state, Record(0)));
    EXPECT_TRUE(UpdateCompanionDone(state, Record(0)));
}

TEST(CompanionDone, PeerSpeedAloneIsNotIdle) {
    CompanionState state = Pending();
    P2spTaskInfo peersOnly = Record(0);
    peersOnly.peerSpeed = 5;
    for (int poll = 0; poll < 10; ++poll) EXPECT_FALSE(UpdateCompanionDone(state, peersOnly));
}

TEST(CompanionDone, FinishedOrFailedEndsTheWait) {
    for (uint8_t state : {P2SP_STATE_FINISHED, P2SP_STATE_SOURCE_FAILED, P2SP_STATE_LOCAL_FAILED}) {
        CompanionState companion = Pending();
        EXPECT_TRUE(UpdateCompanionDone(companion, Record(100, state))) << int(state);
        EXPECT_EQ(1, companion.doneFlag);
    }
}

TEST(CompanionDone, NothingHappensUnlessPending) {
    CompanionState unticked = Pending();
    unticked.ticked = false;
    CompanionState noTask = Pending();
    noTask.taskId = -1;
    for (CompanionState state : {unticked, noTask}) {
        for (int poll = 0; poll < 10; ++poll) EXPECT_FALSE(UpdateCompanionDone(state, Record(0, P2SP_STATE_FINISHED)));
        EXPECT_EQ(0, state.doneFlag);
        EXPECT_EQ(0, state.idleCount);
        EXPECT_FALSE(IsCompanionPending(state));
    }
    EXPECT_TRUE(IsCompanionPending(Pending()));
}

TEST(CompanionSetup, LaunchesSilentlyFromTheTemporaryFolderAndReportsOnce) {
    const std::wstring folder = FreshFolder(L"vorla_setup_");
    ASSERT_TRUE(WriteFileBytes(folder + L"KeldorSetup.exe", "MZ"));
    RecordingLauncher launcher;
    CompanionSetupJob job{L"KeldorSetup.exe", folder, launcher.Bind()};
    const size_t before = Reports().Urls().size();

    EXPECT_TRUE(RunCompanionSetup(job));
    ASSERT_EQ(1u, launcher.launches.size());
    EXPECT_EQ(folder + L"KeldorSetup.exe", launcher.launches[0].file);
    EXPECT_EQ(L"/S", launcher.launches[0].parameters);
    EXPECT_EQ(folder, launcher.launches[0].directory);
    EXPECT_EQ(SW_HIDE, launcher.launches[0].show);
    EXPECT_EQ(before + 1, Reports().Urls().size());
}

TEST(CompanionSetup, MissingFileOrNameLaunchesNothingAndReportsNothing) {
    const std::wstring folder = FreshFolder(L"vorla_nosetup_");
    RecordingLauncher launcher;
    const size_t before = Reports().Urls().size();
    EXPECT_FALSE(RunCompanionSetup({L"KeldorSetup.exe", folder, launcher.Bind()}));
    EXPECT_FALSE(RunCompanionSetup({L"", folder, launcher.Bind()}));
    // A folder of the setup's name is not the setup.
    ::CreateDirectoryW((folder + L"Sub").c_str(), nullptr);
    EXPECT_FALSE(RunCompanionSetup({L"Sub", folder, launcher.Bind()}));
    EXPECT_TRUE(launcher.launches.empty());
    EXPECT_EQ(before, Reports().Urls().size());
}

TEST(CompanionSetup, RefusedLaunchIsNotReported) {
    const std::wstring folder = FreshFolder(L"vorla_refused_");
    ASSERT_TRUE(WriteFileBytes(folder + L"KeldorSetup.exe", "MZ"));
    RecordingLauncher launcher;
    launcher.accept = false;
    const size_t before = Reports().Urls().size();
    EXPECT_FALSE(RunCompanionSetup({L"KeldorSetup.exe", folder, launcher.Bind()}));
    EXPECT_EQ(1u, launcher.launches.size());
    EXPECT_EQ(before, Reports().Urls().size());
    // A setup not signed by the named publisher is not even started.
    CompanionSetupJob job(L"KeldorSetup.exe", folder, launcher.Bind());
    job.signer = L"Keldor Security";
    std::wstring checked;
    job.checkPublisher = [&](const std::wstring& path, const std::wstring& publisher) {
        checked = path + L"|" + publisher;
        return PublisherVerdict::kOtherPublisher;
    };
    EXPECT_FALSE(RunCompanionSetup(job));
    EXPECT_EQ(folder + L"KeldorSetup.exe|Keldor Security", checked);
    EXPECT_EQ(1u, launcher.launches.size());
    EXPECT_EQ(before, Reports().Urls().size());
}

TEST(CompanionSetup, RunsOnAWorkerThread) {
    const std::wstring folder = FreshFolder(L"vorla_worker_");
    ASSERT_TRUE(WriteFileBytes(folder + L"KeldorSetup.exe", "MZ"));
    RecordingLauncher launcher;
    const size_t before = Reports().Urls().size();
    std::thread worker;
    LaunchCompanionSetup({L"KeldorSetup.exe", folder, launcher.Bind()}, &worker);
    ASSERT_TRUE(worker.joinable());
    worker.join();
    ASSERT_EQ(1u, launcher.threads.size());
    EXPECT_NE(::GetCurrentThreadId(), launcher.threads[0]);
    EXPECT_EQ(before + 1, Reports().Urls().size());
}

TEST(CompanionSetup, TheLauncherThreadCallsTheShellInsideASingleThreadedApartment) {
    const std::wstring folder = FreshFolder(L"vorla_apartment_");
    ASSERT_TRUE(WriteFileBytes(folder + L"KeldorSetup.exe", "MZ"));
    RecordingLauncher launcher;
    std::thread worker;
    LaunchCompanionSetup({L"KeldorSetup.exe", folder, launcher.Bind()}, &worker);
    ASSERT_TRUE(worker.joinable());
    worker.join();
    ASSERT_EQ(1u, launcher.apartmentProbes.size());
    EXPECT_EQ(S_FALSE, launcher.apartmentProbes[0]);
}

TEST(CompanionSetup, RealSetupRunsWithSilentSwitch) {
    const std::wstring folder = FreshFolder(L"vorla_realsetup_");
    ASSERT_TRUE(::CopyFileW((BinDir() + L"\\vorla_fixture_companion.exe").c_str(),
                            (folder + L"KeldorSetup.exe").c_str(), FALSE));
    const std::wstring log = folder + L"runs.log";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"VORLA_FIXTURE_LOG", log.c_str()));
    const size_t before = Reports().Urls().size();

    EXPECT_TRUE(RunCompanionSetup({L"KeldorSetup.exe", folder, ShellExecuteLauncher}));
    EXPECT_EQ(before + 1, Reports().Urls().size());
    // The setup is not waited for; its record shows that it ran.
    EXPECT_TRUE(PumpUntil([&] { return CountLinesContaining(log, "companion\t/S\t") > 0; }, 60000));
    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("KeldorSetup.exe"));
    ::SetEnvironmentVariableW(L"VORLA_FIXTURE_LOG", nullptr);
}
