#include "system/SystemVolumes.h"

#include "base/ScopedHandle.h"
#include "base/ScopedRegKey.h"
#include "system/QuietDriveErrors.h"
#include "system/SystemUtils.h"

const wchar_t* const kSecurityProductKeys[2] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Qelvoguard.exe",
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Qelvoscan.exe",
};

namespace {

// Expands the environment variables in text; false when that fails.
bool ExpandEnvironment(std::wstring& text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return false;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), &expanded[0], needed);
    if (written == 0 || written > needed) return false;
    expanded.resize(written - 1);  // the count includes the terminator
    text = std::move(expanded);
    return true;
}

class PlatformVolumeFacts : public ISystemVolumes {
public:
    DWORD LogicalDriveMask() override { return ::GetLogicalDrives(); }

    bool FileSystemName(const std::wstring& root, std::wstring& name) override {
        QuietDriveErrors quiet;
        wchar_t volume[256] = {}, fileSystem[256] = {};
        DWORD serial = 0, maxComponent = 0, flags = 0;
        if (!::GetVolumeInformationW(root.c_str(), volume, 255, &serial, &maxComponent, &flags, fileSystem, 255)) {
            return false;
        }
        name = fileSystem;
        return true;
    }

    bool FreeBytes(const std::wstring& path, uint64_t& freeBytes) override {
        QuietDriveErrors quiet;
        ULARGE_INTEGER available{}, total{}, totalFree{};
        if (!::GetDiskFreeSpaceExW(path.c_str(), &available, &total, &totalFree)) return false;
        freeBytes = totalFree.QuadPart;
        return true;
    }

    bool SecurityProductPath(int index, std::wstring& path) override {
        if (index < 0 || index > 1) return false;
        ScopedRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSecurityProductKeys[index], 0, KEY_READ, key.receive()) !=
            ERROR_SUCCESS) {
            return false;
        }
        wchar_t buffer[260] = {};
        DWORD type = 0;
        DWORD bytes = sizeof(buffer);
        const LONG status =
            ::RegQueryValueExW(key.get(), L"path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
        key.reset();
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
        // The registry need not terminate the text: end it at the returned length.
        size_t length = bytes / sizeof(wchar_t);
        while (length > 0 && buffer[length - 1] == L'\0') --length;
        path.assign(buffer, length);
        // "%ProgramFiles%\Qelvo" names the folder only once expanded.
        if (type == REG_EXPAND_SZ) return ExpandEnvironment(path);
        return true;
    }

    bool Exists(const std::wstring& path) override {
        QuietDriveErrors quiet;
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool CanOpenForWriting(const std::wstring& path) override {
        QuietDriveErrors quiet;
        ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid();
    }

    bool MakeDirectory(const std::wstring& path) override {
        QuietDriveErrors quiet;
        return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    }

    bool RemoveDirectory(const std::wstring& path) override { return ::RemoveDirectoryW(path.c_str()) != FALSE; }

    uint64_t BytesOnDisk(const std::wstring& path) override {
        QuietDriveErrors quiet;
        DWORD high = 0;
        const DWORD low = ::GetCompressedFileSizeW(path.c_str(), &high);
        if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return 0;
        return uint64_t(high) << 32 | low;
    }
};

}  // namespace

ISystemVolumes& PlatformVolumes() {
    static PlatformVolumeFacts facts;
    return facts;
}
