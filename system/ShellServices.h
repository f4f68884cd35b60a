// Shell services: the desktop shortcut, showing a file in its folder and
// opening a web address in the user's browser.
#pragma once

#include <string>

// Replaces the desktop shortcut to the running program (desktop folder +
// the program's base name + ".lnk").
bool CreateDesktopShortcut();

// Path of the desktop shortcut CreateDesktopShortcut writes.
std::wstring DesktopShortcutPath();

// Opens path's folder in the shell with path selected.
bool OpenFolderAndSelect(const std::wstring& path);

// Opens a web address (http or https only) in the default browser, falling
// back to Internet Explorer. Anything else is refused.
bool OpenUrl(const std::wstring& url);
