// Small system services shared by the windows of the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// True when a full-screen application (a game, a film) owns the screen, so
// that the program must not pop up over it.
bool IsFullScreenAppInForeground();

// Creates (or opens) a named mutex that every account may open. Returns true
// only when it already existed; the caller owns the handle.
bool CreateSharedMutex(const wchar_t* name, HANDLE* handle);

// The user's temporary folder with its trailing separator, or fallback.
std::wstring TempFolderOr(const std::wstring& fallback);

// Whether a file or folder exists at path.
bool PathExists(const std::wstring& path);

// Size of an existing file; 0 when it is missing or cannot be opened. Never
// creates a file.
uint64_t GetFileSize64(const std::wstring& path);

// File names of the configured game and companion links.
std::wstring GetInstallerFileName();
std::wstring GetKeldorSetupFileName();
