// The tooltip registry every manager carries: tools keyed by (element, key),
// numbered with the smallest free id, handed to a platform tooltip control
// when the host has one. The downloader itself registers no tooltips.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>

class CSomWnd;

class CSomToolTipAdpater {
public:
    // Returns the new tool id, or 0 when the element already has a tool with
    // this key. rect is in element coordinates; null means the whole element.
    int AddToolTip(CSomWnd* element, int key, const RECT* rect);
    void RemoveToolTips(CSomWnd* element);
    // A TTN_GETDISPINFOW request; false when it is not for the registry.
    bool OnGetDispInfo(NMTTDISPINFOW* request);

    // The platform control the tools are registered with (none by default).
    void SetControl(HWND tooltip, HWND owner) {
        control_ = tooltip;
        owner_ = owner;
    }
    size_t ToolCount() const { return tools_.size(); }

private:
    struct Tool {
        CSomWnd* element;  // not owned
        int key;
        RECT rect;
        bool wholeElement;
    };

    std::map<int, Tool> tools_;
    std::map<CSomWnd*, std::map<int, int>> index_;  // element -> key -> tool id
    HWND control_ = nullptr;
    HWND owner_ = nullptr;
};
