// The prompts of the downloader: each is the common prompt with its own
// message and one action button (id 102, result 2) at (222,158), except the
// folder-open failure, which has none.
#pragma once

#include "app/PromptDlg.h"

#include <string>

class CSomBitmap;

// The common prompt with one action button drawn from a skin image.
class CActionPromptDlg : public CPromptDlg {
public:
    CActionPromptDlg(CSomBitmap* actionImage, const std::wstring& text);

protected:
    void CreateExtraControls() override;
    // 102: result 2 and the prompt closes.
    void OnExtraCommand(int id) override;

private:
    CSomBitmap* actionImage_;  // not owned: the skin set's
    CSomButton4 actionButton_;
};

// A folder refused by the save-location checks; the button asks for another.
class CDirErrDlg : public CActionPromptDlg {
public:
    explicit CDirErrDlg(const std::wstring& message = std::wstring());
};

// The downloaded file is gone or broken; the button downloads it again.
class CFileDamagedDlg : public CActionPromptDlg {
public:
    CFileDamagedDlg();
};

// The save folder could not be opened; nothing to offer but closing.
class CDirOpenFailedDlg : public CPromptDlg {
public:
    CDirOpenFailedDlg();
};

// The installer is not signed by the publisher the portal named: it is not
// run. Nothing to offer but closing.
class CPublisherRefusedDlg : public CPromptDlg {
public:
    CPublisherRefusedDlg();
};

// The installer failed its checks; the button opens its folder, the link
// under the message (id 103) gives result 3, the feedback page.
class CFileCheckFailedDlg : public CActionPromptDlg {
public:
    static const COLORREF kLinkColour = 0xFE8034;
    static const COLORREF kLinkHoverColour = 0x2B85FF;

    CFileCheckFailedDlg();

protected:
    void CreateExtraControls() override;
    void OnExtraCommand(int id) override;

private:
    CSomTextWnd feedbackLink_;
};

// The download could not be completed; the button leads to feedback.
class CDownLoadFailedDlg : public CActionPromptDlg {
public:
    CDownLoadFailedDlg();
};

// The installer is ready; the button installs. Its window has a class of its
// own, "DownLoadFinished", and the name "DownloadFinished".
class CInstallGameDlg : public CActionPromptDlg {
public:
    // The message names the configured game.
    CInstallGameDlg();
    explicit CInstallGameDlg(const std::wstring& gameName);

    CWndClassInfo& GetWndClassInfo() override;
};

// The downloader is older than the portal allows; the button opens the link
// to the new version. Shown on its own in place of the start-up window, so
// any button and closing it end the program.
class COlderVersionDlg : public CActionPromptDlg {
public:
    COlderVersionDlg();
    void SetLink(const std::wstring& link) { link_ = link; }
    const std::wstring& GetLink() const { return link_; }

protected:
    void OnExtraCommand(int id) override;
    bool QuitsOnClose() const override { return true; }
    // Hands a web address to the shell ("open", SW_SHOW); anything else is
    // refused. A seam for tests, which need no browser.
    virtual bool OpenLink(const std::wstring& url);

private:
    std::wstring link_;
};

// Starts the start-up sequence again; supplied by whoever shows the
// start-up failure prompt. It must not delete the prompt that calls it.
class IStartupRetry {
public:
    virtual ~IStartupRetry() = default;
    virtual void RetryStartup() = 0;
};

// Start-up failed; the button tries again. Shown on its own in place of the
// start-up window: its other buttons and closing it end the program, while
// a retry keeps it running with the fresh start-up window.
class CInitialFailedDlg : public CActionPromptDlg {
public:
    CInitialFailedDlg();
    // Not owned. Without a retry the button only closes the prompt.
    void SetRetry(IStartupRetry* retry) { retry_ = retry; }

protected:
    void OnExtraCommand(int id) override;
    bool QuitsAfterCommand(int id) const override { return id != ID_ACTION || !retry_; }
    bool QuitsOnClose() const override { return true; }

private:
    IStartupRetry* retry_ = nullptr;
};
