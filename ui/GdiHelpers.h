// Owners for GDI handles and a few drawing helpers shared by the toolkit.
// Each owner releases its handle when it goes away, so an early return in a
// paint routine cannot leak a DC or a bitmap.
#pragma once

#include "base/ScopedResource.h"

#include <windows.h>

#include <utility>

// Deletes a GDI object (bitmap, font, brush, region) when it goes away.
template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static T Normalise(T object) { return object; }
    static void Release(T object) { ::DeleteObject(object); }
};
template <typename T>
using ScopedGdiObject = ScopedResource<GdiObjectTraits<T>>;

using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedRegion = ScopedGdiObject<HRGN>;

// A memory DC compatible with the screen, deleted when it goes away.
class ScopedMemoryDC {
public:
    ScopedMemoryDC() : dc_(::CreateCompatibleDC(nullptr)) {}
    ~ScopedMemoryDC() {
        if (dc_) ::DeleteDC(dc_);
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// GetDC/ReleaseDC of a window.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~ScopedWindowDC() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (previous_) ::SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Sets the text colour and puts the previous one back.
class ScopedTextColor {
public:
    ScopedTextColor(HDC dc, COLORREF colour) : dc_(dc), previous_(::SetTextColor(dc, colour)) {}
    ~ScopedTextColor() { ::SetTextColor(dc_, previous_); }
    ScopedTextColor(const ScopedTextColor&) = delete;
    ScopedTextColor& operator=(const ScopedTextColor&) = delete;

private:
    HDC dc_;
    COLORREF previous_;
};

// The one screen-compatible memory DC of the user-interface thread: images
// select their bitmaps into it to copy them, text elements measure with it.
// Not for other threads.
HDC SomSharedMemoryDC();

// Size of text in a font, measured on the shared memory DC.
SIZE SomMeasureText(HFONT font, const wchar_t* text, int length);

// Major version of the running system, as the font choices need it.
DWORD SomOsMajorVersion();
