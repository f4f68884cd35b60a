#include "tools/publish/NginxSnippet.h"

std::string GameNginxSnippet(const NginxPaths& p) {
    const std::string game = p.urlPrefix + "/games/" + p.gameId + "/";
    std::string text =
        "# Game " + p.gameId + ", published by vorla-publish. Include it in the server block of the\n"
        "# portal's base URL, together with nginx/stats.conf (once for every game).\n"
        "\n"
        "# The configuration: read at every start of the downloader, so never\n"
        "# cached; its bytes are GBK or UTF-16 as written, no charset is added.\n"
        "location = " + p.urlPrefix + "/tool/down/" + p.gameId + ".html {\n"
        "    alias " + p.root + "/tool/down/" + p.gameId + ".html;\n"
        "    default_type text/html;\n"
        "    charset off;\n"
        "    add_header Cache-Control \"no-cache\";\n"
        "}\n"
        "\n"
        "# The installer, its Metalink seed and its torrent. Range requests are\n"
        "# answered for files served from disk; the engine opens several.\n"
        "location " + game + " {\n"
        "    alias " + p.root + "/games/" + p.gameId + "/;\n"
        "    types { application/metalink4+xml meta4; application/x-bittorrent torrent; }\n"
        "    default_type application/octet-stream;\n"
        "    max_ranges 1;\n"
        "    add_header Cache-Control \"public, max-age=3600\";\n"
        "}\n";
    if (!p.downloaderName.empty()) {
        text +=
            "\n"
            "# The downloader stamped for this game.\n"
            "location = " + p.urlPrefix + "/downloader/" + p.gameId + "/" + p.downloaderName + " {\n"
            "    alias " + p.root + "/downloader/" + p.gameId + "/" + p.downloaderName + ";\n"
            "    default_type application/octet-stream;\n"
            "    add_header Content-Disposition \"attachment\";\n"
            "    add_header Cache-Control \"no-cache\";\n"
            "}\n";
    }
    if (p.skin) {
        text +=
            "\n"
            "# The skin image (the downloader keeps it for 48 hours).\n"
            "location = " + p.urlPrefix + "/skin/" + p.gameId + ".png {\n"
            "    alias " + p.root + "/skin/" + p.gameId + ".png;\n"
            "    default_type image/png;\n"
            "    add_header Cache-Control \"public, max-age=3600\";\n"
            "}\n";
    }
    return text;
}

std::string StatsNginxSnippet(const std::string& urlPrefix, const std::string& statsPath) {
    return
        "# Statistics of every game, published by vorla-publish. Include it once in\n"
        "# the server block of the portal's base URL. The downloaders' reports\n"
        "# are GET requests; the access log is the record (vorla-stats reads it).\n"
        "location = " + statsPath + " {\n"
        "    default_type text/plain;\n"
        "    add_header Cache-Control \"no-store\";\n"
        "    return 200 \"ok\\n\";\n"
        "}\n"
        "location = /keldor/down_msg.html {\n"
        "    default_type text/plain;\n"
        "    add_header Cache-Control \"no-store\";\n"
        "    return 200 \"ok\\n\";\n"
        "}\n"
        "# The publication's own records are not served.\n"
        "location ^~ " + urlPrefix + "/.vorla-publish/ {\n"
        "    deny all;\n"
        "}\n";
}
