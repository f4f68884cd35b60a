#include "webview/SomBrowserEvents.h"

#include <exdisp.h>
#include <exdispid.h>

namespace {

// The argument at position index of the event's declaration: the control
// passes them last first.
const VARIANT* Argument(const DISPPARAMS& params, UINT index) {
    if (!params.rgvarg || index >= params.cArgs) return nullptr;
    return &params.rgvarg[params.cArgs - 1 - index];
}

// Through any VT_BYREF | VT_VARIANT wrapping.
const VARIANT* Unwrap(const VARIANT* value) {
    while (value && V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
    return value;
}

std::wstring TextOf(const VARIANT* value) {
    value = Unwrap(value);
    if (!value) return std::wstring();
    BSTR text = nullptr;
    if (V_VT(value) == VT_BSTR) {
        text = V_BSTR(value);
    } else if (V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value)) {
        text = *V_BSTRREF(value);
    }
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

long NumberOf(const VARIANT* value) {
    value = Unwrap(value);
    if (!value) return 0;
    switch (V_VT(value)) {
        case VT_I4: return V_I4(value);
        case VT_UI4: return static_cast<long>(V_UI4(value));
        case VT_INT: return V_INT(value);
        case VT_BYREF | VT_I4: return V_I4REF(value) ? *V_I4REF(value) : 0;
        default: return 0;
    }
}

}  // namespace

CSomBrowserEvents::~CSomBrowserEvents() { Unadvise(); }

bool CSomBrowserEvents::Advise(IUnknown* control) {
    if (!control || IsAdvised()) return false;
    ScopedComPtr<IConnectionPointContainer> container;
    if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid())) || !container) {
        return false;
    }
    ScopedComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Receive())) || !point) return false;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie)) || cookie == 0) return false;
    point_ = std::move(point);
    cookie_ = cookie;
    return true;
}

void CSomBrowserEvents::Unadvise() {
    if (!IsAdvised()) return;
    // The control may release the last reference but ours during the call.
    ScopedComPtr<IConnectionPoint> point = std::move(point_);
    const DWORD cookie = cookie_;
    cookie_ = 0;
    point->Unadvise(cookie);
}

STDMETHODIMP CSomBrowserEvents::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CSomBrowserEvents::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CSomBrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSomBrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                       UINT*) {
    if (!params) return S_OK;
    // Keep this sink alive while the handler runs: it may destroy the view.
    ScopedComPtr<IDispatch> self(static_cast<IDispatch*>(this));
    switch (id) {
        case DISPID_NEWWINDOW3: OnNewWindow3(*params); break;
        case DISPID_NAVIGATEERROR: OnNavigateError(*params); break;
        case DISPID_BEFORENAVIGATE2:      // the pane loads whatever it is sent to
        case DISPID_COMMANDSTATECHANGE:   // it has no back or forward buttons
        default: break;
    }
    return S_OK;
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
void CSomBrowserEvents::OnNewWindow3(const DISPPARAMS& params) {
    if (!handler_) return;
    const VARIANT* cancel = Argument(params, 1);
    const bool cancelled = handler_->OnNewWindow3(TextOf(Argument(params, 4)));
    if (cancelled && cancel && V_VT(cancel) == (VT_BYREF | VT_BOOL) && V_BOOLREF(cancel)) {
        *V_BOOLREF(cancel) = VARIANT_TRUE;
    }
}

// NavigateError(pDisp, URL, TargetFrameName, StatusCode, Cancel)
void CSomBrowserEvents::OnNavigateError(const DISPPARAMS& params) {
    if (!handler_) return;
    handler_->OnNavigateError(TextOf(Argument(params, 1)), NumberOf(Argument(params, 3)));
}
