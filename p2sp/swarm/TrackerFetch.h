// One HTTP(S) GET of a tracker announce, through WinINet in its
// asynchronous mode so that a stop cuts it short at once: a tracker that
// never answers, or trickles its answer a byte at a time, holds up nobody.
// The request is cancelled by closing its handle while the operation is
// pending, which is the one way WinINet documents as safe. Redirects are
// not followed (an announce has no reason to move); certificates are
// checked as usual.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// True with the body of a 200 answer of at most `maxBytes`. False when the
// tracker cannot be reached, answers anything else, sends more, takes
// longer than `timeoutMs` in all, or `stop` (an event) is set meanwhile.
bool FetchTrackerReply(const std::string& url, HANDLE stop, DWORD timeoutMs, size_t maxBytes, std::string* body);
