// A portal's log written from known player stories, with the counts a correct
// reading must find: several games and days, the downloader's every report,
// the portal's other traffic, other sites' requests and broken lines; split
// the way nginx rotates it.
#pragma once

#include "tools/stats/StatsBook.h"

#include <map>
#include <string>
#include <vector>

struct KnownLog {
    std::vector<std::string> lines;  // oldest first
    std::map<std::string, std::map<std::string, DayCounts>> days;  // game -> day -> counts
    std::map<std::string, GameFunnel> funnels;                     // game -> machines
    uint64_t malformed = 0;
    uint64_t other = 0;
};

KnownLog MakeKnownLog();

// Writes the lines as a rotated set in folder: access.log.3.gz (oldest),
// access.log.2.gz, access.log.1 and access.log (newest). Returns the paths,
// newest first, as a shell lists them.
std::vector<std::string> WriteRotatedLogs(const KnownLog& log, const std::string& folder);

// A fresh folder under the temporary folder, removed with its files by the
// destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
