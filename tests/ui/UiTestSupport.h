// Shared pieces of the toolkit tests: a host window that records its
// commands, an element that records every call it gets, a 32-bit memory
// surface to read drawn pixels back, and PNG files written with libpng.
#pragma once

#include "ui/SomWnd.h"
#include "ui/SomWndManager.h"
#include "tests/support/PixelSurface.h"
#include "winlayer/WindowImpl.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A hidden pop-up window managing elements. Commands and unhandled clicks
// are recorded; the pointer position and the window under it are set by the
// test (a real pointer cannot be moved reliably under Xvfb).
class TestHost : public CWindowImplBase, public CSomWndManager {
public:
    struct Command {
        int id;
        int code;
        CSomWnd* element;
    };

    explicit TestHost(int width = 400, int height = 200, bool visible = false);
    ~TestHost() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

    // Messages as the platform would send them; returns the manager's result
    // and stores whether it handled the message.
    LRESULT Send(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Mouse(UINT msg, int x, int y) { return Send(msg, 0, MAKELPARAM(x, y)); }
    LRESULT Move(int x, int y) { return Mouse(WM_MOUSEMOVE, x, y); }
    LRESULT Down(int x, int y) { return Mouse(WM_LBUTTONDOWN, x, y); }
    LRESULT Up(int x, int y) { return Mouse(WM_LBUTTONUP, x, y); }
    LRESULT Tick() { return Send(WM_TIMER, SOM_TIMER_ID, 0); }

    // The pointer in client coordinates and whether the host is on top there.
    void SetPointer(int x, int y, bool hostOnTop = true);

    // Ask the platform where the pointer is instead of the test's values.
    bool realPointer = false;
    std::vector<Command> commands;
    std::vector<UINT_PTR> ownTimers;  // WM_TIMER ids that reached the host
    bool lastHandled = false;
    int backgroundPaints = 0;

protected:
    POINT GetCursorScreenPos() const override {
        return realPointer ? CSomWndManager::GetCursorScreenPos() : pointerScreen_;
    }
    HWND GetWindowAtScreenPos(POINT pt) const override {
        if (realPointer) return CSomWndManager::GetWindowAtScreenPos(pt);
        return hostOnTop_ ? m_hWnd : nullptr;
    }

private:
    POINT pointerScreen_{-10000, -10000};
    bool hostOnTop_ = true;
};

// An element that logs every call as "<name>.<event>" into a shared log.
class ProbeElement : public CSomWnd {
public:
    ProbeElement(std::vector<std::string>* log, const char* name, int result = 1)
        : log_(log), name_(name), result_(result) {}

    void OnCreate() override { Record("create"); }
    void OnDestroy() override { Record("destroy"); }
    void OnTimer() override { Record("timer"); }
    void OnMove(int x, int y) override { Record("move " + std::to_string(x) + "," + std::to_string(y)); }
    void OnSize(int cx, int cy) override { Record("size " + std::to_string(cx) + "," + std::to_string(cy)); }
    void Draw(HDC, int clipRight, int part) override;
    void OnCaptureLost() override { Record("captureLost"); }
    int OnSetCursor(POINT) override { Record("cursor"); return result_; }
    int OnLButtonDown(POINT pt) override { return Point("down", pt); }
    int OnLButtonUp(POINT pt) override { return Point("up", pt); }
    int OnLButtonDblClk(POINT pt) override { return Point("dblclk", pt); }
    int OnMouseMove(POINT pt) override { return Point("mousemove", pt); }
    void OnMouseEnter(POINT) override { Record("enter"); }
    void OnMouseLeave() override { Record("leave"); }

    int draws = 0;
    int lastDrawPart = -1;
    int lastClipRight = 0;
    COLORREF fill = RGB(200, 0, 0);

private:
    void Record(const std::string& event) {
        if (log_) log_->push_back(name_ + "." + event);
    }
    int Point(const char* event, POINT pt) {
        Record(std::string(event) + " " + std::to_string(pt.x) + "," + std::to_string(pt.y));
        return result_;
    }

    std::vector<std::string>* log_;
    std::string name_;
    int result_;
};

// Writes a PNG. rows are packed samples as libpng expects for the colour
// type and bit depth; palette/trns are used for palette images.
bool WriteTestPng(const std::wstring& path, int width, int height, int colourType, int bitDepth,
                  const std::vector<std::vector<uint8_t>>& rows,
                  const std::vector<uint8_t>& paletteRgb = {}, const std::vector<uint8_t>& trns = {});

// A scratch folder of this test run.
std::wstring TestScratchDir();
