// The start-up sequence of the real program (game 7299) against the test
// portal: every outcome of the decision, the retry and the early close.
#include "tests/app/program/HandOverWatch.h"
#include "tests/app/program/ProgramRunner.h"
#include "tests/support/Screenshot.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace testing_support;

namespace {

const DWORD kTimeoutMs = 20000;
const wchar_t kPageClass[] = L"7299";
const wchar_t kLoadedTitle[] = L"Vorla游戏下载器-星海战记专版";
const wchar_t kFirstTitle[] = L"Vorla游戏下载器-专版";

std::wstring Program() { return BinDir() + L"\\VorlaDownloader7299.exe"; }

std::string Config(const std::string& gameSize, const std::string& newVersion, const std::string& skinLink = "") {
    std::string text =
        "[GameConfig]\r\nGameName=星海战记\r\nGameSize=" + gameSize +
        "\r\nGameDownloadLink=http://127.0.0.1:17223/games/7299/setup.exe\r\n[DownLoader]\r\n";
    if (!newVersion.empty()) text += "NewVersion=" + newVersion + "\r\n";
    if (!skinLink.empty()) text += "SkinLink=" + skinLink + "\r\n";
    return text + "[Keldor]\r\nDomainName=http://127.0.0.1:17223/stat\r\n";
}

void Publish(const std::string& config) {
    ASSERT_TRUE(WriteFileBytes(PortalDir() + L"\\tool\\down\\7299.html", config));
}

// Windows of the program other than its download page (start-up window and
// prompts), with the given title.
std::vector<HWND> OtherWindows(const ProgramRunner& program, const std::wstring& title) {
    std::vector<HWND> found;
    for (HWND hwnd : program.Windows()) {
        wchar_t cls[64] = {};
        ::GetClassNameW(hwnd, cls, 64);
        if (std::wstring(cls) != kPageClass && WindowTitle(hwnd) == title) found.push_back(hwnd);
    }
    return found;
}

HWND WaitForPage(DWORD timeoutMs) {
    HWND page = nullptr;
    PumpUntil([&] { return (page = ::FindWindowW(kPageClass, nullptr)) != nullptr; }, timeoutMs);
    return page;
}

HWND VisibleOrNull(HWND window) { return window && ::IsWindowVisible(window) ? window : nullptr; }

HWND WaitForPrompt(const ProgramRunner& program, DWORD timeoutMs) {
    HWND prompt = nullptr;
    PumpUntil(
        [&] {
            const auto windows = OtherWindows(program, kLoadedTitle);
            prompt = windows.size() == 1 ? windows[0] : nullptr;
            return prompt != nullptr;
        },
        timeoutMs);
    return prompt;
}

void ExpectExitZero(ProgramRunner& program) {
    DWORD code = 99;
    ASSERT_TRUE(program.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(0u, code);
}

std::wstring CachedSkin() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"7299.png";
}

class StartupTest : public ::testing::Test {
protected:
    // A skin cached by an earlier run would make every load fast.
    void SetUp() override { ::DeleteFileW(CachedSkin().c_str()); }
    void TearDown() override {
        ::DeleteFileW((PortalDir() + L"\\tool\\down\\7299.html").c_str());
        ::DeleteFileW(CachedSkin().c_str());
    }
};

TEST_F(StartupTest, GoodConfigurationOpensThePageAndReportsTheLoad) {
    Publish(Config("1000", "1.1.0.1005"));
    const size_t logFrom = ReadLines(PortalLogPath()).size();
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    const HWND page = WaitForPage(kTimeoutMs);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(kLoadedTitle, WindowTitle(page));
    EXPECT_TRUE(OtherWindows(program, kLoadedTitle).empty());
    // The page comes first, then the start-up window goes.
    EXPECT_TRUE(PumpUntil([&] { return OtherWindows(program, kFirstTitle).empty(); }, kTimeoutMs));
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(SaveWindowScreenshot(page, L"download-page-first"));
    EXPECT_TRUE(PumpUntil(
        [&] { return CountLinesContaining(PortalLogPath(), "GET /stat?action=1&game=7299&mid=", logFrom) == 1; },
        kTimeoutMs));
    EXPECT_EQ(1u, CountLinesContaining(PortalLogPath(), "&ver=1.1.0.1005 ", logFrom));
    ::PostMessageW(page, WM_COMMAND, 2026, 0);
    ExpectExitZero(program);
}

TEST_F(StartupTest, MissingNewVersionShowsTheFailurePromptAndRetryReachesThePage) {
    Publish(Config("1000", ""));
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    HWND prompt = WaitForPrompt(program, kTimeoutMs);
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ(nullptr, ::FindWindowW(kPageClass, nullptr));
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(SaveWindowScreenshot(prompt, L"startup-failure-prompt"));

    // Retry while the portal is still broken: one failure prompt at a time.
    ::PostMessageW(prompt, WM_COMMAND, 102, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(prompt); }, kTimeoutMs));
    HWND second = WaitForPrompt(program, kTimeoutMs);
    ASSERT_NE(nullptr, second);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(1u, OtherWindows(program, kLoadedTitle).size());

    // Fixed portal: the retry opens the page.
    Publish(Config("1000", "1.1.0.1005"));
    ::PostMessageW(second, WM_COMMAND, 102, 0);
    const HWND page = WaitForPage(kTimeoutMs);
    ASSERT_NE(nullptr, page);
    EXPECT_TRUE(OtherWindows(program, kLoadedTitle).empty());
    ::PostMessageW(page, WM_COMMAND, 2026, 0);
    ExpectExitZero(program);
}

TEST_F(StartupTest, ReadyButZeroSizeShowsOnlyTheFailurePrompt) {
    Publish(Config("0", "1.1.0.1005"));
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    const HWND prompt = WaitForPrompt(program, kTimeoutMs);
    ASSERT_NE(nullptr, prompt);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(nullptr, ::FindWindowW(kPageClass, nullptr));
    // Closing the failure prompt ends the program.
    ::PostMessageW(prompt, WM_CLOSE, 0, 0);
    ExpectExitZero(program);
}

TEST_F(StartupTest, HigherRequiredVersionShowsTheOutdatedPromptWhoseButtonEndsTheProgram) {
    Publish(Config("1000", "1.1.1.1005"));
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    const HWND prompt = WaitForPrompt(program, kTimeoutMs);
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ(nullptr, ::FindWindowW(kPageClass, nullptr));
    ::PostMessageW(prompt, WM_COMMAND, 102, 0);
    ExpectExitZero(program);
}

TEST_F(StartupTest, ClosingTheStartupWindowEndsTheProgram) {
    // The skin comes slowly, so the start-up window stays up a while.
    Publish(Config("1000", "1.1.0.1005", "http://127.0.0.1:17224/slow?ms=4000"));
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    HWND startup = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto windows = OtherWindows(program, kFirstTitle);
            startup = windows.empty() ? nullptr : windows[0];
            return startup != nullptr;
        },
        kTimeoutMs));
    PumpUntil([] { return false; }, 500);  // let it paint
    EXPECT_TRUE(SaveWindowScreenshot(startup, L"startup-loading"));
    ::PostMessageW(startup, WM_CLOSE, 0, 0);
    ExpectExitZero(program);
}

// The start-up window hands over to what comes next in one step: the next
// window is shown before the start-up window is destroyed, so the screen is
// never left without a window of the program. The skin comes slowly, so the
// start-up window is up long enough to be seen whatever the machine's pace.
struct HandOverCase {
    const char* name;
    const char* gameSize;
    const char* newVersion;
    bool page;  // the page comes, else a prompt
};

class StartupHandOverTest : public StartupTest, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(StartupHandOverTest, NoMomentWithoutAWindowBetweenTheStartupWindowAndTheNext) {
    const HandOverCase& c = GetParam();
    Publish(Config(c.gameSize, c.newVersion, "http://127.0.0.1:17224/slow?ms=1500"));
    ProgramRunner program;
    ASSERT_TRUE(program.Start(Program()));
    HandOverWatch watch(
        [&] {
            const auto windows = OtherWindows(program, kFirstTitle);
            return windows.empty() ? nullptr : windows[0];
        },
        [&]() -> HWND {
            if (c.page) return VisibleOrNull(::FindWindowW(kPageClass, nullptr));
            const auto windows = OtherWindows(program, kLoadedTitle);
            return windows.empty() ? nullptr : windows[0];
        });
    ASSERT_TRUE(watch.Watch(kTimeoutMs)) << c.name << ": the hand-over was not seen to its end";
    EXPECT_EQ(0, watch.EmptySnapshots()) << c.name << ": neither window visible for " << watch.LongestEmptyMs()
                                         << " ms (" << watch.Snapshots() << " snapshots)";
    if (c.page) {
        // At exit the page goes first; the process follows. How long after
        // is printed (a figure to read, not a limit).
        const HWND page = ::FindWindowW(kPageClass, nullptr);
        ::PostMessageW(page, WM_COMMAND, 2026, 0);
        ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(page); }, kTimeoutMs));
        const ULONGLONG gone = ::GetTickCount64();
        ASSERT_TRUE(PumpUntil([&] { return !program.IsRunning(); }, kTimeoutMs));
        std::printf("exit: the process ended %llu ms after its page went\n", ::GetTickCount64() - gone);
    } else {
        const auto windows = OtherWindows(program, kLoadedTitle);
        ASSERT_EQ(1u, windows.size());
        ::PostMessageW(windows[0], WM_CLOSE, 0, 0);
    }
    ExpectExitZero(program);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, StartupHandOverTest,
                         ::testing::Values(HandOverCase{"page", "1000", "1.1.0.1005", true},
                                           HandOverCase{"failure prompt", "0", "1.1.0.1005", false},
                                           HandOverCase{"outdated prompt", "1000", "1.1.1.1005", false}),
                         [](const ::testing::TestParamInfo<HandOverCase>& info) {
                             return info.param.page ? std::string("Page")
                                                    : std::string(info.param.gameSize[0] == '0' ? "FailurePrompt"
                                                                                                : "OutdatedPrompt");
                         });

}  // namespace
