// The operator's names of what the log tells, in English and Chinese.
#pragma once

#include "tools/stats/PortalEvent.h"

struct EventName {
    const char* english;
    const char* chinese;
};

EventName NameOf(PortalEvent event);
