// The file name a configured link gives its download. Plain C++ without
// platform headers, so it can be built and fuzzed on any host.
#pragma once

#include <string>

// The link is cut at its first "?" or "#" (a query or fragment may itself
// hold "/"), and the name is the text after the last "/" of what remains
// (the whole text when it has none). The name is empty when it would not be
// a plain file name in a Windows folder: empty (a link ending in "/"), "."
// or "..", a character Windows forbids in file names or a control
// character, a trailing dot or space (Windows drops them, so the file would
// get another name), or a device name such as CON, NUL, COM1 or LPT1, with
// or without an extension.
std::wstring LinkFileName(const std::wstring& link);

// True for the names Windows reserves for devices (CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9 and their superscript forms, CONIN$, CONOUT$),
// compared without regard to ASCII case; only the part before the first "."
// counts, without its trailing spaces.
bool IsWindowsDeviceName(const std::wstring& name);
