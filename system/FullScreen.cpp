// Whether a full-screen application owns the screen: the foreground window
// covers the primary display, judged by probing points near its edges.
#include "system/SystemUtils.h"
#include "base/ScopedHandle.h"

#include <psapi.h>
#include <shlwapi.h>

namespace {

typedef BOOL(WINAPI* QueryFullProcessImageNameFn)(HANDLE, DWORD, LPWSTR, PDWORD);

// Looked up once; every thread that gets here stores the same value.
QueryFullProcessImageNameFn QueryImageName() {
    static QueryFullProcessImageNameFn fn = reinterpret_cast<QueryFullProcessImageNameFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"Kernel32.dll"), "QueryFullProcessImageNameW")));
    return fn;
}

bool ProcessImagePath(DWORD pid, wchar_t (&path)[260]) {
    if (pid <= 4) return false;
    ScopedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return false;
    bool ok = ::GetModuleFileNameExW(process.get(), nullptr, path, 260) != 0;
    if (!ok) {
        DWORD size = 260;
        const QueryFullProcessImageNameFn query = QueryImageName();
        ok = query && query(process.get(), 0, path, &size);
    }
    return ok;
}

bool PrimaryDisplaySize(int& width, int& height) {
    const POINT origin = {0, 0};
    const HMONITOR monitor = ::MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(monitor, &info)) return false;
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    if (!::EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) return false;
    width = static_cast<int>(mode.dmPelsWidth);
    height = static_cast<int>(mode.dmPelsHeight);
    return true;
}

bool CoversDisplay(const RECT& rc, int width, int height) {
    return rc.left == 0 && rc.top == 0 && rc.right == width && rc.bottom == height;
}

// No foreground window: a visible, topmost, not minimised window exactly
// covering the display counts.
bool ScanTopmostWindows() {
    int width, height;
    if (!PrimaryDisplaySize(width, height)) return false;
    HWND hwnd = ::GetWindow(::GetDesktopWindow(), GW_CHILD);
    for (int i = 0; hwnd && i < 1000; ++i, hwnd = ::GetWindow(hwnd, GW_HWNDNEXT)) {
        WINDOWINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetWindowInfo(hwnd, &info)) continue;
        if ((info.dwStyle & WS_VISIBLE) && !(info.dwStyle & WS_MINIMIZE) && (info.dwExStyle & WS_EX_TOPMOST) &&
            CoversDisplay(info.rcWindow, width, height)) {
            return true;
        }
    }
    return false;
}

// One probe point of the edge test. reference is cleared by the first point
// that finds some other window in front; later points then count only when
// they lie on a window of the foreground process.
bool ProbePasses(POINT point, HWND& reference, DWORD pid) {
    const HWND hit = ::WindowFromPoint(point);
    if (reference) {
        if (hit == reference) return true;
        if (hit && ::GetAncestor(hit, GA_ROOT) == reference) return true;
        reference = nullptr;
    }
    if (pid == 0) return false;
    DWORD hitPid = 0;
    if (hit) ::GetWindowThreadProcessId(hit, &hitPid);
    return hit && hitPid == pid;
}

}  // namespace

bool IsFullScreenAppInForeground() {
    const HWND foreground = ::GetForegroundWindow();
    if (!foreground) return ScanTopmostWindows();
    if (foreground == ::GetDesktopWindow()) return false;

    DWORD pid = 0;
    ::GetWindowThreadProcessId(foreground, &pid);
    if (pid < 4) pid = 0;
    if (pid != 0) {
        const HWND shell = ::GetShellWindow();
        DWORD shellPid = 0;
        if (shell) ::GetWindowThreadProcessId(shell, &shellPid);
        if (foreground == shell || (shell && pid == shellPid)) return false;
        wchar_t image[260] = {};
        if (ProcessImagePath(pid, image)) {
            const wchar_t* name = ::PathFindFileNameW(image);
            if (::StrCmpIW(name, L"explorer.exe") == 0 || ::StrCmpIW(name, L"taskmgr.exe") == 0) return false;
        }
    }

    int width, height;
    if (!PrimaryDisplaySize(width, height)) return false;
    RECT rc{};
    ::GetWindowRect(foreground, &rc);
    if (!::WindowFromPoint(POINT{0, 0}) && CoversDisplay(rc, width, height)) return true;

    const int w = width - 1;
    const int h = height - 1;
    const POINT edges[4][2] = {
        {{w / 16, 0}, {w * 15 / 16, 0}},  // top
        {{w, h / 16}, {w, h * 15 / 16}},  // right
        {{w / 16, h}, {w * 15 / 16, h}},  // bottom
        {{0, h / 16}, {0, h * 15 / 16}},  // left
    };
    HWND reference = foreground;
    for (const auto& edge : edges) {
        if (!ProbePasses(edge[0], reference, pid) && !ProbePasses(edge[1], reference, pid)) return false;
    }
    return true;
}
