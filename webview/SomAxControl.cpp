#include "webview/SomAxControl.h"

HRESULT CSomAxControl::Create(REFCLSID clsid, CSomHtmlSite* site) {
    if (object_ || !site) return E_UNEXPECTED;
    HWND window = nullptr;
    if (FAILED(site->GetWindow(&window))) return E_UNEXPECTED;
    site_ = ScopedComPtr<CSomHtmlSite>(site);

    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.ReceiveVoid());
    if (FAILED(hr) || !object_) {
        Close();
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    IOleClientSite* clientSite = static_cast<IOleClientSite*>(site);
    DWORD misc = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) object_->SetClientSite(clientSite);
    ScopedComPtr<IPersistStreamInit> persist;
    if (object_.QueryInto(IID_IPersistStreamInit, persist)) persist->InitNew();
    if (!siteFirst) object_->SetClientSite(clientSite);

    RECT client{};
    ::GetClientRect(window, &client);
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, window, &client);
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    return S_OK;
}

void CSomAxControl::Close() {
    if (object_) {
        ScopedComPtr<IOleInPlaceObject> inPlace;
        if (object_.QueryInto(IID_IOleInPlaceObject, inPlace)) inPlace->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.Reset();
    }
    if (site_) {
        site_->Detach();
        site_.Reset();
    }
}

void CSomAxControl::FitToWindow() {
    HWND window = nullptr;
    if (!object_ || !site_ || FAILED(site_->GetWindow(&window))) return;
    ScopedComPtr<IOleInPlaceObject> inPlace;
    if (!object_.QueryInto(IID_IOleInPlaceObject, inPlace)) return;
    RECT client{};
    ::GetClientRect(window, &client);
    inPlace->SetObjectRects(&client, &client);
}
