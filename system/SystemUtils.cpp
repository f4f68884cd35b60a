#include "system/SystemUtils.h"

#include "config/DownloaderConfig.h"
#include "system/LinkFileName.h"
#include "base/ScopedHandle.h"

bool CreateSharedMutex(const wchar_t* name, HANDLE* handle) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    // A NULL access list lets every account open the mutex.
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    *handle = ::CreateMutexW(&attributes, FALSE, name);
    return *handle != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring TempFolderOr(const std::wstring& fallback) {
    const std::wstring temp = TempFolder();
    return temp.empty() ? fallback : temp;
}

uint64_t GetFileSize64(const std::wstring& path) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

std::wstring GetInstallerFileName() { return LinkFileName(TheDownloaderConfig().GetGameDownloadLink()); }

std::wstring GetKeldorSetupFileName() { return LinkFileName(TheDownloaderConfig().GetKeldorDownloaderLink()); }

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
