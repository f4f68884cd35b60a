// A progress bar drawn from a track and a fill image, each stretched to the
// bar's width between fixed-width rounded ends, with the position written
// as a percentage in its middle.
#pragma once

#include "ui/SomBitmap.h"
#include "ui/SomWnd.h"

class CKeldorProgress : public CSomWnd {
public:
    CKeldorProgress();

    // Ignored when minimum >= maximum; resets the position to minimum.
    void SetRange(int minimum, int maximum);
    // Clamped into the range; repaints only on a change.
    void SetPosition(int value);
    // Width of the rounded ends of both images; no repaint.
    void SetCapWidth(int width) { capWidth_ = width; }

    int GetMinimum() const { return minimum_; }
    int GetMaximum() const { return maximum_; }
    int GetPosition() const { return position_; }
    int GetCapWidth() const { return capWidth_; }
    // Pixels of the bar that the fill covers.
    int GetFilledWidth() const;

    void OnCreate() override;
    void Draw(HDC dc, int clipRight, int part) override;

protected:
    void DrawBar(HDC dc);
    void PercentText(wchar_t* text, size_t capacity) const;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int capWidth_ = 0;
    CSomBitmap fill_;   // owned
    CSomBitmap track_;  // owned
};
