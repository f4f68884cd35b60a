#include "tests/tools/stats/KnownLog.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

const char* const kDays[] = {"2026-12-07", "2026-12-08", "2026-12-09"};
const char* const kLogDays[] = {"07/Dec/2026", "08/Dec/2026", "09/Dec/2026"};
const char kVersion[] = "1.1.0.1005";
const char kAgent[] = "Mozila/4.0 (compatible; MSIE 5.0; KELDOR)";

enum class Story {
    OpenOnly,             // opened the downloader, never pressed start
    SoundWithCompanion,   // started with the companion, its setup ran, finished sound
    Stalled,              // started without, stalled for good
    ChecksFailed,         // finished, the file failed its checks
    Resumed,              // started, closed, came back twice, continued, finished
    SourceRefused,        // started with the companion, refused twice by the source
    WriteFailed,          // could not write the file
    DamagedThenAgain,     // finished, file deleted, downloaded again, finished
    Count
};

class Writer {
public:
    explicit Writer(KnownLog& log) : log_(log) {}

    void StartDay(int day) {
        day_ = day;
        seconds_ = 10;
    }
    // One combined-format line at the day's current time (the server at +0800).
    void Line(const std::string& address, const std::string& target, int status, uint64_t bytes) {
        char time[64];
        std::snprintf(time, sizeof time, "%s:%02d:%02d:%02d +0800", kLogDays[day_], seconds_ / 3600,
                      seconds_ / 60 % 60, seconds_ % 60);
        seconds_ += 7;
        log_.lines.push_back(address + " - - [" + time + "] \"GET " + target + " HTTP/1.1\" " +
                             std::to_string(status) + " " + std::to_string(bytes) + " \"-\" \"" + kAgent + "\"");
    }
    void Other(const std::string& address, const std::string& target, int status) {
        Line(address, target, status, 1000);
        ++log_.other;
    }
    void Broken(const std::string& text) {
        log_.lines.push_back(text);
        ++log_.malformed;
    }
    DayCounts& Counts(const std::string& game) { return log_.days[game][kDays[day_]]; }

    void Config(const std::string& game, const std::string& address) {
        Line(address, "/tool/down/" + game + ".html", 200, 640);
        ++Counts(game).events[static_cast<size_t>(PortalEvent::ConfigLoaded)];
    }
    void Report(const std::string& game, const std::string& mid, const std::string& address,
                const std::string& values, PortalEvent event, int percentage = 0) {
        Line(address, "/stat?" + values + "&game=" + game + "&mid=" + mid + "&ver=" + kVersion, 200, 3);
        ++Counts(game).events[static_cast<size_t>(event)];
        if (event == PortalEvent::Stalled) Counts(game).stalledPercentageSum += percentage;
    }
    void CompanionSetup(const std::string& game, const std::string& mid, const std::string& address) {
        Line(address, "/keldor/down_msg.html?action=setupbox&from=1&mid=" + mid + "&ver=" + kVersion, 200, 3);
        ++Counts(game).events[static_cast<size_t>(PortalEvent::CompanionSetup)];
    }
    void Installer(const std::string& game, const std::string& address) {
        Other(address, "/games/" + game + "/Setup.exe", 206);
    }

private:
    KnownLog& log_;
    int day_ = 0;
    int seconds_ = 0;
};

void Open(Writer& w, const std::string& game, const std::string& mid, const std::string& address) {
    w.Config(game, address);
    w.Report(game, mid, address, "action=1", PortalEvent::ReportedOpened);
}

void Play(Writer& w, KnownLog& log, Story story, const std::string& game, const std::string& mid,
          const std::string& address, int index) {
    GameFunnel& f = log.funnels[game];
    ++f.opened;
    Open(w, game, mid, address);
    switch (story) {
        case Story::OpenOnly:
            ++f.neverStarted;
            return;
        case Story::SoundWithCompanion:
            w.Report(game, mid, address, "action=2&tg=1", PortalEvent::StartedWithCompanion);
            w.Other(address, "/keldor/KeldorSetup.exe", 200);
            w.CompanionSetup(game, mid, address);
            w.Installer(game, address);
            w.Report(game, mid, address, "action=5&cg=1&cwdm=3", PortalEvent::Finished);
            ++f.started, ++f.finished, ++f.sound;
            return;
        case Story::Stalled: {
            const int percentage = 3 + index * 7 % 90;
            w.Report(game, mid, address, "action=2&tg=0", PortalEvent::StartedWithoutCompanion);
            w.Installer(game, address);
            w.Report(game, mid, address, "action=" + std::to_string(percentage) + "&cg=0&cwdm=0",
                     PortalEvent::Stalled, percentage);
            ++f.started, ++f.stalled;
            return;
        }
        case Story::ChecksFailed:
            w.Report(game, mid, address, "action=2&tg=0", PortalEvent::StartedWithoutCompanion);
            w.Installer(game, address);
            w.Report(game, mid, address, "action=100&cg=0&cwdm=0", PortalEvent::ChecksFailed);
            w.Report(game, mid, address, "action=5&cg=1&cwdm=3", PortalEvent::Finished);
            ++f.started, ++f.finished, ++f.checksFailed;
            return;
        case Story::Resumed:
            w.Report(game, mid, address, "action=2&tg=0", PortalEvent::StartedWithoutCompanion);
            w.Installer(game, address);
            for (int again = 0; again < 2; ++again) {
                Open(w, game, mid, address);
                w.Report(game, mid, address, "action=4", PortalEvent::Continued);
                w.Installer(game, address);
            }
            w.Report(game, mid, address, "action=5&cg=1&cwdm=3", PortalEvent::Finished);
            ++f.started, ++f.finished, ++f.sound;
            return;
        case Story::SourceRefused:
            w.Report(game, mid, address, "action=2&tg=1", PortalEvent::StartedWithCompanion);
            w.CompanionSetup(game, mid, address);
            w.Report(game, mid, address, "action=5&cg=0&cwdm=6", PortalEvent::SourceRefused);
            w.Report(game, mid, address, "action=5&cg=0&cwdm=6", PortalEvent::SourceRefused);
            ++f.started, ++f.sourceRefused;
            return;
        case Story::WriteFailed:
            w.Report(game, mid, address, "action=2&tg=0", PortalEvent::StartedWithoutCompanion);
            w.Report(game, mid, address, "action=5&cg=0&cwdm=5", PortalEvent::WriteFailed);
            ++f.started, ++f.writeFailed;
            return;
        case Story::DamagedThenAgain:
            w.Report(game, mid, address, "action=2&tg=0", PortalEvent::StartedWithoutCompanion);
            w.Report(game, mid, address, "action=5&cg=1&cwdm=3", PortalEvent::Finished);
            Open(w, game, mid, address);
            w.Report(game, mid, address, "action=6", PortalEvent::DownloadAgain);
            w.Report(game, mid, address, "action=5&cg=1&cwdm=3", PortalEvent::Finished);
            ++f.started, ++f.finished, ++f.sound;
            return;
        case Story::Count: break;
    }
}

void Noise(Writer& w, int day) {
    // The portal's own pages, other sites' requests on the same server, and
    // requests nginx could not read: lines, but no events.
    w.Other("198.51.100.9", "/forum.html", 200);
    w.Other("198.51.100.9", "/bbs/forum.php?action=view&tid=" + std::to_string(day), 200);
    w.Other("198.51.100.9", "/search?action=1&game=7223", 200);
    w.Other("198.51.100.9", "/tool/up/7223.html", 404);
    w.Other("198.51.100.10", "/", 200);
    w.Broken("198.51.100.9 - - [" + std::string(kLogDays[day]) + ":12:00:00 +0800] \"GET /stat?action=1&game=72");
    w.Broken("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03");
    w.Broken("198.51.100.9 - - [" + std::string(kLogDays[day]) + ":12:00");
}

}  // namespace

KnownLog MakeKnownLog() {
    KnownLog log;
    Writer w(log);
    const struct {
        const char* game;
        int machinesPerDay[3];
    } games[] = {{"7223", {24, 31, 17}}, {"7224", {9, 0, 12}}, {"8001", {5, 6, 3}}};
    for (int day = 0; day < 3; ++day) {
        w.StartDay(day);
        Noise(w, day);
        for (const auto& game : games) {
            for (int m = 0; m < game.machinesPerDay[day]; ++m) {
                const Story story = static_cast<Story>((m + day) % static_cast<int>(Story::Count));
                const std::string mid = "M" + std::string(game.game) + "D" + std::to_string(day) + "N" + std::to_string(m);
                const std::string address = "203.0.113." + std::to_string(m % 250);
                Play(w, log, story, game.game, mid, address, m);
            }
        }
        // A report that names no machine counts the client's address instead.
        log.funnels["8001"].opened += 1;
        log.funnels["8001"].neverStarted += 1;
        Open(w, "8001", "", "192.0.2." + std::to_string(day + 1));
        // A downloader whose configuration came but whose reports went to
        // another statistics host.
        w.Config("8001", "192.0.2.50");
    }
    // One machine plays two games on one day, each with the companion: each
    // setup belongs to the game started just before it.
    w.StartDay(2);
    w.Report("7223", "MBOTH", "192.0.2.77", "action=1", PortalEvent::ReportedOpened);
    w.Report("7223", "MBOTH", "192.0.2.77", "action=2&tg=1", PortalEvent::StartedWithCompanion);
    w.Line("192.0.2.77", "/keldor/down_msg.html?action=setupbox&from=1&mid=MBOTH&ver=1.1.0.1005", 200, 3);
    w.Report("7224", "MBOTH", "192.0.2.77", "action=1", PortalEvent::ReportedOpened);
    w.Report("7224", "MBOTH", "192.0.2.77", "action=2&tg=1", PortalEvent::StartedWithCompanion);
    w.Line("192.0.2.77", "/keldor/down_msg.html?action=setupbox&from=1&mid=MBOTH&ver=1.1.0.1005", 200, 3);
    ++w.Counts("7223").events[static_cast<size_t>(PortalEvent::CompanionSetup)];
    ++w.Counts("7224").events[static_cast<size_t>(PortalEvent::CompanionSetup)];
    for (const char* game : {"7223", "7224"}) {
        ++log.funnels[game].opened, ++log.funnels[game].started, ++log.funnels[game].noReport;
    }
    return log;
}

std::vector<std::string> WriteRotatedLogs(const KnownLog& log, const std::string& folder) {
    const std::vector<std::string> names = {"access.log.3.gz", "access.log.2.gz", "access.log.1", "access.log"};
    const size_t parts = names.size(), size = log.lines.size();
    for (size_t part = 0; part < parts; ++part) {
        std::string text;
        for (size_t i = size * part / parts; i < size * (part + 1) / parts; ++i) text += log.lines[i] + "\n";
        const std::string path = folder + "/" + names[part];
        if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) {
            gzFile file = gzopen(path.c_str(), "wb9");
            if (!file || gzwrite(file, text.data(), static_cast<unsigned>(text.size())) != static_cast<int>(text.size()))
                throw std::runtime_error("cannot write " + path);
            if (gzclose(file) != Z_OK) throw std::runtime_error("cannot close " + path);
        } else {
            std::ofstream(path, std::ios::binary) << text;
        }
    }
    std::vector<std::string> paths;
    for (auto it = names.rbegin(); it != names.rend(); ++it) paths.push_back(folder + "/" + *it);
    return paths;
}

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorla-stats-XXXXXX";
    if (!mkdtemp(&pattern[0])) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
