#include "tests/app/page/PageTestSupport.h"

#include "config/DownloaderConfig.h"
#include "system/SystemVolumes.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

class FixedContext : public IReportContext {
public:
    std::wstring GameId() override { return L"7288"; }
    std::wstring MachineId() override { return L"m"; }
    std::wstring Version() override { return L"1.1.0.1005"; }
    std::wstring StatisticsBase() override { return L"http://127.0.0.1:17223/stat"; }
};

}  // namespace

std::wstring UniqueName(const wchar_t* base) {
    static int counter = 0;
    return std::wstring(base) + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount()) +
           L"_" + std::to_wstring(++counter);
}

UINT CurrentErrorMode() {
    const UINT mode = ::SetErrorMode(0);
    ::SetErrorMode(mode);
    return mode;
}

bool MutexExists(const std::wstring& name) {
    HANDLE handle = ::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (!handle) return false;
    ::CloseHandle(handle);
    return true;
}

ReportRecorder::ReportRecorder() : CStatisticsMgr(*new FixedContext) {}

void ReportRecorder::Post(const std::wstring& url) {
    std::lock_guard<std::mutex> hold(lock_);
    urls_.push_back(Narrow(url));
}

std::vector<std::string> ReportRecorder::Urls() {
    std::lock_guard<std::mutex> hold(lock_);
    return urls_;
}

void ReportRecorder::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    urls_.clear();
}

size_t ReportRecorder::Count(const std::string& text) {
    size_t count = 0;
    for (const std::string& url : Urls()) count += url.find(text) != std::string::npos;
    return count;
}

ReportRecorder& Reports() {
    static ReportRecorder* recorder = [] {
        auto* created = new ReportRecorder();
        SetTheStatisticsMgr(created);
        return created;
    }();
    return *recorder;
}

int ScriptedPrompts::Answer(const std::string& kind, const std::wstring& text) {
    shown.push_back(kind);
    texts.push_back(text);
    auto hook = during.find(kind);
    if (hook != during.end()) hook->second();
    auto it = answers.find(kind);
    return it == answers.end() ? 4 : it->second;
}

size_t ScriptedPrompts::Count(const std::string& kind) const {
    size_t count = 0;
    for (const std::string& item : shown) count += item == kind;
    return count;
}

DWORD ScriptedVolumes::LogicalDriveMask() { return PlatformVolumes().LogicalDriveMask(); }
bool ScriptedVolumes::FileSystemName(const std::wstring& root, std::wstring& name) {
    return PlatformVolumes().FileSystemName(root, name);
}
bool ScriptedVolumes::FreeBytes(const std::wstring& path, uint64_t& bytes) {
    if (!limitFree) return PlatformVolumes().FreeBytes(path, bytes);
    bytes = freeBytes;
    return true;
}
bool ScriptedVolumes::SecurityProductPath(int index, std::wstring& path) {
    return PlatformVolumes().SecurityProductPath(index, path);
}
bool ScriptedVolumes::Exists(const std::wstring& path) {
    probes.push_back(Probe{path, CurrentErrorMode()});
    return PlatformVolumes().Exists(path);
}
bool ScriptedVolumes::CanOpenForWriting(const std::wstring& path) { return PlatformVolumes().CanOpenForWriting(path); }
bool ScriptedVolumes::MakeDirectory(const std::wstring& path) { return PlatformVolumes().MakeDirectory(path); }
bool ScriptedVolumes::RemoveDirectory(const std::wstring& path) { return PlatformVolumes().RemoveDirectory(path); }
uint64_t ScriptedVolumes::BytesOnDisk(const std::wstring& path) { return PlatformVolumes().BytesOnDisk(path); }

void RecordingTaskbar::Show(HWND, TaskbarProgress state, unsigned percentage) {
    static const char* const names[] = {"none", "normal", "paused", "error"};
    std::string call = names[static_cast<int>(state)];
    if (state != TaskbarProgress::None) call += " " + std::to_string(percentage);
    calls.push_back(call);
}

std::string RecordingTaskbar::Last() const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (*it != "attach" && *it != "detach") return *it;
    }
    return std::string();
}

const wchar_t PageTest::kGameFile[] = L"PageTestGame.exe";
const wchar_t PageTest::kSetupFile[] = L"PageTestSetup.exe";

void PageTest::SetUp() {
    Reports().Clear();
    engine().Reset();
    ThePageRetryCounters() = PageRetryCounters();
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + UniqueName(L"page") + L"\\";
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    statePath_ = folder_ + L"state.tmp.cfg";
    mutexName_ = UniqueName(L"page_companion_");
    dialog_.folder = folder_;
    Configure(PageConfig());
    manager_.reset(new CDownloadManager(engine().Entries()));
    ASSERT_TRUE(manager_->IsBound());
}

void PageTest::TearDown() {
    page_.reset();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ::DeleteFileW((TempFolder() + kSetupFile).c_str());
}

void PageTest::Configure(const PageConfig& config) {
    config_ = config;
    const std::wstring path = folder_ + L"config.ini";
    std::wstring text = L"[GameConfig]\r\nGameName=" + config.gameName +
                        L"\r\nGameSize=" + std::to_wstring(config.gameSize) +
                        L"\r\nGameDownloadLink=http://127.0.0.1:17223/games/t/" + kGameFile +
                        L"\r\nGameMd5=" + (config.md5.empty() ? L"00000000000000000000000000000000" : config.md5) +
                        L"\r\nGameSha256=" + config.sha256 + L"\r\nGameSigner=" + config.signer +
                        L"\r\nSeedUrl=\r\nGameVersion=" + config.gameVersion +
                        L"\r\n[DownLoader]\r\nNewVersion=1.1.0.1005\r\nTextPromotionTitle=" + config.promotionTitle +
                        L"\r\nEmbedLink2=" +
                        config.embedLink + L"\r\nKeldorInstallTip=" + config.installTip + L"\r\n[Keldor]\r\nKeldorDownloaderLink=" +
                        (config.companion ? std::wstring(L"http://127.0.0.1:17223/keldor/") + kSetupFile : L"") +
                        L"\r\nsafecheck=" + config.safecheck + L"\r\n";
    WriteFileBytes(path, ToUtf16LeWithMark(text));
    pageConfig_ = CDownloaderConfig();
    ASSERT_TRUE(pageConfig_.ParseFile(path));
}

CDLDlg& PageTest::OpenPage(const std::function<void(PageServices&)>& adjust) {
    PageServices services;
    services.engine = manager_.get();
    services.config = &pageConfig_;
    services.prompts = &prompts_;
    services.volumes = &volumes_;
    services.folderDialog = &dialog_;
    services.isOnline = [this] { return online_; };
    services.shellOpen = [this](const std::wstring& path, int) { opened_.push_back(path); };
    services.openFolderAndSelect = [this](const std::wstring& path) {
        selected_.push_back(path);
        return true;
    };
    services.openLink = [this](const std::wstring& url) { links_.push_back(url); };
    services.launchSetup = [this](const ShellLaunch& launch) {
        std::lock_guard<std::mutex> hold(launchLock_);
        launched_.push_back(launch.file + L" " + launch.parameters);
        return true;
    };
    services.stateFilePath = statePath_;
    services.companionMutexName = mutexName_;
    services.notifyIcon = [this](DWORD message, NOTIFYICONDATAW&) {
        trayCalls_.push_back(message);
        return trayAccepts_;
    };
    services.trackMenu = [this](HMENU, HWND, POINT) { ++menus_; };
    services.taskbar = &taskbar_;
    if (adjust) adjust(services);
    page_.reset(new CDLDlg());
    page_->SetServices(services);
    const RECT rect = {0, 0, 400, 100};
    page_->Create(nullptr, rect, L"page", WS_POPUP | WS_SYSMENU);
    return *page_;
}

void PageTest::Command(WORD id) { page_->SendMessage(WM_COMMAND, id, 0); }

void PageTest::Tick(UINT_PTR timer) { page_->SendMessage(WM_TIMER, timer, 0); }

void PageTest::Polls(int n) {
    for (int i = 0; i < n; ++i) Tick(CDLDlg::TIMER_PROGRESS);
}

void PageTest::StartInFolder() {
    Command(CDLDlg::ID_CHANGE_FOLDER);
    Command(CDLDlg::ID_START);
}

void PageTest::WriteInstaller(uint64_t size) {
    ASSERT_TRUE(WriteFileBytes(folder_ + kGameFile, std::string(static_cast<size_t>(size), 'x')));
}
