// nginx locations for a published game, to include in the server block that
// answers the portal's base URL: the configuration never cached, the
// installer and its seeds with ranges and caching, the stamped downloader,
// and (apart, shared by every game) the statistics locations, whose access
// log is the record vorla-stats reads.
#pragma once

#include <string>

struct NginxPaths {
    std::string gameId;
    std::string urlPrefix;       // path of the base URL ("" or "/portal")
    std::string root;            // absolute path of the portal's folder
    std::string installerName;
    std::string downloaderName;  // empty: none published
};

// A string as nginx reads it back: in double quotes, '"' and '\\' escaped,
// so folders with spaces, ';' or Windows separators stay whole.
std::string NginxQuoted(const std::string& text);
// Why nginx could not be given this folder ('$' starts a variable even in
// quotes; control characters), or empty.
std::string CheckNginxPath(const std::string& path);

std::string GameNginxSnippet(const NginxPaths& paths);

// statsPath: path of the statistics URL on the portal's host ("/stat").
std::string StatsNginxSnippet(const std::string& urlPrefix, const std::string& statsPath);
