#include "system/FolderChecks.h"

#include <windows.h>

#include <climits>

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    if (a.size() > static_cast<size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(a.size());
    // The file system's own rule: ordinal, upper-casing both sides with the
    // system's case table, independent of the user's language.
    return ::CompareStringOrdinal(a.c_str(), length, b.c_str(), length, TRUE) == CSTR_EQUAL;
}
