// The side state file: what must survive a restart, in one INI section in the
// temporary folder, kept in UTF-16LE with a byte-order mark. Existence is the
// switch: writers write only when the file exists, readers fall back to their
// defaults when it does not.
#pragma once

#include <cstdint>
#include <string>

// Temporary folder + game identifier + ".tmp.cfg".
std::wstring StateFilePath();

class CStateFile {
public:
    static const uint32_t kDefaultCompanionSize = 10485760;  // 10 MiB

    // The process's state file, or another path (tests).
    CStateFile() : path_(StateFilePath()) {}
    explicit CStateFile(std::wstring path) : path_(std::move(path)) {}

    const std::wstring& Path() const { return path_; }
    bool Exists() const;

    // Deletes the file and creates it holding only the UTF-16LE byte-order
    // mark, so that every value (a Korean or accented folder on a Chinese
    // system too) is kept as written.
    bool Create() const;

    // "Dir": save folder of the current download; empty by default.
    std::wstring GetDir() const;
    void SetDir(const std::wstring& folder) const;

    // "DlKD": the companion choice; fallback when the file is missing. Only
    // the exact value "1" means ticked.
    bool GetDlKD(bool fallback) const;
    void SetDlKD(bool ticked) const;

    // "KDSize": the companion setup's size; 10 MiB when missing or 0.
    uint32_t GetKDSize() const;
    void SetKDSize(uint64_t size) const;

    // "DownloadTotalTime": accumulated milliseconds of downloading.
    uint64_t GetDownloadTotalTime() const;
    void SetDownloadTotalTime(uint64_t ms) const;

private:
    std::wstring Read(const wchar_t* key) const;
    // Before a write: a file left empty or in the system code page by an
    // earlier run is rewritten in UTF-16 with its values kept.
    void MakeUnicode() const;
    void Write(const wchar_t* key, const std::wstring& value) const;

    std::wstring path_;
};
