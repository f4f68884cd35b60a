// Screenshots that test runs save for people to look at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// ${VORLA_BUILD_DIR}\screenshots\<name>.png (the temporary folder without it);
// the folder is created.
std::wstring ScreenshotFile(const std::wstring& name);

// Writes a 32-bit top-down BGRA image as an RGB PNG.
bool WriteBgraPng(const std::wstring& path, int width, int height, const uint32_t* pixels);

// Copies what the screen shows of a window (any process's) into a PNG.
bool SaveWindowScreenshot(HWND window, const std::wstring& name);
