// Reference counting of the web view's own COM objects (the control's site
// and frame, the event sink). Every live object is counted, so a test can
// prove that destroying a view leaves none behind.
#pragma once

#include <windows.h>

class CSomComObject {
public:
    CSomComObject(const CSomComObject&) = delete;
    CSomComObject& operator=(const CSomComObject&) = delete;

    // Objects of this kind alive in the process.
    static long LiveObjects();

protected:
    CSomComObject();  // one reference, the creator's
    virtual ~CSomComObject();

    ULONG AddRefObject() { return ++refs_; }
    // Deletes the object with its last reference.
    ULONG ReleaseObject();

private:
    ULONG refs_ = 1;
};
