#include "ProgramRunner.h"

#include "TestSupport.h"

ProgramRunner::~ProgramRunner() {
    if (!process_) return;
    if (IsRunning()) {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
}

bool ProgramRunner::Start(const std::wstring& exePath, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return false;
    }
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    return true;
}

bool ProgramRunner::IsRunning() const { return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool ProgramRunner::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!testing_support::PumpUntil([this] { return !IsRunning(); }, timeoutMs)) return false;
    if (exitCode) ::GetExitCodeProcess(process_, exitCode);
    return true;
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid && ::IsWindowVisible(hwnd)) search->found.push_back(hwnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> ProgramRunner::Windows() const {
    WindowSearch search{processId_, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramRunner::WaitForWindowTitled(const std::wstring& title, DWORD timeoutMs) const {
    HWND found = nullptr;
    testing_support::PumpUntil(
        [&] {
            for (HWND hwnd : Windows()) {
                if (WindowTitle(hwnd) == title) found = hwnd;
            }
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::wstring WindowTitle(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}
