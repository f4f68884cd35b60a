#include "config/PortalTrust.h"

#include <windows.h>

BuiltInTrust ReadBuiltInTrust() {
    BuiltInTrust result;
    HRSRC found = ::FindResourceW(nullptr, L"PORTALTRUST", MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return result;
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const DWORD size = ::SizeofResource(nullptr, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    // A few keys take a few hundred bytes: anything far larger is not ours.
    if (!bytes || size > 64 * 1024 ||
        !ParsePortalTrust(std::string(static_cast<const char*>(bytes), size), &result.trust))
        result.broken = true;
    return result;
}
