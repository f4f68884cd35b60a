#include "engine/MachineId.h"

#include "engine/CarriedLibrary.h"
#include "verifier/VerifierApi.h"

#include <cwchar>

const wchar_t CMachineId::kVerifierResourceType[] = L"VERYFY_DLL";

CMachineId::CMachineId(int resourceId, const wchar_t* resourceType, const std::wstring& libraryPath)
    : resourceId_(resourceId), resourceType_(resourceType), libraryPath_(libraryPath) {}

bool CMachineId::Get(std::wstring& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cache_.empty() && !Fetch()) {
        out.clear();
        return false;
    }
    out = cache_;
    return true;
}

bool CMachineId::Fetch() {
    CCarriedLibrary library;  // unloads and deletes the file on every way out
    if (!library.Load(resourceId_, resourceType_, libraryPath_)) return false;
    const auto getCid = reinterpret_cast<VerifierGetCidFn>(reinterpret_cast<void*>(library.Resolve("GetCIDW")));
    if (!getCid) return false;
    // The library writes into a scratch buffer: a failing call may leave
    // anything there, and only a success reaches the cache.
    wchar_t buffer[kCapacity] = {};
    if (getCid(buffer, kCapacity) == 0) return false;
    buffer[kCapacity - 1] = L'\0';
    cache_.assign(buffer, std::wcslen(buffer));
    return !cache_.empty();
}
