// A check box drawn from a nine-frame strip: unchecked normal, over,
// pressed, disabled; the same checked; a greyed check for the mixed state.
// A radio box is only ever checked by a click, never unchecked.
#pragma once

#include "ui/SomWnd.h"

#include <string>

class CSomBitmap;

class CSomCheckBox : public CSomWnd {
public:
    // image is not owned.
    CSomCheckBox(CSomBitmap* image, bool radio) : radio_(radio), image_(image) {}

    bool GetCheck() const { return checked_; }
    void SetCheck(bool checked);
    void SetMixed(bool mixed);
    bool IsMixed() const { return mixed_; }
    bool IsRadio() const { return radio_; }
    void SetCaption(const wchar_t* caption);
    bool IsHovered() const { return hovered_; }
    bool IsPressed() const { return pressed_; }
    // The frame that represents the current state.
    int GetFrameIndex() const;

    void OnCreate() override;
    void Draw(HDC dc, int clipRight, int part) override;
    void OnMouseEnter(POINT pt) override;
    void OnMouseLeave() override;
    int OnLButtonDown(POINT pt) override;
    int OnLButtonDblClk(POINT pt) override { return OnLButtonDown(pt); }
    int OnLButtonUp(POINT pt) override;
    void OnCaptureLost() override;

private:
    void Layout();

    bool hovered_ = false;
    bool checked_ = false;
    bool mixed_ = false;
    bool pressed_ = false;
    bool radio_;
    CSomBitmap* image_;  // not owned
    std::wstring caption_;
};
