// The application's button: the caption is centred in its own colour and
// font, with no icon and no push-in.
#pragma once

#include "ui/SomButton4.h"

class CMySomButton4 : public CSomButton4 {
public:
    void SetCaptionColor(COLORREF colour) {
        captionColour_ = colour;
        Invalidate(nullptr, 0);
    }
    // Not owned; null selects the font table's entry 2.
    void SetCaptionFont(HFONT font) {
        captionFont_ = font;
        Invalidate(nullptr, 0);
    }

    void Draw(HDC dc, int clipRight, int part) override;

private:
    COLORREF captionColour_ = 0;
    HFONT captionFont_ = nullptr;
};
