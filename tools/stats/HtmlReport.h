// The statistics as one self-contained HTML page: a summary of every game,
// then per game its funnel, its days as bars and its table of counts.
#pragma once

#include "tools/stats/StatsBook.h"

#include <map>
#include <ostream>
#include <string>
#include <vector>

// files: the logs read, listed on the page; names: game identifier -> name.
void WriteHtmlReport(const StatsBook& book, const std::map<std::string, std::string>& names,
                     const std::vector<std::string>& files, std::ostream& out);
