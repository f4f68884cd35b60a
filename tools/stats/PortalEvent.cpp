#include "tools/stats/PortalEvent.h"

#include <map>

namespace {

typedef std::map<std::string, std::string> Query;

const char kConfigFolder[] = "/tool/down/";
const char kConfigSuffix[] = ".html";
const char kCompanionPath[] = "/keldor/down_msg.html";

// An absolute-form target ("http://host/path") is reduced to its path.
std::string PathOf(const std::string& target, std::string& query) {
    std::string rest = target;
    size_t scheme = rest.find("://");
    if (scheme != std::string::npos && scheme < rest.find('/')) {
        size_t slash = rest.find('/', scheme + 3);
        rest = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    size_t mark = rest.find('?');
    query = mark == std::string::npos ? std::string() : rest.substr(mark + 1);
    return mark == std::string::npos ? rest : rest.substr(0, mark);
}

// key=value pairs; a key given twice keeps its first value. The downloader
// escapes nothing, so the values are taken as they are.
Query SplitQuery(const std::string& text, bool& duplicate) {
    Query query;
    duplicate = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos) end = text.size();
        std::string pair = text.substr(start, end - start);
        size_t equals = pair.find('=');
        std::string key = pair.substr(0, equals);
        if (!key.empty()) {
            if (query.count(key)) duplicate = true;
            query.emplace(key, equals == std::string::npos ? std::string() : pair.substr(equals + 1));
        }
        start = end + 1;
    }
    return query;
}

// A small decimal number as the downloader writes it ("%d").
bool Decimal(const Query& query, const char* key, int& value) {
    auto it = query.find(key);
    if (it == query.end() || it->second.empty() || it->second.size() > 10) return false;
    const std::string& text = it->second;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    long long number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
    }
    value = static_cast<int>(text[0] == '-' ? -number : number);
    return true;
}

std::string Value(const Query& query, const char* key) {
    auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
}

bool Has(const Query& query, const char* key) { return query.count(key) != 0; }

// The event of a report in one of the downloader's three query forms:
//   action, tg, game, mid, ver          (the start button)
//   action, game, mid, ver              (plain)
//   action, cg, cwdm, game, mid, ver    (the end of the game task; for a stall
//                                        or a failed check the action slot
//                                        carries the completion percentage)
PortalEvent EventOf(const Query& query, int& percentage) {
    int action = 0, tg = 0, cg = 0, cwdm = 0;
    if (!Decimal(query, "action", action)) return PortalEvent::Unrecognised;
    const bool withTg = Has(query, "tg"), withEnd = Has(query, "cg") || Has(query, "cwdm");
    if (withTg && withEnd) return PortalEvent::Unrecognised;
    if (withTg) {
        if (action != 2 || !Decimal(query, "tg", tg)) return PortalEvent::Unrecognised;
        if (tg == 1) return PortalEvent::StartedWithCompanion;
        if (tg == 0) return PortalEvent::StartedWithoutCompanion;
        return PortalEvent::Unrecognised;
    }
    if (withEnd) {
        if (!Decimal(query, "cg", cg) || !Decimal(query, "cwdm", cwdm)) return PortalEvent::Unrecognised;
        if (cg == 0 && cwdm == 0 && action >= 0 && action <= 100) {
            // A stalled task cannot be complete, and a finished one always is:
            // 100 is the failed check, anything less the stall.
            percentage = action;
            return action == 100 ? PortalEvent::ChecksFailed : PortalEvent::Stalled;
        }
        if (action == 5 && cg == 1 && cwdm == 3) return PortalEvent::Finished;
        if (action == 5 && cg == 0 && cwdm == 6) return PortalEvent::SourceRefused;
        if (action == 5 && cg == 0 && cwdm == 5) return PortalEvent::WriteFailed;
        return PortalEvent::Unrecognised;
    }
    switch (action) {
        case 1: return PortalEvent::ReportedOpened;
        case 4: return PortalEvent::Continued;
        case 6: return PortalEvent::DownloadAgain;
        default: return PortalEvent::Unrecognised;
    }
}

std::string ShapeOf(const std::string& query) {
    // The values that identify the sender say nothing about the kind.
    std::string shape;
    bool duplicate = false;
    for (const auto& pair : SplitQuery(query, duplicate)) {
        if (pair.first == "game" || pair.first == "mid" || pair.first == "ver") continue;
        if (!shape.empty()) shape += '&';
        shape += pair.first + "=" + pair.second;
    }
    return shape;
}

}  // namespace

PortalRequest ClassifyRequest(const std::string& method, const std::string& target, int status,
                              const std::string& statsPath) {
    PortalRequest request;
    if (method != "GET") return request;
    std::string queryText;
    const std::string path = PathOf(target, queryText);

    const size_t folder = sizeof kConfigFolder - 1, suffix = sizeof kConfigSuffix - 1;
    if (queryText.empty() && path.size() > folder + suffix && path.compare(0, folder, kConfigFolder) == 0 &&
        path.compare(path.size() - suffix, suffix, kConfigSuffix) == 0) {
        std::string id = path.substr(folder, path.size() - folder - suffix);
        if (id.find('/') != std::string::npos) return request;
        request.game = id;
        request.event = (status == 200 || status == 206 || status == 304) ? PortalEvent::ConfigLoaded
                                                                           : PortalEvent::ConfigMissing;
        return request;
    }

    bool duplicate = false;
    const Query query = SplitQuery(queryText, duplicate);
    if (path == kCompanionPath && Value(query, "action") == "setupbox") {
        int from = 0;
        request.machine = Value(query, "mid");
        bool known = !duplicate && Decimal(query, "from", from) && from == 1 && Has(query, "mid") && Has(query, "ver");
        request.event = known ? PortalEvent::CompanionSetup : PortalEvent::Unrecognised;
        if (!known) request.shape = ShapeOf(queryText);
        return request;
    }

    // Every event report begins with action and carries game, mid and ver;
    // other sites' queries that merely have an action are not reports.
    if (queryText.compare(0, 7, "action=") != 0 || !Has(query, "game") || !Has(query, "mid") || !Has(query, "ver"))
        return request;
    if (!statsPath.empty() && path != statsPath) return request;
    request.game = Value(query, "game");
    request.machine = Value(query, "mid");
    // A report naming no game cannot be counted for one; it is listed apart.
    request.event =
        duplicate || request.game.empty() ? PortalEvent::Unrecognised : EventOf(query, request.percentage);
    if (request.event == PortalEvent::Unrecognised) request.shape = ShapeOf(queryText);
    return request;
}
