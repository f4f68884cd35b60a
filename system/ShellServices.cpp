#include "system/ShellServices.h"

#include "base/ScopedComPtr.h"
#include "base/ScopedHandle.h"
#include "config/VersionInfo.h"
#include "base/WebAddress.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>

namespace {

struct ItemIdListFree {
    void operator()(ITEMIDLIST* list) const { ::CoTaskMemFree(list); }
};

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return std::wstring();
    return path;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::wstring DesktopShortcutPath() {
    const std::wstring desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    const std::wstring fileName = FileNameOf(OwnExecutablePath());
    if (desktop.empty() || fileName.empty()) return std::wstring();
    const size_t dot = fileName.find_last_of(L'.');
    return desktop + L"\\" + (dot == std::wstring::npos ? fileName : fileName.substr(0, dot)) + L".lnk";
}

bool CreateDesktopShortcut() {
    const std::wstring target = OwnExecutablePath();
    const std::wstring shortcut = DesktopShortcutPath();
    if (target.empty() || shortcut.empty()) return false;
    ::DeleteFileW(shortcut.c_str());

    ScopedComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid()))) {
        return false;
    }
    link->SetPath(target.c_str());
    link->SetArguments(L"");
    link->SetWorkingDirectory(L"");
    link->SetDescription(FileNameOf(target).c_str());
    ScopedComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return false;
    return SUCCEEDED(file->Save(shortcut.c_str(), TRUE));
}

bool OpenFolderAndSelect(const std::wstring& path) {
    ScopedComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid()))) {
        return false;
    }
    link->SetPath(path.c_str());
    ITEMIDLIST* raw = nullptr;
    link->GetIDList(&raw);
    std::unique_ptr<ITEMIDLIST, ItemIdListFree> items(raw);
    ScopedComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) &&
        SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        raw = nullptr;
        if (SUCCEEDED(link->GetIDList(&raw)) && raw) items.reset(raw);
    }
    if (!items) return false;

    typedef HRESULT(WINAPI * OpenAndSelectFn)(PCIDLIST_ABSOLUTE, UINT, PCUITEMID_CHILD_ARRAY, DWORD);
    HMODULE shell = ::GetModuleHandleW(L"Shell32.DLL");
    if (!shell) shell = ::LoadLibraryW(L"Shell32.DLL");
    const auto openAndSelect = reinterpret_cast<OpenAndSelectFn>(
        reinterpret_cast<void*>(::GetProcAddress(shell, "SHOpenFolderAndSelectItems")));
    if (!openAndSelect) return false;
    return openAndSelect(items.get(), 0, nullptr, 0) >= 0;
}

bool OpenUrl(const std::wstring& url) {
    if (!IsWebAddress(url)) return false;
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof(open);
    open.fMask = SEE_MASK_FLAG_NO_UI;
    open.lpVerb = L"open";
    open.lpFile = url.c_str();
    open.nShow = SW_SHOW;
    if (::ShellExecuteExW(&open)) return true;

    const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    if (programFiles.empty()) return false;
    std::wstring browser = programFiles + L"\\Internet Explorer\\IEXPLORE.EXE";
    if (browser.size() > 1 && browser[1] == L':') browser = L"\"" + browser + L"\"";
    SHELLEXECUTEINFOW fallback{};
    fallback.cbSize = sizeof(fallback);
    fallback.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    fallback.lpFile = browser.c_str();
    fallback.lpParameters = url.c_str();
    fallback.nShow = SW_SHOWDEFAULT;
    if (!::ShellExecuteExW(&fallback)) return false;
    // The browser runs on its own; its process handle is not needed.
    ScopedHandle browserProcess(fallback.hProcess);
    return true;
}
