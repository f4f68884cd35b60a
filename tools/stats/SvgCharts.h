// The report's charts as inline SVG: no script, no font or image from
// elsewhere, so the page reads the same offline.
#pragma once

#include "tools/stats/StatsBook.h"

#include <map>
#include <string>

// The chart colours, shared with the page's legend and table.
namespace chart_colour {
const char kLoaded[] = "#8da9c4";
const char kStarted[] = "#2f6fba";
const char kFinished[] = "#2e9d5e";
const char kFailed[] = "#d2493f";
const char kSound[] = "#1f7a45";
}  // namespace chart_colour

// A horizontal funnel of the game's machines: opened, started, finished,
// got the game; beside each step its share of those who opened and who
// dropped out before it.
std::string FunnelChart(const GameFunnel& funnel);

// Bars per day: configurations loaded, downloads started, finished, failed.
std::string DailyChart(const std::map<std::string, DayCounts>& days);

// Text made safe for HTML and SVG.
std::string EscapeHtml(const std::string& text);
