#include "HttpDownloadRedirect.h"

namespace {

enum class Scheme { Other, Http, Https };

Scheme SchemeOf(const std::wstring& url) {
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

}  // namespace

bool IsRedirectStatus(unsigned long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool MayFollowRedirect(const std::wstring& from, const std::wstring& to) {
    const Scheme source = SchemeOf(from);
    const Scheme target = SchemeOf(to);
    if (source == Scheme::Other || target == Scheme::Other) return false;
    return !(source == Scheme::Https && target == Scheme::Http);
}
