// A small window layer: a handle wrapper with the helpers the windows use,
// and an implementation base that registers a window class and routes the
// messages of its windows to a virtual message table.
#pragma once

#include <windows.h>

#include <string>

class CWindow {
public:
    HWND m_hWnd = nullptr;

    operator HWND() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL SetWindowText(const wchar_t* text) { return ::SetWindowTextW(m_hWnd, text); }
    std::wstring GetWindowText() const;
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::SendMessageW(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::PostMessageW(m_hWnd, msg, wp, lp); }
    BOOL GetClientRect(RECT* rc) const { return ::GetClientRect(m_hWnd, rc); }
    BOOL GetWindowRect(RECT* rc) const { return ::GetWindowRect(m_hWnd, rc); }
    BOOL MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { return ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
    BOOL Invalidate(BOOL erase = FALSE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    // Centres the window on its owner, or on the work area of the nearest
    // monitor when it has none (or the owner is hidden or minimised).
    BOOL CenterWindow(HWND center = nullptr);
};

// What the implementation registers as its window class. An empty name asks
// for a generated one ("Vorla:" and a number unique in the process).
struct CWndClassInfo {
    std::wstring className;
    UINT style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    const wchar_t* cursor = IDC_ARROW;
    HICON icon = nullptr;
};

class CWindowImplBase : public CWindow {
public:
    CWindowImplBase() = default;
    CWindowImplBase(const CWindowImplBase&) = delete;
    CWindowImplBase& operator=(const CWindowImplBase&) = delete;
    virtual ~CWindowImplBase();

    // Registers the class on first use and creates the window. Returns NULL
    // when the class or the window cannot be created.
    HWND Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                DWORD exStyle = 0, HMENU menuOrId = nullptr, void* createParam = nullptr);

    // The message table: return TRUE and set result when the message was
    // handled; FALSE lets the default window procedure handle it.
    virtual BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) = 0;

    // Called after the last message (WM_NCDESTROY), when m_hWnd is cleared.
    virtual void OnFinalMessage(HWND) {}

    // The class this window is created with; the default is an anonymous
    // class with the standard style, brush and cursor.
    virtual CWndClassInfo& GetWndClassInfo();

    // Name of the window class the window was created with.
    const std::wstring& GetRegisteredClassName() const { return registeredClass_; }

protected:
    LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(m_hWnd, msg, wp, lp); }

private:
    static LRESULT CALLBACK StartWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool RegisterWindowClass();

    std::wstring registeredClass_;
};
