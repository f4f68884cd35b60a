#include "tests/app/program/ProgramRunner.h"

#include "tests/support/TestSupport.h"

#include <cstdio>

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
    if (!testing_support::PumpUntil([this] { return !IsRunning(); }, timeoutMs)) {
        std::printf("program %lu still runs after %lu ms; the stacks of its threads:\n",
                    static_cast<unsigned long>(processId_), static_cast<unsigned long>(timeoutMs));
        PrintStacks();
        return false;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    if (code != 0) std::printf("program %lu %s\n", static_cast<unsigned long>(processId_), DescribeExitCode(code).c_str());
    if (exitCode) *exitCode = code;
    return true;
}

void ProgramRunner::PrintStacks() const {
    // "bt all" walks every process of the prefix; only this program's
    // blocks are kept ("Backtracing for thread 00f4 in process 00e8 (...)").
    wchar_t command[] = L"winedbg.exe --command \"bt all\"";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                          nullptr, &startup, &info);
    ::CloseHandle(writeEnd);
    if (!started) {
        std::printf("  (winedbg could not be started)\n");
        ::CloseHandle(readEnd);
        return;
    }
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) output.append(buffer, got);
    ::WaitForSingleObject(info.hProcess, 30000);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    ::CloseHandle(readEnd);

    char mark[32];
    std::snprintf(mark, sizeof(mark), " in process %04lx ", static_cast<unsigned long>(processId_));
    bool keep = false;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Backtracing for thread ", 0) == 0) keep = line.find(mark) != std::string::npos;
        if (keep) std::printf("  | %s\n", line.c_str());
        start = end + 1;
    }
    std::fflush(stdout);
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

std::string DescribeExitCode(DWORD code) {
    struct Known {
        DWORD code;
        const char* name;
    };
    static const Known known[] = {
        {0xC0000005, "access violation"},         {0xC00000FD, "stack overflow"},
        {0xC0000409, "stack buffer overrun"},     {0xC000001D, "illegal instruction"},
        {0xC0000094, "integer division by zero"}, {0x80000003, "breakpoint"},
        {0xE06D7363, "C++ exception"},            {0x40000015, "abort"},
    };
    char text[96];
    for (const Known& k : known) {
        if (k.code == code) {
            std::snprintf(text, sizeof(text), "ended by an exception 0x%08lX (%s)", static_cast<unsigned long>(code),
                          k.name);
            return text;
        }
    }
    std::snprintf(text, sizeof(text), "ended with exit code %lu (0x%08lX)", static_cast<unsigned long>(code),
                  static_cast<unsigned long>(code));
    return text;
}

std::wstring WindowTitle(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}
