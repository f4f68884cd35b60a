// The small skinned prompt every message of the downloader is shown in: a
// 404 x 201 window with cut corners, a title band reading 提示, a warning
// icon, a centred message, a close glyph and a 关闭 button; the family of
// PromptDialogs.h adds one action button each.
//
// A prompt either runs modally over a window (RunModal: the owner is
// disabled and a nested message loop runs until the prompt window is gone)
// or stands on its own on the program's main loop, where a closing button
// posts the quit message and so ends the program.
#pragma once

#include "ui/GdiHelpers.h"
#include "ui/MySomButton4.h"
#include "ui/SomButton4.h"
#include "ui/SomTextWnd.h"
#include "ui/SomWndManager.h"
#include "winlayer/WindowImpl.h"

#include <string>

class CPromptDlg : public CWindowImplBase, public CSomWndManager {
public:
    // What the user answered.
    enum Result {
        kResultCloseGlyph = 0,
        kResultDismiss = 1,
        kResultAction = 2,
        kResultFeedback = 3,
        kResultOther = 4,  // closed any other way (Alt+F4, WM_CLOSE, destroyed)
    };
    // Element ids, which are also the WM_COMMAND ids of the clicks.
    enum ElementId { ID_TITLE = 1, ID_CLOSE = 100, ID_DISMISS = 101, ID_ACTION = 102, ID_FEEDBACK_LINK = 103 };

    static const int kWidth = 404;
    static const int kHeight = 201;
    static const int kCorner = 9;

    CPromptDlg();
    ~CPromptDlg() override;

    void SetText(const std::wstring& text);
    const std::wstring& GetText() const { return text_; }
    // Title of the window (task bar, window lists); set before creation.
    void SetWindowName(const std::wstring& name) { windowName_ = name; }

    // Creates the pop-up at (0,0,404,201) owned by owner and centres it on the
    // owner, or on the screen without one. The result starts at 4.
    HWND CreatePrompt(HWND owner, DWORD style);
    int GetResult() const { return result_; }

    // Shows the prompt modally over owner: creates it visible unless the
    // caller has created (and placed) it already, disables owner and runs a
    // nested loop until the prompt window is destroyed, however that happens;
    // then enables owner again, brings it to the front and returns the result.
    // No quit message is left behind for the outer loop.
    int RunModal(HWND owner);
    bool IsModal() const { return modal_; }

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void DrawBackground(HDC dc, const RECT* rect) override;

protected:
    // Every WM_COMMAND: the close glyph and the dismiss button close the
    // prompt; other ids go to OnExtraCommand. A command that closed a
    // prompt standing on the main loop posts the quit message.
    virtual void OnCommand(int id);
    virtual void OnExtraCommand(int /*id*/) {}
    virtual void CreateExtraControls() {}
    virtual void SetShape();
    virtual void PaintMessage(HDC dc);
    // Whether a closing command posts the quit message (outside RunModal).
    virtual bool QuitsAfterCommand(int /*id*/) const { return true; }
    // Whether WM_CLOSE also posts the quit message (outside RunModal); the
    // prompts that replace the start-up window end the program this way.
    virtual bool QuitsOnClose() const { return false; }

    // Stores the result and destroys the window.
    void Close(int result);

private:
    void OnCreate();
    void OnLButtonDown(LPARAM lp);

    std::wstring text_;
    std::wstring windowName_;
    CSomButton4 closeButton_;
    CMySomButton4 dismissButton_;
    int result_ = kResultOther;
    CSomTextWnd title_;
    ScopedFont messageFont_;
    bool modal_ = false;
};
