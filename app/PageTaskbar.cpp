#include "app/PageTaskbar.h"

#include "base/ScopedComPtr.h"

#include <shobjidl.h>

namespace {

class CPlatformTaskbar : public IPageTaskbar {
public:
    bool Attach(HWND) override {
        if (list_) return true;  // Explorer restarted: the same object serves the new button
        ScopedComPtr<ITaskbarList3> list;
        if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                      list.ReceiveVoid())) ||
            !list) {
            return false;
        }
        if (FAILED(list->HrInit())) return false;
        list_ = std::move(list);
        return true;
    }

    void Show(HWND page, TaskbarProgress state, unsigned percentage) override {
        if (!list_) return;
        if (state == TaskbarProgress::None) {
            list_->SetProgressState(page, TBPF_NOPROGRESS);
            return;
        }
        // The value first: a paused or failed bar shows where it stopped.
        list_->SetProgressValue(page, percentage > 100 ? 100 : percentage, 100);
        const TBPFLAG flag = state == TaskbarProgress::Paused  ? TBPF_PAUSED
                             : state == TaskbarProgress::Error ? TBPF_ERROR
                                                               : TBPF_NORMAL;
        list_->SetProgressState(page, flag);
    }

    void Detach() override { list_.Reset(); }

private:
    ScopedComPtr<ITaskbarList3> list_;
};

}  // namespace

std::unique_ptr<IPageTaskbar> CreatePlatformTaskbar() { return std::unique_ptr<IPageTaskbar>(new CPlatformTaskbar); }
