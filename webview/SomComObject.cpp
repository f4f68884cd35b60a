#include "webview/SomComObject.h"

namespace {

// The objects live on the user-interface thread (a single-threaded
// apartment), so a plain counter is enough.
long g_liveObjects = 0;

}  // namespace

long CSomComObject::LiveObjects() { return g_liveObjects; }

CSomComObject::CSomComObject() { ++g_liveObjects; }

CSomComObject::~CSomComObject() { --g_liveObjects; }

ULONG CSomComObject::ReleaseObject() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}
