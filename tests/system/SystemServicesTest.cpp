// The shared mutex, file sizes, web addresses, the desktop
// shortcut and the full-screen test with real windows on the test display.
#include "base/ScopedComPtr.h"
#include "system/ShellServices.h"
#include "system/SystemUtils.h"
#include "system/SystemVolumes.h"
#include "config/VersionInfo.h"
#include "base/WebAddress.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

using namespace testing_support;

namespace {

TEST(WebAddress, OnlyHttpAndHttpsAreOpened) {
    EXPECT_TRUE(IsWebAddress(L"http://127.0.0.1/x"));
    EXPECT_TRUE(IsWebAddress(L"HTTPS://example.invalid/"));
    for (const wchar_t* url : {L"file:///C:/Windows/notepad.exe", L"\\\\server\\share\\x.exe", L"mailto:a@b",
                               L"javascript:alert(1)", L"C:\\Windows\\notepad.exe", L"http://", L"", L"httpx://a"}) {
        EXPECT_FALSE(IsWebAddress(url)) << Narrow(url);
        EXPECT_FALSE(OpenUrl(url)) << Narrow(url);
    }
}

TEST(SharedMutex, SecondCreationReportsThatItExisted) {
    HANDLE first = nullptr, second = nullptr;
    EXPECT_FALSE(CreateSharedMutex(L"vorla-shared-mutex-test", &first));
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(CreateSharedMutex(L"vorla-shared-mutex-test", &second));
    ASSERT_NE(nullptr, second);
    ::CloseHandle(first);
    ::CloseHandle(second);
}

TEST(FileSize, MissingFileIsZeroAndIsNotCreated) {
    const std::wstring path = TempFolderOr(L"C:\\") + L"vorla-size-probe.bin";
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(0u, GetFileSize64(path));
    EXPECT_FALSE(FileExists(path));
    ASSERT_TRUE(WriteFileBytes(path, std::string(12345, 'x')));
    // Readable while another handle writes to it.
    HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(12345u, GetFileSize64(path));
    // An ordinary file takes its size on the volume, while another handle writes it too.
    EXPECT_EQ(12345u, PlatformVolumes().BytesOnDisk(path));
    ::CloseHandle(writer);
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(0u, PlatformVolumes().BytesOnDisk(path));
}

std::wstring ShortcutTarget(const std::wstring& shortcut) {
    ScopedComPtr<IShellLinkW> link;
    ScopedComPtr<IPersistFile> file;
    std::wstring target;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     link.ReceiveVoid()))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) &&
            SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
            wchar_t path[MAX_PATH] = {};
            if (SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) target = path;
        }
    }
    return target;
}

TEST(DesktopShortcut, IsReplacedAndPointsAtTheRunningProgram) {
    ::CoInitialize(nullptr);
    const std::wstring shortcut = DesktopShortcutPath();
    ASSERT_FALSE(shortcut.empty());
    EXPECT_NE(std::wstring::npos, shortcut.find(L"vorla_system_tests.lnk"));
    EnsureParentFolder(shortcut);
    ASSERT_TRUE(WriteFileBytes(shortcut, "an old, broken shortcut"));
    ASSERT_TRUE(CreateDesktopShortcut());
    EXPECT_EQ(0, ::lstrcmpiW(OwnExecutablePath().c_str(), ShortcutTarget(shortcut).c_str()));
    ::DeleteFileW(shortcut.c_str());
    ::CoUninitialize();
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd, msg, wp, lp); }

HWND MakeWindow(DWORD style, int x, int y, int w, int h) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &PlainProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VorlaFullScreenProbe";
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        ::RegisterClassW(&wc);
        registered = true;
    }
    HWND hwnd = ::CreateWindowExW(0, L"VorlaFullScreenProbe", L"probe", style, x, y, w, h, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetForegroundWindow(hwnd);
    PumpUntil([hwnd] { return ::GetForegroundWindow() == hwnd; }, 2000);
    PumpUntil([] { return false; }, 200);
    return hwnd;
}

TEST(FullScreen, BorderlessWindowCoveringTheDisplayCountsAndANormalOneDoesNot) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    HWND game = MakeWindow(WS_POPUP, 0, 0, width, height);
    ASSERT_EQ(game, ::GetForegroundWindow());
    EXPECT_TRUE(IsFullScreenAppInForeground());
    ::DestroyWindow(game);

    HWND normal = MakeWindow(WS_OVERLAPPEDWINDOW, 100, 100, 400, 300);
    ASSERT_EQ(normal, ::GetForegroundWindow());
    EXPECT_FALSE(IsFullScreenAppInForeground());
    ::DestroyWindow(normal);
}

}  // namespace
