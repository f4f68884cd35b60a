// Which redirects a transfer follows. Plain C++ without platform headers, so
// it can be built and tested on any host.
#pragma once

#include <string>

// Redirects followed before a transfer gives up.
const int kMaxHttpRedirects = 8;

// True for the HTTP statuses that redirect a GET: 301, 302, 303, 307, 308.
bool IsRedirectStatus(unsigned long status);

// Whether a transfer at url `from` may follow a redirect to the absolute url
// `to`. Only http and https lead anywhere, and a secure transfer never falls
// back to plain http: whatever the https answer vouched for would then come
// over a connection anyone on the way can change.
bool MayFollowRedirect(const std::wstring& from, const std::wstring& to);
