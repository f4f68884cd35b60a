// Helpers shared by the test programs that run under wine64.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// A Unix path from the environment (set by the test runner) in its Windows
// form on drive Z:; empty when the variable is not set.
std::wstring EnvPath(const char* variable);

// Folder served by nginx on 127.0.0.1:17223, and nginx's access log.
std::wstring PortalDir();
std::wstring PortalLogPath();
// The fault-injecting server's request log (127.0.0.1:17224).
std::wstring FaultsLogPath();
extern const wchar_t kPortalBase[];  // "http://127.0.0.1:17223"
extern const wchar_t kFaultsBase[];  // "http://127.0.0.1:17224"

// Folder of the running test program (where the build puts every binary).
std::wstring BinDir();

bool FileExists(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Creates every missing folder on the way to path's parent.
void EnsureParentFolder(const std::wstring& path);
uint64_t FileSize(const std::wstring& path);

// Lines of a log file; lines appended later can be found by index.
std::vector<std::string> ReadLines(const std::wstring& path);
// How many lines of path, from line `from` on, contain `needle`.
size_t CountLinesContaining(const std::wstring& path, const std::string& needle, size_t from = 0);

// The first line of path, from line `from` on, that contains needle.
std::string LineContaining(const std::wstring& path, const std::string& needle, size_t from = 0);

// Pumps this thread's messages until done() holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Text in the system code page 936 (GBK) and UTF-16LE with a mark.
std::string ToGbk(const std::wstring& text);
std::string ToUtf16LeWithMark(const std::wstring& text);

}  // namespace testing_support
