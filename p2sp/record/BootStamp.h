// The start of the running system as a number: system time minus the time
// since start, in milliseconds. Two readings in one system run agree to
// within a few milliseconds (more when the clock is set); a restart of the
// system changes it. The range record uses it (RangeRecord.h).
#pragma once

#include <cstdint>

uint64_t CurrentBootStamp();
