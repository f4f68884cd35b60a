// A download page on a scripted engine, with recorded prompts, reports,
// shell calls and setup launches, and a folder of its own.
#pragma once

#include "app/DLDlg.h"
#include "tests/app/page/ScriptedEngine.h"
#include "config/DownloaderConfig.h"
#include "report/StatisticsMgr.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Reports are recorded, never sent.
class ReportRecorder : public CStatisticsMgr {
public:
    ReportRecorder();
    void Post(const std::wstring& url) override;
    std::vector<std::string> Urls();
    void Clear();
    // Recorded reports containing text.
    size_t Count(const std::string& text);

private:
    std::mutex lock_;
    std::vector<std::string> urls_;
};
ReportRecorder& Reports();

class ScriptedPrompts : public IPagePrompts {
public:
    // Kinds: "folder", "install", "verification", "failed", "damaged", "diropen".
    std::vector<std::string> shown;
    std::vector<std::wstring> texts;
    std::map<std::string, int> answers;  // default 4: closed
    // Runs while the named prompt is "open".
    std::map<std::string, std::function<void()>> during;
    int closeAllCalls = 0;

    int Show(HWND, const std::wstring& message) override { return Answer("folder", message); }
    int InstallPrompt(HWND, const std::wstring& text) override { return Answer("install", text); }
    int VerificationFailed(HWND) override { return Answer("verification", L""); }
    int DownloadFailed(HWND) override { return Answer("failed", L""); }
    int FileDamaged(HWND) override { return Answer("damaged", L""); }
    int DirOpenFailed(HWND) override { return Answer("diropen", L""); }
    int PublisherRefused(HWND) override { return Answer("publisher", L""); }
    void CloseAll() override { ++closeAllCalls; }

    size_t Count(const std::string& kind) const;

private:
    int Answer(const std::string& kind, const std::wstring& text);
};

// Real drives, with the free bytes a test may lower.
class ScriptedVolumes : public ISystemVolumes {
public:
    bool limitFree = false;
    uint64_t freeBytes = 0;
    // Every existence probe with the process's error mode at the time.
    struct Probe {
        std::wstring path;
        UINT errorMode;
    };
    std::vector<Probe> probes;

    DWORD LogicalDriveMask() override;
    bool FileSystemName(const std::wstring& root, std::wstring& name) override;
    bool FreeBytes(const std::wstring& path, uint64_t& bytes) override;
    bool SecurityProductPath(int index, std::wstring& path) override;
    bool Exists(const std::wstring& path) override;
    bool CanOpenForWriting(const std::wstring& path) override;
    bool MakeDirectory(const std::wstring& path) override;
    bool RemoveDirectory(const std::wstring& path) override;
    uint64_t BytesOnDisk(const std::wstring& path) override;
};

class FixedFolderDialog : public CSaveLocation::IFolderDialog {
public:
    std::wstring folder;  // empty: cancelled
    int calls = 0;
    bool Browse(HWND, std::wstring& path) override {
        ++calls;
        if (folder.empty()) return false;
        path = folder;
        return true;
    }
};

// The taskbar button's progress, recorded as "attach", "none", "normal 40",
// "paused 40", "error 40", "detach".
class RecordingTaskbar : public IPageTaskbar {
public:
    bool available = true;  // what Attach answers
    std::vector<std::string> calls;

    bool Attach(HWND) override {
        calls.push_back("attach");
        return available;
    }
    void Show(HWND, TaskbarProgress state, unsigned percentage) override;
    void Detach() override { calls.push_back("detach"); }
    // The last state shown; "" when none was.
    std::string Last() const;
};

// Configuration of the page under test.
struct PageConfig {
    std::wstring gameName = L"测试游戏";
    std::wstring promotionTitle;    // TextPromotionTitle
    std::wstring installTip;        // KeldorInstallTip
    std::wstring gameVersion = L"1.0.0";
    uint64_t gameSize = 1000;
    std::wstring safecheck = L"1";
    std::wstring md5;  // of the installer; empty: a digest nothing matches
    std::wstring sha256;  // GameSha256 (none when empty)
    std::wstring signer;  // GameSigner (none when empty)
    bool companion = true;
    std::wstring embedLink;  // EmbedLink2
};

class PageTest : public ::testing::Test {
protected:
    static const wchar_t kGameFile[];   // file name of the game link
    static const wchar_t kSetupFile[];  // file name of the companion link

    void SetUp() override;
    void TearDown() override;

    void Configure(const PageConfig& config);
    // Creates the page window (hidden) on the services, which adjust may
    // change first.
    CDLDlg& OpenPage(const std::function<void(PageServices&)>& adjust = nullptr);
    CDLDlg& Page() { return *page_; }
    bool PageAlive() const { return page_ && page_->m_hWnd && ::IsWindow(page_->m_hWnd); }

    void Command(WORD id);
    void Tick(UINT_PTR timer = CDLDlg::TIMER_PROGRESS);
    // Ticks the progress timer n times.
    void Polls(int n);
    // Accepts the folder and presses start.
    void StartInFolder();

    ScriptedTask* Game() { return engine().Newest(std::wstring(L"/") + kGameFile); }
    ScriptedTask* SetupTask() { return engine().Newest(std::wstring(L"/") + kSetupFile); }
    int GameId() { return engine().NewestId(std::wstring(L"/") + kGameFile); }
    int SetupTaskId() { return engine().NewestId(std::wstring(L"/") + kSetupFile); }
    static ScriptedEngine& engine() { return ScriptedEngine::Get(); }

    // An installer file of the configured size at the target.
    void WriteInstaller(uint64_t size);

    std::wstring folder_;        // the save folder, with "\"
    std::wstring statePath_;
    std::wstring mutexName_;
    bool online_ = true;
    std::vector<std::wstring> opened_;     // shell "open" calls
    std::vector<std::wstring> selected_;   // open-folder-and-select calls
    std::vector<std::wstring> links_;      // web links
    std::vector<std::wstring> launched_;   // companion setups
    bool trayAccepts_ = true;              // what the notification area answers
    std::vector<DWORD> trayCalls_;         // NIM_ADD, NIM_MODIFY, NIM_DELETE in order
    int menus_ = 0;                        // notification icon menus shown
    RecordingTaskbar taskbar_;
    std::mutex launchLock_;
    ScriptedPrompts prompts_;
    ScriptedVolumes volumes_;
    FixedFolderDialog dialog_;
    std::unique_ptr<CDownloadManager> manager_;
    std::unique_ptr<CDLDlg> page_;
    PageConfig config_;
    // The page's configuration, handed to it through its services; the
    // process-wide one is left alone.
    CDownloaderConfig pageConfig_;
};

std::wstring UniqueName(const wchar_t* base);
// The process's error mode (SetErrorMode), left as it is.
UINT CurrentErrorMode();
bool MutexExists(const std::wstring& name);
