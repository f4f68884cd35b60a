// The download page's progress on its taskbar button. The page tells what it
// wants shown; the platform side keeps the shell's taskbar object, which only
// exists once the shell has made the page's button.
#pragma once

#include <windows.h>

#include <memory>

enum class TaskbarProgress { None, Normal, Paused, Error };

class IPageTaskbar {
public:
    virtual ~IPageTaskbar() = default;
    // The shell made the page's button (the registered "TaskbarButtonCreated"
    // message). False when the shell offers no taskbar progress: then the
    // page asks for nothing more.
    virtual bool Attach(HWND page) = 0;
    // The state, and for every state but None the percentage (0 to 100).
    virtual void Show(HWND page, TaskbarProgress state, unsigned percentage) = 0;
    // The page is going away: the shell's object is let go while COM still
    // runs on this thread.
    virtual void Detach() = 0;
};

// ITaskbarList3. Creating it may fail (older systems, some Wine versions):
// Attach then answers false and nothing is ever shown.
std::unique_ptr<IPageTaskbar> CreatePlatformTaskbar();
