#include "tools/stats/TextReport.h"

#include "base/FormatText.h"

#include "tools/stats/EventNames.h"

#include <cstdio>
#include <vector>

namespace {

std::string DayLabel(const std::string& day) { return day.empty() ? "undated" : day; }

std::string MeanStall(const DayCounts& counts) {
    uint64_t stalled = counts[PortalEvent::Stalled];
    if (stalled == 0) return "";
    return FormatString(" (at %llu%% on average)", static_cast<unsigned long long>(counts.stalledPercentageSum / stalled));
}

void WriteDayRow(const std::string& label, const DayCounts& c, std::ostream& out) {
    auto n = [&](PortalEvent e) { return static_cast<unsigned long long>(c[e]); };
    out << FormatString("  %-10s %7llu %7llu %6llu %6llu %6llu %8llu %7s %6llu %6llu %6llu %6llu %6llu %6llu\n",
                  label.c_str(), n(PortalEvent::ConfigLoaded), static_cast<unsigned long long>(c.Started()),
                  n(PortalEvent::StartedWithCompanion), n(PortalEvent::StartedWithoutCompanion),
                  n(PortalEvent::Continued), n(PortalEvent::Finished),
                  PercentText(c[PortalEvent::Finished], c[PortalEvent::ConfigLoaded]).c_str(), n(PortalEvent::Stalled),
                  n(PortalEvent::SourceRefused), n(PortalEvent::WriteFailed), n(PortalEvent::ChecksFailed),
                  n(PortalEvent::DownloadAgain), n(PortalEvent::CompanionSetup));
}

void WriteFunnel(const GameFunnel& f, std::ostream& out) {
    auto u = [](uint64_t v) { return static_cast<unsigned long long>(v); };
    out << "  funnel (machines, by their machine identifier):\n";
    out << FormatString("    opened the downloader   %7llu %7s\n", u(f.opened), PercentText(f.opened, f.opened).c_str());
    out << FormatString("    started a download      %7llu %7s   %llu never pressed start\n", u(f.started),
                  PercentText(f.started, f.opened).c_str(), u(f.neverStarted));
    std::string why;
    auto add = [&why](uint64_t count, const char* reason) {
        if (!count) return;
        why += (why.empty() ? ": " : ", ") + std::to_string(static_cast<unsigned long long>(count)) + " " + reason;
    };
    add(f.stalled, "stalled");
    add(f.sourceRefused, "source refused");
    add(f.writeFailed, "could not write");
    add(f.noReport, "sent no failure (closed, or still downloading)");
    out << FormatString("    finished the download   %7llu %7s   %llu did not finish", u(f.finished),
                  PercentText(f.finished, f.opened).c_str(), u(f.started - f.finished))
        << why << "\n";
    out << FormatString("    got the game (sound)    %7llu %7s   %llu only with a file that failed its checks\n",
                  u(f.sound), PercentText(f.sound, f.opened).c_str(), u(f.checksFailed));
}

}  // namespace

std::string PercentText(uint64_t part, uint64_t whole) {
    if (whole == 0) return "-";
    return FormatString("%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
}

void WriteTextReport(const StatsBook& book, const std::map<std::string, std::string>& names, std::ostream& out) {
    out << FormatString("%llu lines: %llu malformed (skipped), %llu other requests\n",
                  static_cast<unsigned long long>(book.Lines()), static_cast<unsigned long long>(book.Malformed()),
                  static_cast<unsigned long long>(book.OtherRequests()));
    for (const std::string& sample : book.MalformedSamples()) out << "  malformed: " << sample << "\n";

    for (const auto& entry : book.Games()) {
        if (entry.first.empty()) continue;  // after the games
        const GameStats& game = entry.second;
        const DayCounts total = game.Total();
        out << "\n";
        auto name = names.find(entry.first);
        out << "game " << entry.first;
        if (name != names.end()) out << " " << name->second;
        out << "\n";
        out << FormatString("  %-10s %7s %7s %6s %6s %6s %8s %7s %6s %6s %6s %6s %6s %6s\n", "day", "loaded", "started",
                      "+comp", "-comp", "cont", "finished", "conv", "stall", "source", "write", "checks", "again",
                      "setup");
        for (const auto& day : game.days) WriteDayRow(DayLabel(day.first), day.second, out);
        if (game.days.size() > 1) WriteDayRow("total", total, out);
        if (total[PortalEvent::Stalled]) out << "  stalled downloads" << MeanStall(total) << "\n";
        if (total[PortalEvent::ConfigMissing])
            out << "  configuration requests not served (404 and the like): " << total[PortalEvent::ConfigMissing]
                << "\n";
        WriteFunnel(game.Funnel(), out);
        for (const auto& shape : game.unrecognised)
            out << "  unrecognised report: " << shape.first << " (" << shape.second << ")\n";
    }
    auto apart = book.Games().find("");
    if (apart != book.Games().end()) {
        const DayCounts total = apart->second.Total();
        out << "\nnot tied to a game:\n";
        if (total[PortalEvent::CompanionSetup])
            out << "  companion setups of machines that started no game with the companion: "
                << total[PortalEvent::CompanionSetup] << "\n";
        for (const auto& shape : apart->second.unrecognised)
            out << "  unrecognised report: " << shape.first << " (" << shape.second << ")\n";
    }
    out << "\nloaded: " << NameOf(PortalEvent::ConfigLoaded).english
        << " (GET /tool/down/<id>.html); started: +comp with the companion, -comp without; cont: continued;\n"
           "conv: finished per configuration loaded; stall, source, write, checks: failures (stalled and given up,\n"
           "the source refused the game, the file could not be written, the finished file failed its checks);\n"
           "again: download again after a damaged file; setup: companion setups launched.\n";
}
