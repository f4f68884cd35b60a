// One publication: from an installer to the portal's folder, as it is
// served. Everything is written into a staging folder inside the portal's
// folder and moved into place at the end, so a refusal or a failure leaves
// the folder as it was.
#pragma once

#include "tools/publish/PublishOptions.h"

#include <ostream>

// Exit codes of vorla-publish.
enum PublishExit {
    kPublished = 0,
    kUsage = 1,
    kRefused = 2,  // the request is at fault; nothing written
    kFailed = 3,   // reading, writing or stamping failed; nothing written
};

// Publishes as asked. Reports go to `out`, the progress line and every
// refusal or failure to `err`; progressOnTerminal redraws one line in place.
int RunPublish(PublishOptions options, std::ostream& out, std::ostream& err, bool progressOnTerminal);
