// Owner for kernel handles (events, files, threads, processes, mutexes): each
// closes its handle when it goes away, so no failure path can leak one.
#pragma once

#include "base/ScopedResource.h"

#include <windows.h>

struct KernelHandleTraits {
    using Handle = HANDLE;
    // CreateFile reports failure as INVALID_HANDLE_VALUE, most others as NULL.
    static HANDLE Normalise(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    static void Release(HANDLE h) { ::CloseHandle(h); }
};

using ScopedHandle = ScopedResource<KernelHandleTraits>;
