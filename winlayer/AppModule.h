// The process-wide application module: the instance handle, the user-interface
// thread and the message loop registered for each thread.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>

class CMessageLoop;

class CAppModule {
public:
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return instance_; }
    DWORD GetMainThreadId() const { return mainThreadId_; }

    // One loop per thread; registering a second loop for a thread fails.
    bool AddMessageLoop(CMessageLoop* loop);
    bool RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

private:
    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    mutable std::mutex lock_;
    std::map<DWORD, CMessageLoop*> loops_;  // not owned
};

// The one module of the process.
CAppModule& TheAppModule();
