// An ActiveX control placed in a window: created in-process, given its site,
// activated in place over the window's client area, kept at that size, and
// deactivated, closed and released when the window goes.
#pragma once

#include "base/ScopedComPtr.h"
#include "webview/SomHtmlSite.h"

#include <ole2.h>

class CSomAxControl {
public:
    CSomAxControl() = default;
    CSomAxControl(const CSomAxControl&) = delete;
    CSomAxControl& operator=(const CSomAxControl&) = delete;
    ~CSomAxControl() { Close(); }

    // Creates the control of clsid and activates it in site's window. The
    // site is configured by the caller; the control keeps a reference.
    HRESULT Create(REFCLSID clsid, CSomHtmlSite* site);
    // Deactivates, closes and releases the control and detaches the site.
    void Close();
    // Fits the control to its window's client area.
    void FitToWindow();

    bool HasControl() const { return static_cast<bool>(object_); }
    IOleObject* Object() const { return object_.Get(); }
    CSomHtmlSite* Site() const { return site_.Get(); }

private:
    ScopedComPtr<IOleObject> object_;
    ScopedComPtr<CSomHtmlSite> site_;
};
