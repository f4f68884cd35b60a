#include "winlayer/WindowImpl.h"

#include "winlayer/AppModule.h"

#include <atomic>
#include <cstdio>
#include <set>

namespace {

// The window object whose CreateWindowExW call is running on this thread;
// its first message binds the handle to it.
thread_local CWindowImplBase* t_creating = nullptr;

}  // namespace

std::wstring CWindow::GetWindowText() const {
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

BOOL CWindow::CenterWindow(HWND center) {
    RECT self{};
    if (!::GetWindowRect(m_hWnd, &self)) return FALSE;
    if (!center) center = ::GetWindow(m_hWnd, GW_OWNER);
    if (center && (!::IsWindowVisible(center) || ::IsIconic(center))) center = nullptr;

    RECT area{};
    RECT target{};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const HMONITOR monitor = ::MonitorFromWindow(center ? center : m_hWnd, MONITOR_DEFAULTTONEAREST);
    if (!::GetMonitorInfoW(monitor, &info)) return FALSE;
    area = info.rcWork;
    if (center) {
        ::GetWindowRect(center, &target);
    } else {
        target = area;
    }
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = (target.left + target.right) / 2 - width / 2;
    int y = (target.top + target.bottom) / 2 - height / 2;
    if (x + width > area.right) x = area.right - width;
    if (x < area.left) x = area.left;
    if (y + height > area.bottom) y = area.bottom - height;
    if (y < area.top) y = area.top;
    return ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CWindowImplBase::~CWindowImplBase() {
    // A window must not outlive the object that handles its messages.
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcW));
        ::DestroyWindow(m_hWnd);
    }
}

CWndClassInfo& CWindowImplBase::GetWndClassInfo() {
    static CWndClassInfo info;
    return info;
}

bool CWindowImplBase::RegisterWindowClass() {
    CWndClassInfo& info = GetWndClassInfo();
    const HINSTANCE instance = TheAppModule().GetModuleInstance() ? TheAppModule().GetModuleInstance()
                                                                  : ::GetModuleHandleW(nullptr);
    if (info.className.empty()) {
        static std::atomic<unsigned> counter{0};
        wchar_t name[40];
        std::swprintf(name, 40, L"Vorla:%08X", counter.fetch_add(1) + 1);
        info.className = name;
    }
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExW(instance, info.className.c_str(), &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = info.style;
        wc.lpfnWndProc = &CWindowImplBase::StartWindowProc;
        wc.hInstance = instance;
        wc.hCursor = info.cursor ? ::LoadCursorW(nullptr, info.cursor) : nullptr;
        wc.hbrBackground = info.background;
        wc.hIcon = info.icon;
        wc.lpszClassName = info.className.c_str();
        if (!::RegisterClassExW(&wc)) return false;
    } else if (existing.lpfnWndProc != &CWindowImplBase::StartWindowProc) {
        return false;  // the name belongs to a class that is not ours
    }
    registeredClass_ = info.className;
    return true;
}

HWND CWindowImplBase::Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                             DWORD exStyle, HMENU menuOrId, void* createParam) {
    if (m_hWnd || !RegisterWindowClass()) return nullptr;
    const HINSTANCE instance = TheAppModule().GetModuleInstance() ? TheAppModule().GetModuleInstance()
                                                                  : ::GetModuleHandleW(nullptr);
    CWindowImplBase* const previous = t_creating;
    t_creating = this;
    const HWND hwnd = ::CreateWindowExW(exStyle, registeredClass_.c_str(), title ? title : L"", style,
                                        rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                        parent, menuOrId, instance, createParam);
    t_creating = previous;
    return hwnd;
}

LRESULT CALLBACK CWindowImplBase::StartWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CWindowImplBase* self = t_creating;
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    t_creating = nullptr;
    self->m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindowImplBase::WindowProc));
    return WindowProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CWindowImplBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (!self->ProcessWindowMessage(hwnd, msg, wp, lp, result)) {
        result = ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage(hwnd);
    }
    return result;
}
