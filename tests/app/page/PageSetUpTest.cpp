// The download page's set-up from what an earlier run left, its progress
// display, completion with the install question, and the way out.
#include "tests/app/page/PageTestSupport.h"

#include "config/DownloaderConfig.h"
#include "app/AppMessages.h"
#include "engine/FileChecks.h"
#include "codec/Md5.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

std::wstring Md5Text(const std::string& bytes) {
    CMd5 md5;
    md5.Update(bytes.data(), bytes.size());
    uint8_t digest[CMd5::kDigestBytes];
    md5.Final(digest);
    wchar_t text[CMd5::kDigestBytes * 2 + 1];
    for (size_t i = 0; i < CMd5::kDigestBytes; ++i) swprintf(text + i * 2, 3, L"%02x", digest[i]);
    return text;
}

}  // namespace

class PageSetUpTest : public PageTest {
protected:
    // What an earlier run records when it starts a download in folder_.
    void RecordEarlierRun(bool ticked) {
        CStateFile state(statePath_);
        state.Create();
        state.SetDir(folder_);
        state.SetDlKD(ticked);
    }

    // Opens the page on an earlier run (companion ticked) whose installer is
    // complete on disk and matches the configured digest.
    void OpenOnASoundCompleteFile() {
        const std::string bytes(1000, 'g');
        PageConfig config;
        config.md5 = Md5Text(bytes);
        Configure(config);
        RecordEarlierRun(true);
        ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile, bytes));
        OpenPage();
    }
};

TEST_F(PageSetUpTest, APartialDownloadOpensPausedWithTheRecordedFolderAndChoice) {
    RecordEarlierRun(false);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    OpenPage();
    EXPECT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    EXPECT_EQ(folder_, Page().SaveFolder());
    EXPECT_EQ(folder_, Page().FolderText());
    EXPECT_FALSE(Page().IsCheckBoxTicked()) << "the recorded choice";
    EXPECT_FALSE(Page().IsCheckBoxEnabled());
    EXPECT_EQ(L"速度：0.0KB/s", Page().SpeedText());
    ASSERT_NE(nullptr, Game());
    EXPECT_FALSE(Game()->owned);
    EXPECT_FALSE(Game()->running);
    EXPECT_EQ(nullptr, SetupTask());
    EXPECT_EQ(0u, engine().Find("Init"));
    EXPECT_EQ("Option 3 ", engine().calls[1]);
    EXPECT_EQ("Option 4 6881-6889", engine().calls[2]);
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
}

TEST_F(PageSetUpTest, APartialDownloadShowsItsRealProgressBeforeItResumes) {
    // The engine reports a created task's saved progress before it starts.
    RecordEarlierRun(true);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    OpenPage();
    ScriptedTask* game = Game();
    ASSERT_NE(nullptr, game);
    game->info.totalBytes = 1000;
    game->info.completedBytes = 400;
    Command(CDLDlg::ID_CHECK_BOX);  // the refresh a toggle makes
    EXPECT_EQ(40, Page().ProgressPosition());
    EXPECT_TRUE(Page().IsCheckBoxTicked());
    // Ticked, with a companion task created afresh and no record yet: 10 MiB.
    EXPECT_EQ(L"400.00B/10.00MB", Page().SizeText());
}

TEST_F(PageSetUpTest, ASoundCompleteFileOpensFinished) {
    ASSERT_NO_FATAL_FAILURE(OpenOnASoundCompleteFile());
    EXPECT_EQ(CDLDlg::Face::Install, Page().CurrentFace());
    EXPECT_EQ(100, Page().ProgressPosition());
    EXPECT_FALSE(Page().IsCheckBoxEnabled());
    EXPECT_EQ(L"10.00MB/10.00MB", Page().SizeText()) << "game and companion fallback size";
    Command(CDLDlg::ID_INSTALL);
    ASSERT_EQ(1u, opened_.size());
    EXPECT_EQ(folder_ + kGameFile, opened_[0]);
}

TEST_F(PageSetUpTest, ACompleteFileWithAWrongDigestIsDeletedAndThePageStartsIdle) {
    RecordEarlierRun(true);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile, std::string(1000, 'g')));
    OpenPage();
    EXPECT_FALSE(FileExists(folder_ + kGameFile));
    EXPECT_EQ(CDLDlg::Face::Start, Page().CurrentFace());
    EXPECT_TRUE(Page().IsCheckBoxEnabled());
    EXPECT_TRUE(Page().IsChangeFolderShown());
    EXPECT_FALSE(Page().IsOpenFolderShown());
    EXPECT_EQ(nullptr, Game());
}

TEST_F(PageSetUpTest, NothingEarlierOpensIdleWithTheTotalIncludingTheCompanion) {
    OpenPage();
    EXPECT_EQ(CDLDlg::Face::Start, Page().CurrentFace());
    EXPECT_TRUE(Page().IsCheckBoxTicked());
    EXPECT_TRUE(CStateFile(statePath_).Exists()) << "a fresh state file";
    EXPECT_EQ(L"0.00B/10.00MB", Page().SizeText());
    Page().SetCompanionChoice(false);
    EXPECT_EQ(L"0.00B/1000.00B", Page().SizeText());
    EXPECT_FALSE(CStateFile(statePath_).GetDlKD(true)) << "the toggle is recorded";
}

TEST_F(PageSetUpTest, AGameTotalOfZeroShowsTheConfiguredSize) {
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    Game()->info.completedBytes = 24;
    Polls(1);
    EXPECT_EQ(L"24.00B/1000.00B", Page().SizeText());
    EXPECT_EQ(2, Page().ProgressPosition());
}

TEST_F(PageSetUpTest, AFolderRefusedForSpaceShowsTheFolderPromptAndStaysIdle) {
    volumes_.limitFree = true;
    volumes_.freeBytes = 1000;  // exactly the game's size: not enough
    OpenPage();
    StartInFolder();
    ASSERT_GE(prompts_.Count("folder"), 2u) << "at the change and at the start";
    EXPECT_EQ(L"磁盘空间不足，请您重新选择目录!", prompts_.texts[0]);
    EXPECT_EQ(CDLDlg::Face::Start, Page().CurrentFace());
    EXPECT_EQ(nullptr, Game());
}

TEST_F(PageSetUpTest, ContinueWithoutThePartialFileOffersADownloadAgain) {
    RecordEarlierRun(false);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    OpenPage();
    ::DeleteFileW((folder_ + kGameFile + L".P2P").c_str());
    const int before = GameId();
    prompts_.answers["damaged"] = 2;
    Command(CDLDlg::ID_CONTINUE);
    EXPECT_EQ(1u, prompts_.Count("damaged"));
    EXPECT_NE(before, GameId());
    EXPECT_TRUE(Game()->running);
    EXPECT_EQ(1u, Reports().Count("?action=6&"));
    EXPECT_EQ(1u, Reports().Count("?action=4&"));
}

TEST_F(PageSetUpTest, CompletionAsksToInstallAndInstallsOnce) {
    PageConfig config;
    config.safecheck = L"";  // size alone: the configured digest does not matter
    Configure(config);
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    Reports().Clear();
    WriteInstaller(1000);
    prompts_.answers["install"] = 2;
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    ASSERT_EQ(1u, prompts_.Count("install"));
    EXPECT_EQ(L"测试游戏下载完成，是否立即安装？", prompts_.texts.back());
    EXPECT_TRUE(opened_.empty()) << "the installer starts after the completion routine";
    MSG msg;
    while (::PeekMessageW(&msg, Page().m_hWnd, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ASSERT_EQ(1u, opened_.size());
    EXPECT_EQ(folder_ + kGameFile, opened_[0]);
    EXPECT_EQ(CDLDlg::Face::Install, Page().CurrentFace());
    EXPECT_FALSE(Game()->running);
    EXPECT_EQ(1u, Reports().Count("?action=5&cg=1&cwdm=3"));
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_PROGRESS));
}

TEST_F(PageSetUpTest, AWrongDigestShowsTheVerificationPromptAndStillReportsTheEnd) {
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    WriteInstaller(1000);
    prompts_.answers["verification"] = 2;
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    EXPECT_EQ(0u, prompts_.Count("install"));
    EXPECT_EQ(1u, prompts_.Count("verification"));
    ASSERT_EQ(1u, selected_.size()) << "its button opens the folder with the file selected";
    EXPECT_EQ(folder_ + kGameFile, selected_[0]);
    EXPECT_EQ(1u, Reports().Count("?action=5&cg=1&cwdm=3"));
    EXPECT_EQ(CDLDlg::Face::Install, Page().CurrentFace());
    EXPECT_TRUE(FileExists(folder_ + kGameFile)) << "the file stays";
}

// With GameSha256 the whole installer is checked before the question is
// asked, whatever safecheck says, and again right before it is launched
// (a file that changed since is caught).
TEST_F(PageSetUpTest, AWholeFileDigestMustHoldBeforeTheInstallQuestionAndTheLaunch) {
    for (const bool right : {true, false}) {
        PageConfig config;
        config.safecheck = L"0";
        // The digest of the 1000 'x' bytes written below, in either case.
        config.sha256 = right ? L"44F8354494A5BA03BA1792A8D3E9C534C47A9181980FDE7A3F44B06EF2AE7C7F" : std::wstring(64, L'0');
        Configure(config);
        OpenPage();
        Page().SetCompanionChoice(false);
        StartInFolder();
        WriteInstaller(1000);
        prompts_.answers["install"] = 2;
        prompts_.answers["verification"] = 1;
        const size_t installs = prompts_.Count("install"), failures = prompts_.Count("verification");
        Game()->info.state = P2SP_STATE_FINISHED;
        Polls(1);
        EXPECT_EQ(installs + (right ? 1u : 0u), prompts_.Count("install")) << right;
        EXPECT_EQ(failures + (right ? 0u : 1u), prompts_.Count("verification")) << right;
        if (right) {
            MSG msg;
            while (::PeekMessageW(&msg, Page().m_hWnd, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            EXPECT_EQ(1u, opened_.size()) << "launched: the file is as it was checked";
            // Changed after its check: the launch is refused.
            ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile, std::string(999, 'x') + "y"));
            Command(CDLDlg::ID_INSTALL);
            EXPECT_EQ(1u, opened_.size());
            EXPECT_EQ(failures + 1, prompts_.Count("verification"));
        }
        page_.reset();
        opened_.clear();
    }
}

TEST_F(PageSetUpTest, OnlyTheNamedPublishersInstallerIsLaunched) {
    PageConfig config;
    config.safecheck = L"";
    config.signer = L"Xingchen Games Ltd";
    Configure(config);
    PublisherVerdict verdict = PublisherVerdict::kOtherPublisher;
    std::wstring asked;
    OpenPage([&](PageServices& services) {
        services.checkPublisher = [&](const std::wstring& path, const std::wstring& publisher) {
            asked = path + L"|" + publisher;
            return verdict;
        };
    });
    Page().SetCompanionChoice(false);
    StartInFolder();
    WriteInstaller(1000);
    Command(CDLDlg::ID_INSTALL);
    EXPECT_EQ(folder_ + kGameFile + L"|Xingchen Games Ltd", asked);
    EXPECT_EQ(1u, prompts_.Count("publisher"));
    EXPECT_TRUE(opened_.empty()) << "not launched";
    verdict = PublisherVerdict::kTrusted;
    Command(CDLDlg::ID_INSTALL);
    ASSERT_EQ(1u, opened_.size());
    EXPECT_EQ(folder_ + kGameFile, opened_[0]);
}

TEST_F(PageSetUpTest, AFinishedTaskWhoseFileIsLateWaitsForIt) {
    PageConfig config;
    config.safecheck = L"0";
    Configure(config);
    OpenPage();
    Page().SetCompanionChoice(false);
    StartInFolder();
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    EXPECT_TRUE(Page().IsTimerRunning(CDLDlg::TIMER_FILE_WAIT));
    EXPECT_EQ(0u, prompts_.Count("install"));
    Tick(CDLDlg::TIMER_FILE_WAIT);
    WriteInstaller(1000);
    Tick(CDLDlg::TIMER_FILE_WAIT);
    EXPECT_FALSE(Page().IsTimerRunning(CDLDlg::TIMER_FILE_WAIT));
    EXPECT_EQ(1u, prompts_.Count("install"));
}

TEST_F(PageSetUpTest, ExitWhileTheInstallPromptIsOpenEndsAfterTheRoutineWithNoEngineCallAfterUninit) {
    PageConfig config;
    config.safecheck = L"";
    Configure(config);
    OpenPage();
    StartInFolder();  // with the companion: two tasks to stop
    WriteInstaller(1000);
    prompts_.during["install"] = [this] {
        Command(ID_EXIT_DOWNLOADER);
        EXPECT_TRUE(PageAlive()) << "not while the prompt runs";
        EXPECT_EQ(std::string::npos, engine().Find("Uninit"));
    };
    prompts_.answers["install"] = 2;  // as if the install button won the race
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    EXPECT_EQ(1, prompts_.closeAllCalls) << "the prompt is closed";
    EXPECT_FALSE(PageAlive());
    ASSERT_FALSE(engine().calls.empty());
    EXPECT_EQ("Uninit", engine().calls.back()) << "no engine call follows Uninit";
    EXPECT_EQ(1u, engine().Count("Uninit"));
    EXPECT_EQ(1u, Reports().Count("?action=5&cg=1&cwdm=3")) << "the interrupted routine finished";
    MSG msg;
    bool quit = false;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
    EXPECT_TRUE(opened_.empty()) << "nothing is installed on the way out";
}

TEST_F(PageSetUpTest, CloseHidesToTheNotificationAreaAndExitRemovesTheIcon) {
    OpenPage();
    Page().ShowWindow(SW_SHOW);
    Page().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(Page().m_hWnd));
    EXPECT_TRUE(Page().HasTrayIcon());
    Page().SendMessage(CDLDlg::WM_TRAYICON, CDLDlg::kTrayIconId, WM_LBUTTONUP);
    EXPECT_TRUE(::IsWindowVisible(Page().m_hWnd));
    EXPECT_TRUE(Page().HasTrayIcon()) << "the icon stays";
    Command(ID_EXIT_DOWNLOADER);
    EXPECT_FALSE(PageAlive());
    EXPECT_FALSE(Page().HasTrayIcon()) << "exit removes the icon";
    EXPECT_EQ("Uninit", engine().calls.back());
}

TEST_F(PageSetUpTest, LinksAndFolderCommands) {
    OpenPage();
    Command(CDLDlg::ID_FEEDBACK);
    Command(CDLDlg::ID_PROMOTION);
    ASSERT_EQ(2u, links_.size());
    EXPECT_EQ(L"http://127.0.0.1:17223/forum.html", links_[0]);
    EXPECT_EQ(L"http://127.0.0.1:17223/", links_[1]);

    Command(CDLDlg::ID_CHANGE_FOLDER);
    Command(CDLDlg::ID_OPEN_FOLDER);
    ASSERT_EQ(1u, opened_.size());
    EXPECT_EQ(folder_, opened_[0]);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    Command(CDLDlg::ID_OPEN_FOLDER);
    ASSERT_EQ(1u, selected_.size());
    EXPECT_EQ(folder_ + kGameFile + L".P2P", selected_[0]);
    ::DeleteFileW((folder_ + kGameFile + L".P2P").c_str());
    ::DeleteFileW((folder_ + L"config.ini").c_str());
    ::DeleteFileW(statePath_.c_str());
    ::RemoveDirectoryW(folder_.c_str());
    Command(CDLDlg::ID_OPEN_FOLDER);
    EXPECT_EQ(1u, prompts_.Count("diropen"));
}

TEST_F(PageSetUpTest, TheWebPaneFallsBackToThePanelAndThePageKeepsWorking) {
    PageConfig config;
    config.embedLink = std::wstring(kPortalBase) + L"/promo/7223.html";
    Configure(config);
    const size_t before = ReadLines(PortalLogPath()).size();
    OpenPage();
    EXPECT_TRUE(PumpUntil([this] { return Page().WebPane().IsPanelVisible(); }, 20000))
        << "a page the platform cannot show gives way to the panel";
    EXPECT_FALSE(Page().WebPane().IsViewVisible());
    EXPECT_TRUE(PumpUntil([&] { return CountLinesContaining(PortalLogPath(), "GET /promo/7223.html", before) > 0; },
                          5000))
        << "the page was asked for";
    Page().SetCompanionChoice(false);
    StartInFolder();
    ASSERT_NE(nullptr, Game());
    EXPECT_TRUE(Game()->running);
}

TEST_F(PageSetUpTest, WithoutAnEmbeddedPageOrOfflineThePanelShowsFromTheStart) {
    OpenPage();
    EXPECT_TRUE(Page().WebPane().IsPanelVisible());
    EXPECT_FALSE(Page().WebPane().IsViewVisible());
    page_.reset();
    PageConfig config;
    config.embedLink = std::wstring(kPortalBase) + L"/promo/7223.html";
    Configure(config);
    online_ = false;
    const size_t before = ReadLines(PortalLogPath()).size();
    OpenPage();
    EXPECT_TRUE(Page().WebPane().IsPanelVisible());
    ::Sleep(300);
    EXPECT_EQ(0u, CountLinesContaining(PortalLogPath(), "/promo/", before));
}

TEST_F(PageSetUpTest, TheRecordedFolderIsProbedWithoutDriveErrorBoxes) {
    RecordEarlierRun(false);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    const UINT before = CurrentErrorMode();
    OpenPage();
    ASSERT_EQ(CDLDlg::Face::Continue, Page().CurrentFace());
    const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    size_t recorded = 0;
    for (const ScriptedVolumes::Probe& probe : volumes_.probes) {
        if (probe.path.compare(0, folder_.size() - 1, folder_, 0, folder_.size() - 1) != 0) continue;
        ++recorded;
        EXPECT_EQ(quiet, probe.errorMode & quiet) << Narrow(probe.path);
    }
    EXPECT_GE(recorded, 2u) << "the folder and its partial file are probed through the drive facts";
    EXPECT_EQ(before, CurrentErrorMode()) << "the mode is given back";
}

TEST_F(PageSetUpTest, ACompleteDownloadAtSetUpLeavesTheCompanionToOtherDownloaders) {
    ASSERT_NO_FATAL_FAILURE(OpenOnASoundCompleteFile());
    ASSERT_EQ(CDLDlg::Face::Install, Page().CurrentFace());
    EXPECT_TRUE(Page().IsCheckBoxTicked());
    EXPECT_FALSE(MutexExists(mutexName_)) << "nothing is left to download";
    EXPECT_EQ(nullptr, SetupTask());
}

TEST_F(PageSetUpTest, APartialDownloadAtSetUpClaimsTheCompanionForItsTask) {
    RecordEarlierRun(true);
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile + L".P2P", "part"));
    OpenPage();
    EXPECT_TRUE(MutexExists(mutexName_));
    EXPECT_NE(nullptr, SetupTask());
}

TEST_F(PageSetUpTest, ACompanionTaskTheEngineRefusesLeavesTheCompanionUnclaimed) {
    engine().refuseSuffix = kSetupFile;
    OpenPage();
    StartInFolder();
    EXPECT_EQ(nullptr, SetupTask());
    EXPECT_FALSE(MutexExists(mutexName_));
    ASSERT_NE(nullptr, Game());
    EXPECT_TRUE(Game()->running) << "the game goes on alone";
}

TEST_F(PageSetUpTest, ACompanionSetupLeftByAnEarlierRunCountsTheSameOnBothSides) {
    PageConfig config;
    config.safecheck = L"";
    Configure(config);
    ASSERT_TRUE(WriteFileBytes(TempFolder() + kSetupFile, std::string(3000, 's')));
    // Another downloader is fetching the companion: this one only counts it.
    HANDLE other = ::CreateMutexW(nullptr, FALSE, mutexName_.c_str());
    ASSERT_NE(nullptr, other);
    OpenPage();
    EXPECT_EQ(L"2.93KB/3.91KB", Page().SizeText()) << "the setup's own size, done and in the total";
    StartInFolder();
    ASSERT_EQ(nullptr, SetupTask());
    WriteInstaller(1000);
    Game()->info.totalBytes = 1000;
    Game()->info.completedBytes = 1000;
    Game()->info.state = P2SP_STATE_FINISHED;
    Polls(1);
    ASSERT_EQ(1u, prompts_.Count("install"));
    EXPECT_EQ(100, Page().ProgressPosition());
    EXPECT_EQ(L"3.91KB/3.91KB", Page().SizeText());
    ::CloseHandle(other);
}
