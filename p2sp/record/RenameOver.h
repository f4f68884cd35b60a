// Renaming a file over another when other programs may have either open for
// a moment: a virus scanner looking at a file just closed, an indexer, a
// folder's sync client. Windows then refuses the rename (sharing violation,
// access denied, lock violation) although nothing is wrong with it; it is
// tried again after growing pauses until `patienceMs` have been waited.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// `wait(ms)` pauses; it returns false to give up at once (the task stops).
// `flags` go to MoveFileExW with MOVEFILE_REPLACE_EXISTING. Returns 0, or
// the error of the last try.
DWORD RenameOver(const std::wstring& from, const std::wstring& to, DWORD flags, DWORD patienceMs,
                 const std::function<bool(DWORD)>& wait);
