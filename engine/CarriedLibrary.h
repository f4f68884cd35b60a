// The libraries the program carries inside itself as compressed resources:
// written to the temporary folder right before use, loaded from there, and
// unloaded and deleted after use.
#pragma once

#include <windows.h>

#include <string>

// Replaces the file at path with the decoded resource (numeric id, type
// name) of the running executable. False, with no file left at path, when
// the resource is missing, does not decode, or the file cannot be written.
bool ExtractResource(int id, const wchar_t* type, const std::wstring& path);

// One carried library, loaded from its extracted file. Owns both the module
// and the file: Unload (or destruction) frees the one and deletes the other.
class CCarriedLibrary {
public:
    CCarriedLibrary() = default;
    CCarriedLibrary(const CCarriedLibrary&) = delete;
    CCarriedLibrary& operator=(const CCarriedLibrary&) = delete;
    ~CCarriedLibrary() { Unload(); }

    // Extracts resource (id, type) to path and loads it. On failure nothing
    // stays loaded and no file this call wrote stays on disk.
    bool Load(int id, const wchar_t* type, const std::wstring& path);
    void Unload();

    bool IsLoaded() const { return module_ != nullptr; }
    // Null when not loaded or the export is missing.
    FARPROC Resolve(const char* name) const;

private:
    HMODULE module_ = nullptr;
    // The file this object wrote; only that one is deleted, so a copy of the
    // program that lost the race for the file never deletes another's.
    std::wstring writtenPath_;
};
