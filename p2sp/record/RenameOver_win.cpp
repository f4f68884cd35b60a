#include "p2sp/record/RenameOver.h"

#include <algorithm>

namespace {

bool Transient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

DWORD RenameOver(const std::wstring& from, const std::wstring& to, DWORD flags, DWORD patienceMs,
                 const std::function<bool(DWORD)>& wait) {
    DWORD waited = 0, pause = 20;
    for (;;) {
        if (MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_REPLACE_EXISTING)) return 0;
        const DWORD error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        if (!Transient(error) || waited >= patienceMs) return error;
        const DWORD ms = std::min(pause, patienceMs - waited);
        if (!wait(ms)) return error;
        waited += ms;
        pause = std::min<DWORD>(pause * 2, 2000);
    }
}
