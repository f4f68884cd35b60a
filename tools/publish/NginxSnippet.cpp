#include "tools/publish/NginxSnippet.h"

std::string NginxQuoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CheckNginxPath(const std::string& path) {
    for (unsigned char c : path) {
        if (c == '$') return "nginx would read the '$' in \"" + path + "\" as a variable: use a folder without one";
        if (c < 0x20 || c == 0x7f) return "the folder \"" + path + "\" holds a control character";
    }
    return std::string();
}

std::string GameNginxSnippet(const NginxPaths& p) {
    const std::string game = p.urlPrefix + "/games/" + p.gameId + "/";
    std::string text =
        "# Game " + p.gameId + ", published by vorla-publish. Include it in the server block of the\n"
        "# portal's base URL, together with nginx/stats.conf (once for every game).\n"
        "\n"
        "# The configuration: read at every start of the downloader, so never\n"
        "# cached; its bytes are GBK or UTF-16 as written, no charset is added.\n"
        "location = " + p.urlPrefix + "/tool/down/" + p.gameId + ".html {\n"
        "    alias " + NginxQuoted(p.root + "/tool/down/" + p.gameId + ".html") + ";\n"
        "    default_type text/html;\n"
        "    charset off;\n"
        "    add_header Cache-Control \"no-cache\";\n"
        "}\n"
        "# Its signature, for downloaders built with the portal's key.\n"
        "location = " + p.urlPrefix + "/tool/down/" + p.gameId + ".html.sig {\n"
        "    alias " + NginxQuoted(p.root + "/tool/down/" + p.gameId + ".html.sig") + ";\n"
        "    default_type application/octet-stream;\n"
        "    add_header Cache-Control \"no-cache\";\n"
        "}\n"
        "\n"
        "# The installer, its Metalink seed, its torrent and the skin, in one\n"
        "# folder for each publication. Range requests are answered for files\n"
        "# served from disk; the engine opens several.\n"
        "location " + game + " {\n"
        "    alias " + NginxQuoted(p.root + "/games/" + p.gameId + "/") + ";\n"
        "    types { application/metalink4+xml meta4; application/x-bittorrent torrent; image/png png; }\n"
        "    default_type application/octet-stream;\n"
        "    max_ranges 1;\n"
        "    add_header Cache-Control \"public, max-age=3600\";\n"
        "}\n";
    if (!p.downloaderName.empty()) {
        text +=
            "\n"
            "# The downloader stamped for this game.\n"
            "location = " + p.urlPrefix + "/downloader/" + p.gameId + "/" + p.downloaderName + " {\n"
            "    alias " + NginxQuoted(p.root + "/downloader/" + p.gameId + "/" + p.downloaderName) + ";\n"
            "    default_type application/octet-stream;\n"
            "    add_header Content-Disposition \"attachment\";\n"
            "    add_header Cache-Control \"no-cache\";\n"
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
