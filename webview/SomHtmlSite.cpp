#include "webview/SomHtmlSite.h"

#include <olectl.h>

#include <new>

CSomHtmlSite::CSomHtmlSite(HWND window) : window_(window), uiHandler_(static_cast<IOleClientSite*>(this)) {
    frame_.Attach(new (std::nothrow) CSomHtmlFrame(window));  // without it the control gets no window context
}

CSomHtmlSite::~CSomHtmlSite() { Detach(); }

void CSomHtmlSite::Detach() {
    window_ = nullptr;
    if (frame_) frame_->Detach();
    frame_.Reset();
    uiHandler_.SetExternalDispatch(nullptr);
}

STDMETHODIMP CSomHtmlSite::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
        *object = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
        *object = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
    } else if (iid == IID_IDocHostUIHandler) {
        *object = static_cast<IDocHostUIHandler*>(&uiHandler_);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP CSomHtmlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSomHtmlSite::GetContainer(IOleContainer** container) {
    // A lone control: there is no document holding other objects.
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CSomHtmlSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CSomHtmlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                            LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) {
    if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
    *frame = nullptr;
    *document = nullptr;  // the frame is the document window too
    if (!window_ || !frame_) return E_FAIL;
    *frame = frame_.Get();
    (*frame)->AddRef();
    ::GetClientRect(window_, position);
    *clip = *position;
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = window_;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CSomHtmlSite::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CSomHtmlSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSomHtmlSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                  UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
        case DISPID_AMBIENT_USERMODE:  // running, not being designed
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_TRUE;
            return S_OK;
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_MESSAGEREFLECT:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_FALSE;
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}
