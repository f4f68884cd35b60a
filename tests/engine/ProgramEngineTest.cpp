// The real program (game 7223) extracts and binds its engine during start-up
// and unbinds and deletes it when it ends.
#include "config/DownloaderConfig.h"
#include "tests/app/program/ProgramRunner.h"
#include "tests/support/TestSupport.h"

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cwctype>

using namespace testing_support;

namespace {

const DWORD kStartTimeoutMs = 20000;

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool ProcessHasModule(DWORD processId, const std::wstring& path) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return false;
    HMODULE modules[512];
    DWORD bytes = 0;
    bool found = false;
    if (::EnumProcessModules(process, modules, sizeof(modules), &bytes)) {
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512 && !found; ++i) {
            wchar_t name[MAX_PATH] = {};
            if (::GetModuleFileNameExW(process, modules[i], name, MAX_PATH)) found = Lower(name) == Lower(path);
        }
    }
    ::CloseHandle(process);
    return found;
}

TEST(ProgramEngine, ProgramBindsTheEngineWhileItRunsAndDeletesItAtExit) {
    const std::wstring enginePath = TempFolder() + L"7223QelvoP2SP.dll";
    ASSERT_TRUE(WriteFileBytes(enginePath, "an engine file from an earlier run"));

    ProgramRunner program;
    ASSERT_TRUE(program.Start(BinDir() + L"\\VorlaDownloader.exe"));
    ASSERT_TRUE(PumpUntil([&] { return !program.Windows().empty() || !program.IsRunning(); }, kStartTimeoutMs));
    ASSERT_TRUE(program.IsRunning());

    // The leftover was replaced by the carried engine, which is loaded.
    std::string extracted, built;
    ASSERT_TRUE(ReadFileBytes(enginePath, extracted));
    ASSERT_TRUE(ReadFileBytes(BinDir() + L"\\QelvoP2SP.dll", built));
    EXPECT_TRUE(extracted == built);
    EXPECT_TRUE(ProcessHasModule(program.ProcessId(), enginePath));

    // End it the way a user does: close the start-up window, or exit from
    // the download page (its class is the game identifier).
    for (HWND window : program.Windows()) {
        wchar_t className[64] = {};
        ::GetClassNameW(window, className, 64);
        if (std::wstring(className) == L"7223") {
            ::PostMessageW(window, WM_COMMAND, 2026, 0);
        } else {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitForExit(kStartTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(FileExists(enginePath));
}

}  // namespace
