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
    bool skin = false;
};

std::string GameNginxSnippet(const NginxPaths& paths);

// statsPath: path of the statistics URL on the portal's host ("/stat").
std::string StatsNginxSnippet(const std::string& urlPrefix, const std::string& statsPath);
