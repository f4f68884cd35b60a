// A push button drawn from a strip of state frames (normal, pointer over,
// pressed, disabled), with an optional icon and caption. The click is
// decided when the capture ends: it fires only if the pointer is over the
// button at release.
#pragma once

#include "ui/SomWnd.h"

#include <string>

class CSomBitmap;

class CSomButton4 : public CSomWnd {
public:
    // Frame of the background strip for the current state.
    int GetStateIndex() const;

    // The strip is not owned (the skin set or the host owns it).
    void SetImage(CSomBitmap* background);
    void SetCaption(const wchar_t* caption);
    void SetIcon(CSomBitmap* icon, int frame);

    bool IsHovered() const { return hovered_; }
    bool IsPressed() const { return pressed_; }
    int GetContentOffset() const { return contentOffset_; }
    const std::wstring& GetCaption() const { return caption_; }

    void OnCreate() override;
    void Draw(HDC dc, int clipRight, int part) override;
    void OnMouseEnter(POINT pt) override;
    void OnMouseLeave() override;
    int OnLButtonDown(POINT pt) override;
    int OnLButtonDblClk(POINT pt) override { return OnLButtonDown(pt); }
    int OnLButtonUp(POINT pt) override;
    void OnCaptureLost() override;

protected:
    void Layout();
    void DrawBackgroundFrame(HDC dc);
    CSomBitmap* GetBackground() const { return background_; }

private:
    bool hovered_ = false;
    bool pressed_ = false;
    std::wstring caption_;
    CSomBitmap* icon_ = nullptr;        // not owned
    int iconFrame_ = 0;
    CSomBitmap* background_ = nullptr;  // not owned
    int contentOffset_ = 0;
};
