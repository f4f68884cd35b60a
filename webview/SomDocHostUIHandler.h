// What the page engine asks its host about the page's user interface: the
// document host flags (borders, scroll bars, help menu, themes), whether a
// right click shows the engine's context menu, and the page's external
// object. It is part of the control's site: the engine finds it by asking
// the site for IDocHostUIHandler, so its IUnknown is the site's.
#pragma once

#include "base/ScopedComPtr.h"

#include <windows.h>

#include <mshtmhst.h>

class CSomDocHostUIHandler : public IDocHostUIHandler {
public:
    // owner: the site this handler belongs to; not owned.
    explicit CSomDocHostUIHandler(IUnknown* owner) : owner_(owner) {}
    CSomDocHostUIHandler(const CSomDocHostUIHandler&) = delete;
    CSomDocHostUIHandler& operator=(const CSomDocHostUIHandler&) = delete;
    virtual ~CSomDocHostUIHandler() = default;

    void SetAllowContextMenu(bool allow) { allowContextMenu_ = allow; }
    bool GetAllowContextMenu() const { return allowContextMenu_; }
    // DOCHOSTUIFLAG bits; 0 leaves the engine's defaults.
    void SetDocHostFlags(DWORD flags) { docHostFlags_ = flags; }
    DWORD GetDocHostFlags() const { return docHostFlags_; }
    // The page's external object; null withdraws it.
    void SetExternalDispatch(IDispatch* external);

    // IUnknown: the owner's.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return owner_->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD id, POINT* pt, IUnknown* commandTarget, IDispatch* object) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override;

private:
    IUnknown* owner_;  // not owned
    bool allowContextMenu_ = false;
    DWORD docHostFlags_ = 0;
    ScopedComPtr<IDispatch> external_;
};
