#include "tools/publish/PublishChecks.h"

#include "base/SeedLimits.h"

namespace {

const size_t kMaxGameIdLength = 38;

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0; }

size_t SchemeLength(const std::string& url) {
    if (StartsWith(url, "http://")) return 7;
    if (StartsWith(url, "https://")) return 8;
    if (StartsWith(url, "udp://")) return 6;
    return 0;
}

std::string CheckUrl(const std::string& url, const std::string& what, bool udp) {
    const size_t scheme = SchemeLength(url);
    if (scheme == 0 || (!udp && StartsWith(url, "udp://")))
        return what + " must be an " + (udp ? "http, https or udp" : "http or https") + " URL, not \"" + url + "\"";
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F) return what + " holds a space or a control character: \"" + url + "\"";
    }
    const size_t hostEnd = url.find_first_of("/?#", scheme);
    if (hostEnd == scheme || scheme == url.size()) return what + " has no host: \"" + url + "\"";
    return std::string();
}

}  // namespace

std::string CheckGameId(const std::string& id) {
    if (id.empty() || id.size() > kMaxGameIdLength || id.find_first_not_of("0123456789") != std::string::npos)
        return "the game identifier must be a number of 1 to 38 digits, not \"" + id + "\"";
    return std::string();
}

std::string CheckHttpUrl(const std::string& url, const std::string& what) { return CheckUrl(url, what, false); }

std::string CheckTrackerUrl(const std::string& url) { return CheckUrl(url, "the tracker", true); }

std::string CheckServedFileName(const std::string& name, const std::string& what) {
    const char kAllowed[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_";
    if (name.empty() || name[0] == '.' || name.find_first_not_of(kAllowed) != std::string::npos)
        return what + " \"" + name +
               "\" becomes part of a URL and the saved file's name: use letters, digits, '.', '-' and '_' only";
    return std::string();
}

std::string CheckPublishOptions(const PublishOptions& o) {
    std::string why = CheckGameId(o.gameId);
    if (why.empty()) why = CheckHttpUrl(o.baseUrl, "the base URL");
    if (why.empty() && o.baseUrl.find_first_of("?#") != std::string::npos)
        why = "the base URL must not have a query or fragment: \"" + o.baseUrl + "\"";
    for (const std::string& mirror : o.mirrors)
        if (why.empty()) why = CheckHttpUrl(mirror, "a mirror");
    if (why.empty() && !o.tracker.empty()) why = CheckTrackerUrl(o.tracker);
    const std::pair<const std::string*, const char*> links[] = {
        {&o.skinLink, "--skin-link"},           {&o.promoPage, "--promo-page"},
        {&o.promotionLink, "--promotion-link"}, {&o.companionLink, "--companion-link"},
        {&o.statsUrl, "--stats-url"},           {&o.newVersionLink, "--new-version-link"}};
    for (const auto& link : links)
        if (why.empty() && !link.first->empty()) why = CheckHttpUrl(*link.first, link.second);
    if (why.empty() && !o.skinFile.empty() && !o.skinLink.empty()) why = "give --skin or --skin-link, not both";
    if (why.empty() && o.safecheck != "0" && o.safecheck != "1") why = "--safecheck is 0 or 1, not \"" + o.safecheck + "\"";
    if (why.empty()) {
        // The statistics have a path of their own: on the portal's root they
        // would answer every request of the site.
        const std::string statsPath = UrlPath(o.statsUrl.empty() ? o.baseUrl + "/stat" : o.statsUrl);
        if (statsPath.empty() || statsPath == "/")
            why = "the statistics URL needs a path of its own (such as /stat), not the site's root";
    }
    if (why.empty() && o.pieceLength > kMaxSeedPieceLength)
        why = "--piece-length above " + std::to_string(kMaxSeedPieceLength >> 20) +
              " MiB: the downloaders would ignore such a seed";
    if (why.empty() && o.codesignCert.empty() != o.codesignKey.empty())
        why = "--codesign-cert and --codesign-key go together";
    if (why.empty() && !o.codesignCert.empty() && o.downloader.empty())
        why = "--codesign-cert signs the published downloader: give --downloader";
    return why;
}

std::string UrlOrigin(const std::string& url) {
    const size_t scheme = SchemeLength(url);
    const size_t end = url.find_first_of("/?#", scheme);
    return end == std::string::npos ? url : url.substr(0, end);
}

std::string UrlPath(const std::string& url) {
    const size_t scheme = SchemeLength(url);
    const size_t start = url.find('/', scheme);
    if (start == std::string::npos) return std::string();
    const size_t end = url.find_first_of("?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
