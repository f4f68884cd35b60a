#include "webview/SomDocHostUIHandler.h"

void CSomDocHostUIHandler::SetExternalDispatch(IDispatch* external) {
    if (external) external->AddRef();  // before the old one goes: they may be the same
    external_.Attach(external);
}

STDMETHODIMP CSomDocHostUIHandler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // S_OK tells the engine the host has shown the menu itself, so the
    // engine shows none; S_FALSE lets it show its own.
    return allowContextMenu_ ? S_FALSE : S_OK;
}

STDMETHODIMP CSomDocHostUIHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    if (info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
    if (docHostFlags_ == 0) return E_NOTIMPL;  // the engine keeps its defaults
    info->dwFlags = docHostFlags_;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
}

STDMETHODIMP CSomDocHostUIHandler::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSomDocHostUIHandler::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSomDocHostUIHandler::GetExternal(IDispatch** external) {
    if (!external) return E_POINTER;
    *external = external_.Get();
    if (!*external) return S_FALSE;
    (*external)->AddRef();
    return S_OK;
}

STDMETHODIMP CSomDocHostUIHandler::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
    if (translated) *translated = nullptr;
    return S_FALSE;
}

STDMETHODIMP CSomDocHostUIHandler::FilterDataObject(IDataObject*, IDataObject** filtered) {
    if (filtered) *filtered = nullptr;
    return S_FALSE;
}
