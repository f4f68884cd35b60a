// The portal's statistics gathered from its access logs: per game and day the
// count of each event, and per game what each machine did, so the funnel can
// count people rather than clicks (a download resumed five times is one
// player). Lines may arrive from several files in any order.
#pragma once

#include "tools/stats/LogFile.h"
#include "tools/stats/PortalEvent.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct DayCounts {
    std::array<uint64_t, static_cast<size_t>(PortalEvent::Count)> events{};
    uint64_t stalledPercentageSum = 0;  // of the Stalled events, for their mean

    uint64_t operator[](PortalEvent event) const { return events[static_cast<size_t>(event)]; }
    uint64_t Started() const {
        return (*this)[PortalEvent::StartedWithCompanion] + (*this)[PortalEvent::StartedWithoutCompanion];
    }
    uint64_t Failed() const {
        return (*this)[PortalEvent::SourceRefused] + (*this)[PortalEvent::WriteFailed] + (*this)[PortalEvent::Stalled] +
               (*this)[PortalEvent::ChecksFailed];
    }
    void Add(const DayCounts& other);
};

// One machine's history with one game.
struct MachineFacts {
    bool started = false;  // pressed start, continue or download again
    uint64_t finished = 0;
    uint64_t checksFailed = 0;
    // The latest failure it reported, by the time in the log (by the order
    // read among failures of the same second, and after any undated one).
    PortalEvent lastFailure = PortalEvent::None;
    int64_t lastFailureWhen = 0;
    uint64_t lastFailureOrder = 0;
};

// The machines of one game at each step, and why those who started did not
// finish.
struct GameFunnel {
    uint64_t opened = 0;    // every machine that reported anything for the game
    uint64_t started = 0;
    uint64_t finished = 0;
    uint64_t sound = 0;     // finished with a file that passed its checks
    uint64_t neverStarted = 0;
    uint64_t stalled = 0, sourceRefused = 0, writeFailed = 0, noReport = 0;  // started, never finished
    uint64_t checksFailed = 0;  // finished, never with a sound file
};

struct GameStats {
    std::map<std::string, DayCounts> days;  // "" holds the undated lines
    std::map<std::string, MachineFacts> machines;
    std::map<std::string, uint64_t> unrecognised;  // shape -> count

    DayCounts Total() const;
    GameFunnel Funnel() const;
};

class StatsBook {
public:
    explicit StatsBook(std::string statsPath = std::string()) : statsPath_(std::move(statsPath)) {}

    // One line of a log, without its line end. Blank lines are skipped;
    // lines in no known format are counted as malformed, and so are lines
    // longer than kMaxLogLineBytes or holding control bytes (a NUL, a binary
    // tail): nginx writes those escaped, never raw.
    void AddLine(const std::string& text);
    // Gives each companion setup report (which names no game) to the game its
    // machine last started with the companion; call once all lines are in.
    void Finish();

    uint64_t Lines() const { return lines_; }
    uint64_t Malformed() const { return malformed_; }
    uint64_t OtherRequests() const { return other_; }
    const std::vector<std::string>& MalformedSamples() const { return malformedSamples_; }
    // By game identifier; "" collects companion setups of no known game.
    const std::map<std::string, GameStats>& Games() const { return games_; }
    std::vector<std::string> Days() const;  // every day seen, in order; "" first when present

private:
    struct CompanionSetup {
        std::string machine, day;
        int64_t when;
        uint64_t order;
    };
    struct CompanionStart {
        int64_t when;
        uint64_t order;
        std::string game;
    };

    void Count(const std::string& game, const std::string& day, int64_t when, const PortalRequest& request);

    std::string statsPath_;
    uint64_t lines_ = 0, malformed_ = 0, other_ = 0;
    std::vector<std::string> malformedSamples_;
    std::map<std::string, GameStats> games_;
    std::vector<CompanionSetup> setups_;
    std::map<std::string, std::vector<CompanionStart>> companionStarts_;  // by machine
};
