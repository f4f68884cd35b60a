// A one-line rich-text label: runs with their own colour, font and link,
// described by the markup of SomMarkup.h. A link either sends a command to
// the host ("button:<id>") or is opened with the shell.
#pragma once

#include "ui/SomWnd.h"

#include <string>
#include <vector>

class CSomTextWnd : public CSomWnd {
public:
    struct Run {
        std::wstring text;
        RECT rect{};
        HFONT font = nullptr;  // null: the element's font
        int32_t colour = -1;   // negative: the element's default
        std::wstring link;
    };

    // Parses and shows markup (null is the empty text); the same markup
    // again changes nothing.
    void SetText(const wchar_t* markup);
    void SetFont(HFONT font);
    void SetTextColor(COLORREF colour);
    void SetLinkColors(COLORREF normal, COLORREF hover);
    void SetMaxWidth(int width) { maxWidth_ = width; }

    const std::wstring& GetMarkup() const { return markup_; }
    const std::vector<Run>& GetRuns() const { return runs_; }
    HFONT GetFont() const { return font_; }
    int GetHoveredRun() const { return hovered_; }
    int GetPressedRun() const { return pressed_; }

    void OnCreate() override;
    void Draw(HDC dc, int clipRight, int part) override;
    void OnCaptureLost() override;
    int OnSetCursor(POINT pt) override;
    int OnLButtonDown(POINT pt) override;
    int OnLButtonUp(POINT pt) override;
    int OnLButtonDblClk(POINT pt) override { return OnLButtonDown(pt); }
    int OnMouseMove(POINT pt) override;
    void OnMouseLeave() override;
    // Measures the runs and places them on one line, aligned on their bottoms.
    virtual void Layout();

protected:
    // Opens a non-command link; a seam so tests need no browser.
    virtual void OpenLink(const std::wstring& link);

private:
    int RunAt(POINT pt) const;
    void RedrawRun(int index);
    void DrawRun(HDC dc, int index, int clipRight);

    std::wstring markup_;
    std::vector<Run> runs_;
    HFONT font_ = nullptr;  // not owned; the font table's entry 2 until set
    COLORREF textColour_ = 0;
    COLORREF linkColour_ = 0x984E00;
    COLORREF linkHoverColour_ = 0xDA7003;
    int maxWidth_ = -1;
    int hovered_ = -1;
    int pressed_ = -1;
};

// Opens a web address (http or https) with the shell; anything else is
// refused. True when the shell took it.
bool OpenWebLink(const std::wstring& link);
