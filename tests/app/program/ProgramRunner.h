// Starting the real program under test and watching its windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ProgramRunner {
public:
    ProgramRunner() = default;
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;
    ~ProgramRunner();  // ends the process if it still runs

    bool Start(const std::wstring& exePath, const std::wstring& arguments = L"");
    // Waits for the exit while pumping this thread's messages, so the program
    // can SendMessage to windows of the test. Returns false on time-out,
    // after printing the stacks of the program's threads: a test that finds
    // the program hanging says where.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    // Prints the stacks of the program's threads as Wine's debugger sees them
    // (it attaches for a moment and leaves the program running).
    void PrintStacks() const;
    bool IsRunning() const;
    DWORD ProcessId() const { return processId_; }

    // Visible top-level windows of the process.
    std::vector<HWND> Windows() const;
    // Waits until a top-level window of the process has exactly this title.
    HWND WaitForWindowTitled(const std::wstring& title, DWORD timeoutMs) const;

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

std::wstring WindowTitle(HWND window);

// An exit code in words: a plain number, or the exception that ended the
// program (0xC0000005 "access violation" and the like).
std::string DescribeExitCode(DWORD code);
