// The statistics as plain text for a terminal: per game a table of its days
// and the funnel of its machines.
#pragma once

#include "tools/stats/StatsBook.h"

#include <map>
#include <ostream>
#include <string>

// names: game identifier -> game name (UTF-8), for the games whose name is known.
void WriteTextReport(const StatsBook& book, const std::map<std::string, std::string>& names, std::ostream& out);

// "56.7%" of part in whole; "-" when whole is 0.
std::string PercentText(uint64_t part, uint64_t whole);
