// Which redirects a transfer follows: the configuration fetch and the
// download engine both follow redirects themselves and share this rule.
// Plain C++ without platform headers, so it can be built and tested on any
// host.
#pragma once

#include <string>

// Redirects followed before a transfer gives up.
const int kMaxHttpRedirects = 8;

// True for the HTTP statuses that redirect a GET: 301, 302, 303, 307, 308.
inline bool IsRedirectStatus(unsigned long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

namespace http_redirect {

enum class Scheme { Other, Http, Https };

inline Scheme SchemeOf(const std::wstring& url) {
    const size_t colon = url.find(L':');
    if (colon == std::wstring::npos) return Scheme::Other;
    std::wstring scheme = url.substr(0, colon);
    for (wchar_t& c : scheme) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    // Both need an authority: "http:x" is no web address.
    if (url.compare(colon, 3, L"://") != 0) return Scheme::Other;
    if (scheme == L"http") return Scheme::Http;
    if (scheme == L"https") return Scheme::Https;
    return Scheme::Other;
}

}  // namespace http_redirect

// Whether a transfer at url `from` may follow a redirect to the absolute url
// `to`. Only http and https lead anywhere, and a secure transfer never falls
// back to plain http: whatever the https answer vouched for would then come
// over a connection anyone on the way can change.
inline bool MayFollowRedirect(const std::wstring& from, const std::wstring& to) {
    using http_redirect::Scheme;
    const Scheme source = http_redirect::SchemeOf(from);
    const Scheme target = http_redirect::SchemeOf(to);
    if (source == Scheme::Other || target == Scheme::Other) return false;
    return !(source == Scheme::Https && target == Scheme::Http);
}
