#include "ui/ImageLoader.h"

#include "ui/PngDecoder.h"

#include "base/ScopedHandle.h"

#include <vector>

namespace {

constexpr BYTE kKindBmp = 1;
constexpr BYTE kKindPng = 2;

// JPEG images are not used by this program; a JPEG source yields no bitmap.
HBITMAP DecodeByKind(const uint8_t* data, size_t size, BYTE kind) {
    if (kind == kKindPng) return DecodePngToDib(data, size);
    return nullptr;
}

}  // namespace

HBITMAP LoadImageResource(HINSTANCE module, UINT resourceId, BYTE kind) {
    if (kind == kKindBmp) {
        return static_cast<HBITMAP>(
            ::LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    }
    const wchar_t* type = kind == kKindPng ? L"PNG" : L"JPG";
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), type);
    if (!found) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) return nullptr;
    return DecodeByKind(static_cast<const uint8_t*>(data), size, kind);
}

HBITMAP LoadImageFile(const std::wstring& path, BYTE kind) {
    if (kind == kKindBmp) {
        return static_cast<HBITMAP>(::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                 LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    }
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxImageFileBytes) {
        return nullptr;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size()) {
        return nullptr;  // only a wholly read file is decoded
    }
    return DecodeByKind(bytes.data(), bytes.size(), kind);
}
