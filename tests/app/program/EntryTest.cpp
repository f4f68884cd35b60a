// The real program under wine64: one copy per game, the hand-over to the
// running copy, and the start-up that fetches the configuration from the
// test portal (nginx on 127.0.0.1:17223 serving tests/portal).
#include "tests/app/program/ProgramRunner.h"
#include "tests/support/TestSupport.h"

#include <aclapi.h>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const DWORD kStartTimeoutMs = 20000;

std::wstring Program() { return BinDir() + L"\\VorlaDownloader.exe"; }
std::wstring Program7224() { return BinDir() + L"\\VorlaDownloader7224.exe"; }

// Stands in for the download page of a running copy: a window whose class is
// the game identifier, recording the commands it receives.
class FakeDownloadPage {
public:
    explicit FakeDownloadPage(const wchar_t* gameId) : className_(gameId) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &FakeDownloadPage::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = className_.c_str();
        ::RegisterClassW(&wc);
        hwnd_ = ::CreateWindowExW(0, className_.c_str(), L"page", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~FakeDownloadPage() {
        ::DestroyWindow(hwnd_);
        ::UnregisterClassW(className_.c_str(), ::GetModuleHandleW(nullptr));
    }
    HWND hwnd() const { return hwnd_; }
    std::vector<std::pair<WPARAM, LPARAM>> commands;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<FakeDownloadPage*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == WM_COMMAND) {
            self->commands.emplace_back(wp, lp);
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    std::wstring className_;
    HWND hwnd_ = nullptr;
};

TEST(Entry, SecondCopyAsksTheRunningCopyToShowItselfAndExits) {
    // This test process plays the running copy: it owns the mutex and the page.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"7223");
    ASSERT_NE(nullptr, mutex);
    FakeDownloadPage page(L"7223");
    ASSERT_NE(nullptr, page.hwnd());

    const size_t logBefore = ReadLines(PortalLogPath()).size();
    ProgramRunner second;
    ASSERT_TRUE(second.Start(Program(), L"/any --command line"));
    DWORD exitCode = 99;
    ASSERT_TRUE(second.WaitForExit(kStartTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    ASSERT_EQ(1u, page.commands.size());
    EXPECT_EQ(2025u, page.commands[0].first);
    EXPECT_EQ(0, page.commands[0].second);
    // Nothing else ran: no configuration was fetched.
    EXPECT_EQ(0u, CountLinesContaining(PortalLogPath(), "/tool/down/", logBefore));
    ::CloseHandle(mutex);
}

// A running copy whose page no longer answers: its thread is stuck (or the
// copy is dying). The page lives on a thread of its own that never takes a
// message until the test lets it go.
class HungDownloadPage {
public:
    explicit HungDownloadPage(const wchar_t* gameId) : className_(gameId) {
        release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = ::CreateThread(nullptr, 0, &HungDownloadPage::Run, this, 0, nullptr);
        ::WaitForSingleObject(ready_, 10000);
    }
    ~HungDownloadPage() {
        ::SetEvent(release_);
        ::WaitForSingleObject(thread_, 10000);
        for (HANDLE h : {thread_, ready_, release_}) ::CloseHandle(h);
        ::UnregisterClassW(className_.c_str(), ::GetModuleHandleW(nullptr));
    }
    HWND hwnd() const { return hwnd_; }

private:
    static DWORD WINAPI Run(void* self) {
        auto* page = static_cast<HungDownloadPage*>(self);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = page->className_.c_str();
        ::RegisterClassW(&wc);
        page->hwnd_ = ::CreateWindowExW(0, page->className_.c_str(), L"page", WS_POPUP, 0, 0, 10, 10, nullptr,
                                        nullptr, wc.hInstance, nullptr);
        ::SetEvent(page->ready_);
        ::WaitForSingleObject(page->release_, INFINITE);  // takes no message meanwhile
        ::DestroyWindow(page->hwnd_);
        return 0;
    }
    std::wstring className_;
    HWND hwnd_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
};

TEST(Entry, SecondCopyDoesNotHangOnARunningCopyThatNoLongerAnswers) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"7223");
    ASSERT_NE(nullptr, mutex);
    {
        HungDownloadPage page(L"7223");
        ASSERT_NE(nullptr, page.hwnd());
        ProgramRunner second;
        ASSERT_TRUE(second.Start(Program()));
        DWORD exitCode = 99;
        EXPECT_TRUE(second.WaitForExit(kStartTimeoutMs, &exitCode)) << "the second copy waits for the page forever";
        EXPECT_EQ(0u, exitCode);
    }
    ::CloseHandle(mutex);
}

TEST(Entry, MutexTheUserMayNotOpenMeansAnotherCopyRuns) {
    // A first copy running elevated: its mutex denies everyone else.
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ACL emptyAcl;
    ASSERT_TRUE(::InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, &emptyAcl, FALSE));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    HANDLE mutex = ::CreateMutexW(&attributes, FALSE, L"7223");
    ASSERT_NE(nullptr, mutex);
    // Sanity: the DACL is enforced for a new open.
    HANDLE probe = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"7223");
    ASSERT_EQ(nullptr, probe);
    ASSERT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());

    ProgramRunner second;
    ASSERT_TRUE(second.Start(Program()));
    bool sawWindow = false;
    PumpUntil(
        [&] {
            if (!second.Windows().empty()) sawWindow = true;
            return !second.IsRunning();
        },
        kStartTimeoutMs);
    DWORD exitCode = 99;
    ASSERT_TRUE(second.WaitForExit(1000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(sawWindow);
    ::CloseHandle(mutex);
}

TEST(Entry, TwoGamesRunSideBySideAndEachFetchesItsConfiguration) {
    const size_t logBefore = ReadLines(PortalLogPath()).size();
    ProgramRunner game7223, game7224;
    ASSERT_TRUE(game7223.Start(Program()));
    ASSERT_TRUE(game7224.Start(Program7224()));

    // Each opens its download page, titled with its game's name.
    const HWND window7223 = game7223.WaitForWindowTitled(L"Vorla游戏下载器-星辰远征专版", kStartTimeoutMs);
    const HWND window7224 = game7224.WaitForWindowTitled(L"Vorla游戏下载器-月影传说专版", kStartTimeoutMs);
    ASSERT_NE(nullptr, window7223);
    ASSERT_NE(nullptr, window7224);
    EXPECT_TRUE(game7223.IsRunning());
    EXPECT_TRUE(game7224.IsRunning());

    // Each configuration request carries the program's user agent.
    const std::string agent = "\"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)\"";
    for (const char* request : {"GET /tool/down/7223.html 200 ", "GET /tool/down/7224.html 200 "}) {
        EXPECT_EQ(1u, CountLinesContaining(PortalLogPath(), request, logBefore)) << request;
        EXPECT_NE(std::string::npos, LineContaining(PortalLogPath(), request, logBefore).find(agent)) << request;
    }

    // Closing the page hides it to the notification area; the program runs on.
    EXPECT_EQ(window7223, ::FindWindowW(L"7223", nullptr));
    ::PostMessageW(window7223, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window7223); }, kStartTimeoutMs));
    EXPECT_TRUE(game7223.IsRunning());

    // A second copy of the first game brings its page back and exits 0.
    ProgramRunner again;
    ASSERT_TRUE(again.Start(Program()));
    DWORD exitCode = 99;
    ASSERT_TRUE(again.WaitForExit(kStartTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window7223) != FALSE; }, kStartTimeoutMs));
    EXPECT_TRUE(game7223.IsRunning());

    // A left click on the notification icon shows the page too.
    ::PostMessageW(window7223, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window7223); }, kStartTimeoutMs));
    ::PostMessageW(window7223, 2025, 32513, WM_LBUTTONUP);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(window7223) != FALSE; }, kStartTimeoutMs));

    ::PostMessageW(window7223, WM_COMMAND, 2026, 0);
    ::PostMessageW(window7224, WM_COMMAND, 2026, 0);
    ASSERT_TRUE(game7223.WaitForExit(kStartTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    ASSERT_TRUE(game7224.WaitForExit(kStartTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

}  // namespace
