// Volume facts for tests: drives, file systems, free bytes, folders and the
// security products are whatever the test says.
#pragma once

#include "system/SystemVolumes.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class FakeVolumes : public ISystemVolumes {
public:
    DWORD mask = 0;
    std::map<wchar_t, std::wstring> fileSystems;  // drive letter -> name; absent: unreadable
    std::map<wchar_t, uint64_t> freeBytes;        // drive letter -> bytes; absent: probe fails
    std::set<std::wstring> existing;              // folders and files that exist
    std::set<std::wstring> readOnly;              // folders in which nothing can be created
    std::set<std::wstring> unwritable;            // existing files that refuse writing
    std::map<std::wstring, uint64_t> sizes;
    std::wstring products[2];
    std::vector<std::wstring> created;

    // Adds a drive with its root folder.
    void AddDrive(wchar_t letter, const wchar_t* fileSystem, uint64_t bytes) {
        mask |= 1u << (letter - L'A');
        if (fileSystem) fileSystems[letter] = fileSystem;
        freeBytes[letter] = bytes;
        existing.insert(std::wstring(1, letter) + L":");
        existing.insert(std::wstring(1, letter) + L":\\");
    }
    void AddFolder(const std::wstring& path) { existing.insert(Strip(path)); }

    DWORD LogicalDriveMask() override { return mask; }
    bool FileSystemName(const std::wstring& root, std::wstring& name) override {
        auto it = fileSystems.find(root.empty() ? L'?' : root[0]);
        if (it == fileSystems.end() || !Exists(root)) return false;
        name = it->second;
        return true;
    }
    bool FreeBytes(const std::wstring& path, uint64_t& bytes) override {
        auto it = freeBytes.find(path.empty() ? L'?' : path[0]);
        if (it == freeBytes.end()) return false;
        bytes = it->second;
        return true;
    }
    bool SecurityProductPath(int index, std::wstring& path) override {
        if (products[index].empty()) return false;
        path = products[index];
        return true;
    }
    bool Exists(const std::wstring& path) override { return existing.count(Strip(path)) > 0; }
    bool CanOpenForWriting(const std::wstring& path) override {
        ++writeOpens;
        return Exists(path) && unwritable.count(Strip(path)) == 0;
    }
    int writeOpens = 0;
    bool MakeDirectory(const std::wstring& path) override {
        const std::wstring p = Strip(path);
        const size_t slash = p.find_last_of(L'\\');
        const std::wstring parent = slash == std::wstring::npos ? std::wstring() : p.substr(0, slash);
        if (existing.count(p) || !existing.count(parent) || readOnly.count(parent)) return false;
        existing.insert(p);
        created.push_back(p);
        return true;
    }
    bool RemoveDirectory(const std::wstring& path) override { return existing.erase(Strip(path)) > 0; }
    uint64_t BytesOnDisk(const std::wstring& path) override {
        auto it = sizes.find(Strip(path));
        return it == sizes.end() ? 0 : it->second;
    }

private:
    // "D:\x\" and "D:\x" name the same folder; "D:\" stays a root.
    static std::wstring Strip(std::wstring path) {
        while (path.size() > 3 && path.back() == L'\\') path.pop_back();
        return path;
    }
};
