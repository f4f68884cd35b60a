// The subscription to the web browser control's events (DWebBrowserEvents2
// on its connection point). The control calls Invoke; the events the view
// acts on are unpacked and handed to its handler, the rest are accepted and
// ignored.
#pragma once

#include "base/ScopedComPtr.h"
#include "webview/SomComObject.h"

#include <ocidl.h>

#include <string>

class CSomBrowserEvents : public CSomComObject, public IDispatch {
public:
    class IHandler {
    public:
        // A page asks for a new window on url; true cancels the window.
        virtual bool OnNewWindow3(const std::wstring& url) = 0;
        // Loading url failed with status (an HRESULT or an HTTP status).
        virtual void OnNavigateError(const std::wstring& url, long status) = 0;

    protected:
        ~IHandler() = default;
    };

    // handler: not owned; events after Detach reach nobody.
    explicit CSomBrowserEvents(IHandler* handler) : handler_(handler) {}

    // Subscribes to the events of control. False when the control has no
    // such connection point or refuses.
    bool Advise(IUnknown* control);
    // Ends the subscription, once; the control then drops its reference.
    void Unadvise();
    bool IsAdvised() const { return point_ && cookie_ != 0; }
    void Detach() { handler_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefObject(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseObject(); }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

private:
    ~CSomBrowserEvents() override;

    void OnNewWindow3(const DISPPARAMS& params);
    void OnNavigateError(const DISPPARAMS& params);

    IHandler* handler_;  // not owned
    ScopedComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};
