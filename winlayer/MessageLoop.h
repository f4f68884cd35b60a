// The user-interface thread's message loop and its pre-translation filters.
#pragma once

#include <windows.h>

#include <vector>

// A filter sees each message the loop takes before it is translated and
// dispatched; returning TRUE consumes the message.
class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;
};

class CMessageLoop {
public:
    void AddMessageFilter(CMessageFilter* filter);
    bool RemoveMessageFilter(CMessageFilter* filter);

    // Offers the message to the filters, the last registered first.
    BOOL PreTranslateMessage(MSG* msg);

    // Runs until WM_QUIT and returns its exit code. A GetMessage failure (-1)
    // is ignored and the loop waits again.
    int Run();

private:
    std::vector<CMessageFilter*> filters_;  // not owned
};
