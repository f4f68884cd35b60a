#include "tools/stamp/StampExecutable.h"

#include "tools/stamp/VersionBlock.h"

#include <windows.h>

#include <vector>

namespace {

// One version resource of the program: its name (an id, as every compiler
// writes it) and language, with its bytes.
struct VersionResource {
    WORD id = 0;
    WORD language = 0;
    std::vector<uint8_t> bytes;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR param) {
    auto* found = reinterpret_cast<std::vector<VersionResource>*>(param);
    VersionResource resource;
    resource.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    resource.language = language;
    found->push_back(resource);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    // Named (not numbered) version resources do not occur in practice; skip them.
    if (!IS_INTRESOURCE(name)) return TRUE;
    ::EnumResourceLanguagesW(module, type, name, CollectLanguage, param);
    return TRUE;
}

std::wstring ReadVersionResources(const std::wstring& path, std::vector<VersionResource>& found) {
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return L"cannot open the program's resources";
    ::EnumResourceNamesW(module, RT_VERSION, CollectName, reinterpret_cast<LONG_PTR>(&found));
    std::wstring error;
    for (VersionResource& resource : found) {
        HRSRC info = ::FindResourceExW(module, RT_VERSION, MAKEINTRESOURCEW(resource.id), resource.language);
        HGLOBAL loaded = info != nullptr ? ::LoadResource(module, info) : nullptr;
        const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        const DWORD size = info != nullptr ? ::SizeofResource(module, info) : 0;
        if (data == nullptr || size == 0) {
            error = L"cannot read a version resource";
            break;
        }
        const auto* first = static_cast<const uint8_t*>(data);
        resource.bytes.assign(first, first + size);
    }
    ::FreeLibrary(module);
    if (error.empty() && found.empty()) error = L"the program has no version resource";
    return error;
}

}  // namespace

std::wstring StampExecutable(const std::wstring& path, const std::wstring& gameId) {
    std::vector<VersionResource> resources;
    std::wstring error = ReadVersionResources(path, resources);
    if (!error.empty()) return error;

    const std::u16string text(gameId.begin(), gameId.end());
    for (VersionResource& resource : resources) {
        VersionNode root;
        if (!ParseVersionBlock(resource.bytes, root)) return L"a version resource is malformed";
        if (!SetStringValue(root, u"FileDescription", text)) return L"a version resource has no string table";
        // Only what reads back, with the identifier in every table, is saved.
        std::vector<uint8_t> bytes;
        VersionNode written;
        if (!SerializeVersionBlockChecked(root, bytes) || !ParseVersionBlock(bytes, written))
            return L"the stamped version resource would not read back";
        for (const std::u16string& value : GetStringValues(written, u"FileDescription")) {
            if (value != text) return L"the stamped version resource would not read back";
        }
        resource.bytes = std::move(bytes);
    }

    HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    if (update == nullptr) return L"cannot open the program for writing";
    for (VersionResource& resource : resources) {
        if (!::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(resource.id), resource.language,
                               resource.bytes.data(), static_cast<DWORD>(resource.bytes.size()))) {
            ::EndUpdateResourceW(update, TRUE);
            return L"cannot replace a version resource";
        }
    }
    if (!::EndUpdateResourceW(update, FALSE)) return L"cannot write the program";
    return std::wstring();
}
