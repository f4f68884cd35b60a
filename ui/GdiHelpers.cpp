#include "ui/GdiHelpers.h"

HDC SomSharedMemoryDC() {
    // Lives until the process ends, like the skin set that uses it.
    static HDC dc = ::CreateCompatibleDC(nullptr);
    return dc;
}

SIZE SomMeasureText(HFONT font, const wchar_t* text, int length) {
    SIZE size{0, 0};
    HDC dc = SomSharedMemoryDC();
    if (!dc || length <= 0) return size;
    ScopedSelect select(dc, font);
    ::GetTextExtentPoint32W(dc, text, length, &size);
    return size;
}

DWORD SomOsMajorVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!::GetVersionExW(&info)) return 5;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return info.dwMajorVersion;
}
