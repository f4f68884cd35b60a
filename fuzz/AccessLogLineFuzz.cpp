// Any bytes as one line of a portal's access log, then as the request the
// statistics tool classifies. Nothing may read out of bounds; an accepted
// line has a three-digit status, a well-formed day exactly when it is dated,
// and a report recognised from it names a game or machine only from its own
// text.
#include "fuzz/FuzzCheck.h"
#include "tools/stats/AccessLogLine.h"
#include "tools/stats/PortalEvent.h"

#include <cctype>
#include <string>

namespace {

bool WellFormedDay(const std::string& day) {
    if (day.size() != 10 || day[4] != '-' || day[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!std::isdigit(static_cast<unsigned char>(day[i]))) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    AccessLogLine line;
    if (!ParseAccessLogLine(text, line)) return 0;
    FUZZ_CHECK(line.status >= 0 && line.status <= 999, "a status is not three digits");
    FUZZ_CHECK(line.dated == WellFormedDay(line.day), "a day is set without a date or malformed");
    FUZZ_CHECK(line.dated || line.when == 0, "an undated line has a time");
    FUZZ_CHECK(line.target.size() <= text.size() && line.method.size() <= text.size(),
               "a field is longer than its line");

    const PortalRequest request = ClassifyRequest(line.method, line.target, line.status);
    FUZZ_CHECK(request.event >= PortalEvent::None && request.event < PortalEvent::Count, "an event out of range");
    FUZZ_CHECK(request.game.size() <= line.target.size() && request.machine.size() <= line.target.size(),
               "a game or machine longer than the request");
    return 0;
}
