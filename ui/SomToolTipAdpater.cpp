#include "ui/SomToolTipAdpater.h"

#include "ui/SomWnd.h"

int CSomToolTipAdpater::AddToolTip(CSomWnd* element, int key, const RECT* rect) {
    auto& keys = index_[element];
    if (keys.count(key)) return 0;
    int id = 1;
    for (const auto& entry : tools_) {  // ordered: the first gap is the smallest free id
        if (entry.first != id) break;
        ++id;
    }
    tools_[id] = Tool{element, key, rect ? *rect : RECT{}, rect == nullptr};
    keys[key] = id;

    if (control_) {
        RECT area = element->GetRect();
        if (rect) {
            area = *rect;
            ::OffsetRect(&area, element->GetRect().left, element->GetRect().top);
        }
        TOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.uFlags = 0;
        info.hwnd = owner_;
        info.uId = static_cast<UINT_PTR>(id);
        info.rect = area;
        info.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(control_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    return id;
}

void CSomToolTipAdpater::RemoveToolTips(CSomWnd* element) {
    auto found = index_.find(element);
    if (found == index_.end()) return;
    for (const auto& entry : found->second) {
        tools_.erase(entry.second);
        if (control_ && ::IsWindow(control_)) {
            TOOLINFOW info{};
            info.cbSize = sizeof(info);
            info.hwnd = owner_;
            info.uId = static_cast<UINT_PTR>(entry.second);
            ::SendMessageW(control_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        }
    }
    index_.erase(found);
}

bool CSomToolTipAdpater::OnGetDispInfo(NMTTDISPINFOW* request) {
    if (request->uFlags & TTF_IDISHWND) return false;
    auto found = tools_.find(static_cast<int>(request->hdr.idFrom));
    if (found != tools_.end()) found->second.element->OnToolTipText(found->second.key, request);
    return true;
}
