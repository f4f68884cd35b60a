#include "tools/stats/StatsBook.h"

#include "tools/stats/AccessLogLine.h"

#include <set>

namespace {

const size_t kMalformedSamples = 5;

bool HasControlBytes(const std::string& text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return true;
    }
    return false;
}

// A malformed line as the report shows it: its start, control bytes
// written as \xHH.
std::string Sample(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < 200; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

void DayCounts::Add(const DayCounts& other) {
    for (size_t i = 0; i < events.size(); ++i) events[i] += other.events[i];
    stalledPercentageSum += other.stalledPercentageSum;
}

DayCounts GameStats::Total() const {
    DayCounts total;
    for (const auto& day : days) total.Add(day.second);
    return total;
}

GameFunnel GameStats::Funnel() const {
    GameFunnel funnel;
    for (const auto& entry : machines) {
        const MachineFacts& facts = entry.second;
        ++funnel.opened;
        if (!facts.started && facts.finished == 0) {
            ++funnel.neverStarted;
            continue;
        }
        ++funnel.started;  // a finish implies a start, even when its report was lost
        if (facts.finished == 0) {
            switch (facts.lastFailure) {
                case PortalEvent::Stalled: ++funnel.stalled; break;
                case PortalEvent::SourceRefused: ++funnel.sourceRefused; break;
                case PortalEvent::WriteFailed: ++funnel.writeFailed; break;
                default: ++funnel.noReport; break;
            }
            continue;
        }
        ++funnel.finished;
        // Each failed check is followed by its finish report: more finishes
        // than failed checks means one file at least was sound.
        if (facts.finished > facts.checksFailed) {
            ++funnel.sound;
        } else {
            ++funnel.checksFailed;
        }
    }
    return funnel;
}

void StatsBook::AddLine(const std::string& raw) {
    std::string text = raw;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.find_first_not_of(" \t") == std::string::npos) return;
    ++lines_;
    AccessLogLine line;
    if (text.size() > kMaxLogLineBytes || HasControlBytes(text) || !ParseAccessLogLine(text, line)) {
        ++malformed_;
        if (malformedSamples_.size() < kMalformedSamples) malformedSamples_.push_back(Sample(text));
        return;
    }
    PortalRequest request = ClassifyRequest(line.method, line.target, line.status, statsPath_);
    if (request.event == PortalEvent::None) {
        ++other_;
        return;
    }
    // Reports without a machine identifier: the client's address stands in,
    // or failing that the line itself (each such report its own machine).
    if (request.machine.empty() && request.event != PortalEvent::ConfigLoaded &&
        request.event != PortalEvent::ConfigMissing) {
        request.machine = line.address.empty() ? "#" + std::to_string(lines_) : "@" + line.address;
    }
    if (request.event == PortalEvent::CompanionSetup ||
        (request.event == PortalEvent::Unrecognised && request.game.empty())) {
        if (request.event == PortalEvent::CompanionSetup) {
            setups_.push_back({request.machine, line.day, line.when, lines_});
        } else {
            Count("", line.day, line.when, request);
        }
        return;
    }
    if (request.event == PortalEvent::StartedWithCompanion) {
        companionStarts_[request.machine].push_back({line.when, lines_, request.game});
    }
    Count(request.game, line.day, line.when, request);
}

void StatsBook::Count(const std::string& game, const std::string& day, int64_t when, const PortalRequest& request) {
    GameStats& stats = games_[game];
    DayCounts& counts = stats.days[day];
    ++counts.events[static_cast<size_t>(request.event)];
    if (request.event == PortalEvent::Stalled) counts.stalledPercentageSum += request.percentage;
    if (request.event == PortalEvent::Unrecognised) ++stats.unrecognised[request.shape];
    if (request.machine.empty()) return;  // the configuration fetch names no machine

    MachineFacts& facts = stats.machines[request.machine];
    switch (request.event) {
        case PortalEvent::StartedWithCompanion:
        case PortalEvent::StartedWithoutCompanion:
        case PortalEvent::Continued:
        case PortalEvent::DownloadAgain: facts.started = true; break;
        case PortalEvent::Finished: ++facts.finished; break;
        case PortalEvent::ChecksFailed: ++facts.checksFailed; break;
        case PortalEvent::Stalled:
        case PortalEvent::SourceRefused:
        case PortalEvent::WriteFailed:
            // Logs arrive in any order: the time decides, not the reading.
            if (facts.lastFailure == PortalEvent::None ||
                std::make_pair(when, lines_) > std::make_pair(facts.lastFailureWhen, facts.lastFailureOrder)) {
                facts.lastFailure = request.event;
                facts.lastFailureWhen = when;
                facts.lastFailureOrder = lines_;
            }
            break;
        default: break;
    }
}

void StatsBook::Finish() {
    for (const CompanionSetup& setup : setups_) {
        // The latest start with the companion at or before the setup report;
        // failing that, the machine's earliest such start.
        std::string game;
        const CompanionStart* best = nullptr;
        const CompanionStart* earliest = nullptr;
        auto starts = companionStarts_.find(setup.machine);
        if (starts != companionStarts_.end()) {
            for (const CompanionStart& start : starts->second) {
                auto key = std::make_pair(start.when, start.order);
                if (key <= std::make_pair(setup.when, setup.order) &&
                    (!best || key > std::make_pair(best->when, best->order)))
                    best = &start;
                if (!earliest || key < std::make_pair(earliest->when, earliest->order)) earliest = &start;
            }
        }
        if (!best) best = earliest;
        if (best) game = best->game;
        PortalRequest request;
        request.event = PortalEvent::CompanionSetup;
        Count(game, setup.day, setup.when, request);
    }
    setups_.clear();
}

std::vector<std::string> StatsBook::Days() const {
    std::set<std::string> days;
    for (const auto& game : games_) {
        for (const auto& day : game.second.days) days.insert(day.first);
    }
    return std::vector<std::string>(days.begin(), days.end());
}
