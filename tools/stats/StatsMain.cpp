// vorla-stats: reads a portal's nginx access logs (plain, or gzip-rotated
// parts, in any order) and prints per game and day what its downloaders did,
// and the funnel from opening the downloader to getting the game; --html also
// writes the same as a self-contained page with charts.
#include "tools/stats/GameNames.h"
#include "tools/stats/HtmlReport.h"
#include "tools/stats/LogFile.h"
#include "tools/stats/StatsBook.h"
#include "tools/stats/Console.h"
#include "tools/stats/TextReport.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: vorla-stats [--html FILE] [--portal DIR] [--stats-path PATH] LOG...\n"
    "  LOG               nginx access logs (combined format, or the short portal format);\n"
    "                    gzip-rotated parts (access.log.2.gz) are read as they are\n"
    "  --html FILE       also write the report as a self-contained HTML page\n"
    "  --portal DIR      the portal's folder: game names from DIR/tool/down/<id>.html\n"
    "  --stats-path PATH count reports only on this path (the path of DomainName, e.g. /stat);\n"
    "                    by default a report is recognised by its query wherever it lands\n";

struct Options {
    std::string html, portal, statsPath;
    std::vector<std::string> logs;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return !into.empty();
        };
        if (arg == "--html") {
            if (!value(options.html)) return false;
        } else if (arg == "--portal") {
            if (!value(options.portal)) return false;
        } else if (arg == "--stats-path") {
            if (!value(options.statsPath)) return false;
        } else if (arg == "-h" || arg == "--help") {
            return false;
        } else if (arg == "--") {
            for (++i; i < argc; ++i) options.logs.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "vorla-stats: unknown option " << arg << "\n";
            return false;
        } else {
            options.logs.push_back(arg);
        }
    }
    return !options.logs.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    PrepareConsoleForUtf8();
    StatsBook book(options.statsPath);
    int status = 0;
    for (const std::string& path : options.logs) {
        LogFileResult result = ReadLogFile(path, [&book](const std::string& line) { book.AddLine(line); });
        if (!result.opened) {
            std::cerr << "vorla-stats: cannot read " << path << ": " << result.problem << "\n";
            status = 1;
        } else if (!result.complete) {
            std::cerr << "vorla-stats: " << path << " ends early (" << result.problem
                      << "); its lines up to there are counted\n";
        }
    }
    book.Finish();

    std::map<std::string, std::string> names;
    if (!options.portal.empty()) {
        for (const auto& game : book.Games()) {
            std::string name = ReadGameName(options.portal, game.first);
            if (!name.empty()) names[game.first] = name;
        }
    }
    WriteTextReport(book, names, std::cout);
    if (!options.html.empty()) {
        std::ofstream page(options.html, std::ios::binary | std::ios::trunc);
        WriteHtmlReport(book, names, options.logs, page);
        page.close();
        if (!page) {
            std::cerr << "vorla-stats: cannot write " << options.html << "\n";
            return 1;
        }
        std::cout << "html: " << options.html << "\n";
    }
    return status;
}
