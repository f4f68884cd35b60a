#include "p2sp/record/BootStamp.h"

#include <windows.h>

uint64_t CurrentBootStamp() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t nowMs = ((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
    return nowMs - GetTickCount64();
}
