// A window that shows every toolkit element and every skin image: a replica
// of the download page, a prompt, the start-up panel and the raw image
// strips. The test run saves it as a screenshot for people to look at;
// vorla_ui_gallery.exe shows it interactively.
#pragma once

#include "ui/GdiHelpers.h"
#include "ui/KeldorProgress.h"
#include "ui/MySomButton4.h"
#include "ui/SomBitmap.h"
#include "ui/SomButton4.h"
#include "ui/SomCheckBox.h"
#include "ui/SomTextWnd.h"
#include "ui/SomWndManager.h"
#include "ui/TextProgress.h"
#include "winlayer/WindowImpl.h"

#include <memory>
#include <vector>

class GalleryWindow : public CWindowImplBase, public CSomWndManager {
public:
    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 920;
    // Where the download page replica starts (its background's top-left).
    static constexpr int kPageX = 10;
    static constexpr int kPageY = 10;

    GalleryWindow();
    ~GalleryWindow() override;

    HWND CreateGallery(bool visible);
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

    CSomButton4& RetryButton() { return smallButtons_[4]; }
    CSomButton4& ActionButton() { return actionButton_; }
    int paints = 0;
    std::vector<int> commands;

private:
    void CreateElements();
    CSomTextWnd& AddText(int x, int y, const wchar_t* markup, COLORREF colour, HFONT font = nullptr,
                         int maxWidth = -1);

    // Images owned by the gallery, as the windows that use them own theirs.
    CSomBitmap pageBackground_;
    CSomBitmap startFace_, continueFace_, pauseFace_, installFace_;
    CSomBitmap checkBoxImage_;
    CSomBitmap fallbackPanel_, startupPanel_, whitePanel_, diskIcon_, titleStrip_;
    ScopedFont titleFont_;
    ScopedFont underlineFont_;

    std::vector<std::unique_ptr<CSomTextWnd>> texts_;
    CSomButton4 closeButton_, minimizeButton_, menuButton_, actionButton_;
    CSomButton4 smallButtons_[10];
    CSomButton4 bigButtons_[3];
    CSomButton4 promptButtons_[2];
    CMySomButton4 detailsButton_;
    CSomCheckBox checkBox_;
    CSomCheckBox radioBox_;
    CTextProgress pageProgress_;
    CKeldorProgress startupProgress_;
};
