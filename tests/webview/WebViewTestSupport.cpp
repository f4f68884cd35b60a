#include "tests/webview/WebViewTestSupport.h"

#include "tests/support/TestSupport.h"

#include <exdisp.h>
#include <exdispid.h>

#include <cstdio>

TestParent::TestParent(bool framed) {
    const RECT rect = framed ? RECT{100, 80, 800, 520} : RECT{0, 0, 679, 419};
    const DWORD style = framed ? WS_OVERLAPPEDWINDOW : WS_POPUP;
    Create(nullptr, rect, L"web pane test page", style | WS_VISIBLE | WS_CLIPCHILDREN);
}

TestParent::~TestParent() {
    if (m_hWnd) DestroyWindow();
}

BOOL TestParent::ProcessWindowMessage(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg != WM_WEB_FALLBACK) return FALSE;
    ++fallbacks;
    fallbackParams.emplace_back(wp, lp);
    if (pane) pane->OnWebFallback();
    result = 0;
    return TRUE;
}

// The recorder's own sink: a plain IDispatch that logs every call.
class EventRecorder::Sink final : public IDispatch {
public:
    explicit Sink(EventRecorder* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!owner_) return S_OK;
        owner_->ids.push_back(id);
        if (id == DISPID_NAVIGATEERROR && params && params->cArgs == 5) {
            // (pDisp, URL, TargetFrameName, StatusCode, Cancel), last first.
            const VARIANT* url = &params->rgvarg[3];
            const VARIANT* status = &params->rgvarg[1];
            if (V_VT(url) == (VT_BYREF | VT_VARIANT)) url = V_VARIANTREF(url);
            if (V_VT(status) == (VT_BYREF | VT_VARIANT)) status = V_VARIANTREF(status);
            std::wstring text = V_VT(url) == VT_BSTR && V_BSTR(url) ? V_BSTR(url) : L"";
            owner_->errors.emplace_back(text, V_VT(status) == VT_I4 ? V_I4(status) : 0);
        }
        return S_OK;
    }

private:
    ~Sink() = default;
    EventRecorder* owner_;
    ULONG refs_ = 1;
};

EventRecorder::EventRecorder(IWebBrowser2* browser) : sink_(new Sink(this)) {
    ScopedComPtr<IConnectionPointContainer> container;
    if (!browser || FAILED(browser->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid()))) return;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point_.Receive())) || !point_) return;
    if (FAILED(point_->Advise(sink_, &cookie_))) cookie_ = 0;
}

EventRecorder::~EventRecorder() {
    if (point_ && cookie_) point_->Unadvise(cookie_);
    sink_->Detach();
    sink_->Release();
}

bool EventRecorder::Saw(DISPID id) const {
    for (DISPID seen : ids) {
        if (seen == id) return true;
    }
    return false;
}

std::string EventRecorder::Describe() const {
    std::string text = "events:";
    for (DISPID id : ids) text += " " + std::to_string(id);
    for (const auto& error : errors) {
        char status[16];
        std::snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(error.second));
        text += "; NavigateError " + testing_support::Narrow(error.first) + " -> " + status;
    }
    return text;
}

namespace {

BOOL CALLBACK CollectForeign(HWND window, LPARAM lp) {
    auto* found = reinterpret_cast<std::vector<std::wstring>*>(lp);
    if (!::IsWindowVisible(window)) return TRUE;
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (process == ::GetCurrentProcessId() && std::wstring(className) != L"#32770") return TRUE;
    wchar_t title[128] = {};
    ::GetWindowTextW(window, title, 128);
    found->push_back(std::wstring(className) + L" \"" + title + L"\"");
    return TRUE;
}

}  // namespace

std::vector<std::wstring> ForeignWindows() {
    std::vector<std::wstring> found;
    ::EnumWindows(&CollectForeign, reinterpret_cast<LPARAM>(&found));
    return found;
}

VARIANT BoolRef(VARIANT_BOOL* flag) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&v) = flag;
    return v;
}

VARIANT DispatchRef(IDispatch** dispatch) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&v) = dispatch;
    return v;
}

VARIANT VariantRef(VARIANT* inner) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = inner;
    return v;
}
