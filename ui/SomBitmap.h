// An image that is a horizontal strip of equally wide frames, one frame per
// visual state, loaded lazily (once, even when loading fails) from a program
// resource or a file and drawn alpha-blended (32-bit, premultiplied) or
// copied (24-bit).
#pragma once

#include <windows.h>

#include <string>

class CSomBitmap {
public:
    enum Kind : BYTE { KIND_BMP = 1, KIND_PNG = 2, KIND_JPG = 3 };

    // From a resource of the program (type "PNG" for KIND_PNG).
    explicit CSomBitmap(UINT resourceId, WORD frames = 1, BYTE kind = KIND_PNG);
    // From a file; the image keeps its own copy of the path.
    explicit CSomBitmap(const wchar_t* path, WORD frames = 1, BYTE kind = KIND_PNG);
    CSomBitmap(const CSomBitmap&) = delete;
    CSomBitmap& operator=(const CSomBitmap&) = delete;
    virtual ~CSomBitmap();

    int GetFrameWidth();
    int GetHeight();
    bool HasAlpha();
    int GetFrameCount();
    bool IsLoaded() const { return loaded_; }
    // The decoded bitmap (null before loading or after a failed load).
    HBITMAP GetHandle();

    // The frame at natural size with its top-left at (x, y).
    void Draw(HDC dc, int x, int y, int frame);
    // The whole frame scaled to cx x cy.
    virtual void DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame);
    // The frame scaled to cx wide at its natural height.
    virtual void DrawHStretched(HDC dc, int x, int y, int cx, int frame);
    // The cx x cy block at (srcX, srcY) of the frame, unscaled.
    void DrawPart(HDC dc, int x, int y, int cx, int cy, int srcX, int srcY, int frame);
    // The srcCx x srcCy block at (srcX, srcY) of the frame scaled to cx x cy.
    void DrawPartStretched(HDC dc, int x, int y, int cx, int cy, int srcX, int srcY, int srcCx, int srcCy,
                           int frame);

protected:
    void EnsureLoaded();

private:
    HBITMAP LoadBitmapFromSource();

    UINT resourceId_ = 0;
    std::wstring path_;
    HBITMAP bitmap_ = nullptr;  // owned
    int frameWidth_ = 0;
    int height_ = 0;
    WORD frames_ = 1;
    bool hasAlpha_ = false;
    BYTE kind_ = KIND_PNG;
    bool loaded_ = false;
};
