/* A few GDI and USER calls every drawing test depends on, with nothing of the
 * program's own: prints what each returns and exits 1 when any fails. */
#include <windows.h>
#include <stdio.h>

static int failures;

static void report(const char* call, int ok) {
    printf("%-44s %s\n", call, ok ? "ok" : "FAILED");
    if (!ok) ++failures;
}

int main(void) {
    printf("%d-bit process\n", (int)(sizeof(void*) * 8));
    HDC screen = GetDC(NULL);
    report("GetDC(NULL)", screen != NULL);
    SIZE size = {0, 0};
    report("GetTextExtentPoint32W(screen, \"ab\")", GetTextExtentPoint32W(screen, L"ab", 2, &size) && size.cx > 0);
    HDC memory = CreateCompatibleDC(NULL);
    report("CreateCompatibleDC(NULL)", memory != NULL);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 4, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0}};
    void* bits = NULL;
    HBITMAP dib = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    report("CreateDIBSection(4x4, 32 bits)", dib != NULL && bits != NULL);
    report("SelectObject(memory DC, DIB section)", memory && dib && SelectObject(memory, dib) != NULL);
    RECT all = {0, 0, 4, 4};
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    report("FillRect(memory DC) paints the pixels", FillRect(memory, &all, brush) && bits &&
                                                       (*(DWORD*)bits & 0xFFFFFF) == 0x010203);
    HDC second = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 4, 4);
    report("BitBlt(memory DC to memory DC)",
           second && target && SelectObject(second, target) && BitBlt(second, 0, 0, 4, 4, memory, 0, 0, SRCCOPY));
    HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 40, 40, NULL, NULL, NULL, NULL);
    HRGN region = CreateRectRgn(0, 0, 20, 20);
    report("SetWindowRgn(window, 20x20)", window && SetWindowRgn(window, region, FALSE));
    const POINT corners[8] = {{3, 0}, {17, 0}, {20, 3}, {20, 17}, {17, 20}, {3, 20}, {0, 17}, {0, 3}};
    report("CreatePolygonRgn(8 corners)", CreatePolygonRgn(corners, 8, ALTERNATE) != NULL);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    RECT box = {0, 0, 0, 0};
    report("GetWindowRgn gives the 20x20 box",
           GetWindowRgn(window, copy) != ERROR && GetRgnBox(copy, &box) != ERROR && box.right == 20);
    printf("%s\n", failures ? "drawing does not work in this process" : "drawing works");
    return failures ? 1 : 0;
}
