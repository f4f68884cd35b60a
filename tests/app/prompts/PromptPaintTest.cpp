// What a prompt paints: the message in its column, centred, wrapped; the
// title and icon; and one screenshot per prompt for a person to look at.
#include "app/PromptDialogs.h"
#include "tests/app/prompts/PromptTestSupport.h"
#include "tests/support/Screenshot.h"

#include "system/FolderChecks.h"
#include "app/MessageLayout.h"
#include "ui/SomSkin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

struct Ink {
    int count = 0;
    RECT box{10000, 10000, -1, -1};  // bounds of the pixels that differ
};

// Pixels where the prompt with its message differs from the same prompt
// without one: the message's ink.
Ink MessageInk(const std::wstring& text) {
    CDirOpenFailedDlg with;
    with.SetText(text);
    CDirOpenFailedDlg without;
    without.SetText(L"");
    PixelSurface a(CPromptDlg::kWidth, CPromptDlg::kHeight);
    PixelSurface b(CPromptDlg::kWidth, CPromptDlg::kHeight);
    if (!with.CreatePrompt(nullptr, WS_POPUP) || !without.CreatePrompt(nullptr, WS_POPUP)) return Ink{};
    PaintPrompt(with, a);
    PaintPrompt(without, b);
    Ink ink;
    for (int y = 0; y < CPromptDlg::kHeight; ++y) {
        for (int x = 0; x < CPromptDlg::kWidth; ++x) {
            if (a.At(x, y) == b.At(x, y)) continue;
            ++ink.count;
            ink.box.left = std::min<LONG>(ink.box.left, x);
            ink.box.top = std::min<LONG>(ink.box.top, y);
            ink.box.right = std::max<LONG>(ink.box.right, x + 1);
            ink.box.bottom = std::max<LONG>(ink.box.bottom, y + 1);
        }
    }
    return ink;
}

SIZE MessageExtent(const std::wstring& text) {
    ScopedFont font(CreateSomFont(L"宋体", 12, 0));
    return SomMeasureText(font.get(), text.c_str(), static_cast<int>(text.size()));
}

TEST(PromptPaint, ShortMessageIsOneCentredLineInTheColumn) {
    const std::wstring text = L"打开目录失败，目录不存在或已损坏！";
    const SIZE size = MessageExtent(text);
    ASSERT_LE(size.cx, kMessageColumnWidth) << "the font is wider than expected";
    const Ink ink = MessageInk(text);
    ASSERT_GT(ink.count, 50);
    const int top = (CPromptDlg::kHeight - (size.cy + kMessageLineGap)) / 2;
    EXPECT_GE(ink.box.left, 84);
    EXPECT_LE(ink.box.right, 84 + size.cx + 1);
    EXPECT_GE(ink.box.top, top);
    EXPECT_LE(ink.box.bottom, top + size.cy);
}

TEST(PromptPaint, LongMessageWrapsAtTheColumnEdge) {
    const std::wstring text = L"下载器初始化失败，请检测您的网络是否连接正常。可以点击重试，尝试再次初始化!";
    const SIZE size = MessageExtent(text);
    ASSERT_GT(size.cx, kMessageColumnWidth);
    const int lines = (size.cx + kMessageColumnWidth - 1) / kMessageColumnWidth;
    const int pitch = size.cy + kMessageLineGap;
    const int top = (CPromptDlg::kHeight - lines * pitch) / 2;
    const Ink ink = MessageInk(text);
    EXPECT_GE(ink.box.left, 84);
    EXPECT_LE(ink.box.right, 84 + kMessageColumnWidth);
    EXPECT_GT(ink.box.right, 84 + kMessageColumnWidth - 16);  // the first line is full
    EXPECT_GE(ink.box.top, top);
    EXPECT_GT(ink.box.bottom, top + pitch);  // a second line
    EXPECT_LE(ink.box.bottom, top + (lines - 1) * pitch + size.cy + pitch);
}

TEST(PromptPaint, TitleIconAndButtonsAreDrawn) {
    CFileCheckFailedDlg prompt;
    ASSERT_NE(nullptr, prompt.CreatePrompt(nullptr, WS_POPUP));
    PixelSurface shot(CPromptDlg::kWidth, CPromptDlg::kHeight);
    PaintPrompt(prompt, shot);
    PixelSurface bare(CPromptDlg::kWidth, CPromptDlg::kHeight);
    SomSkin.dialogBackground.Draw(bare.dc(), 0, 0, 0);
    auto differing = [&](int left, int top, int right, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) count += shot.At(x, y) != bare.At(x, y) ? 1 : 0;
        }
        return count;
    };
    int white = 0;
    for (int y = 18; y < 34; ++y) {
        for (int x = 42; x < 80; ++x) white += shot.At(x, y) == RGB(255, 255, 255) ? 1 : 0;
    }
    EXPECT_GT(white, 20) << "title";
    EXPECT_GT(differing(14, 14, 38, 38), 50) << "warning icon";
    EXPECT_GT(differing(222, 158, 300, 188), 200) << "action button";
    EXPECT_GT(differing(311, 158, 389, 188), 200) << "dismiss button";
    EXPECT_GT(differing(266, 91, 320, 105), 20) << "feedback link";
}

TEST(PromptPaint, EveryPromptIsSavedAsAScreenshot) {
    struct Shot {
        const wchar_t* name;
        std::unique_ptr<CPromptDlg> prompt;
    };
    Shot shots[] = {
        {L"prompt-dir-err", std::make_unique<CDirErrDlg>(FolderVerdictMessage(FolderVerdict::NoSpace))},
        {L"prompt-file-damaged", std::make_unique<CFileDamagedDlg>()},
        {L"prompt-dir-open-failed", std::make_unique<CDirOpenFailedDlg>()},
        {L"prompt-publisher-refused", std::make_unique<CPublisherRefusedDlg>()},
        {L"prompt-file-check-failed", std::make_unique<CFileCheckFailedDlg>()},
        {L"prompt-download-failed", std::make_unique<CDownLoadFailedDlg>()},
        {L"prompt-install-game", std::make_unique<CInstallGameDlg>(L"示例游戏")},
        {L"prompt-older-version", std::make_unique<COlderVersionDlg>()},
        {L"prompt-initial-failed", std::make_unique<CInitialFailedDlg>()},
    };
    for (Shot& shot : shots) {
        ASSERT_NE(nullptr, shot.prompt->CreatePrompt(nullptr, WS_POPUP));
        PixelSurface surface(CPromptDlg::kWidth, CPromptDlg::kHeight);
        PaintPrompt(*shot.prompt, surface);
        const std::wstring path = ScreenshotFile(shot.name);
        EXPECT_TRUE(surface.SavePng(path));
    }
}

}  // namespace
