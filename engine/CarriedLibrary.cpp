#include "engine/CarriedLibrary.h"

#include "codec/Lzari.h"
#include "base/ScopedHandle.h"

#include <algorithm>
#include <vector>

namespace {

// The stored form may expand to at most four times its size; a length
// header above that is refused before anything is allocated.
const size_t kMaxExpansion = 4;

bool WriteNewFile(const std::wstring& path, const uint8_t* data, size_t size) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 24));
        DWORD written = 0;
        ok = ::WriteFile(file.get(), data + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    ok = ok && ::FlushFileBuffers(file.get());
    file.reset();
    if (!ok) ::DeleteFileW(path.c_str());
    return ok;
}

}  // namespace

bool ExtractResource(int id, const wchar_t* type, const std::wstring& path) {
    if (path.empty()) return false;
    ::DeleteFileW(path.c_str());
    const HMODULE self = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
    if (!found) return false;
    const HGLOBAL loaded = ::LoadResource(self, found);
    const DWORD storedSize = ::SizeofResource(self, found);
    const auto* stored = loaded ? static_cast<const uint8_t*>(::LockResource(loaded)) : nullptr;
    if (!stored || storedSize < kLzariHeaderBytes) return false;

    const size_t capacity = static_cast<size_t>(storedSize) * kMaxExpansion;
    std::vector<uint8_t> decoded(capacity);
    size_t length = 0;
    if (!LzariDecode(stored, storedSize, decoded.data(), decoded.size(), &length)) return false;
    return WriteNewFile(path, decoded.data(), length);
}

bool CCarriedLibrary::Load(int id, const wchar_t* type, const std::wstring& path) {
    Unload();
    if (!ExtractResource(id, type, path)) return false;
    writtenPath_ = path;
    module_ = ::LoadLibraryW(path.c_str());
    if (!module_) Unload();
    return module_ != nullptr;
}

void CCarriedLibrary::Unload() {
    if (module_) ::FreeLibrary(module_);
    module_ = nullptr;
    if (!writtenPath_.empty()) ::DeleteFileW(writtenPath_.c_str());
    writtenPath_.clear();
}

FARPROC CCarriedLibrary::Resolve(const char* name) const {
    return module_ ? ::GetProcAddress(module_, name) : nullptr;
}
