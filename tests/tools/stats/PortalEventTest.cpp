// Every request the downloader sends to the portal, and the requests of other
// pages and sites that must not be taken for them.
#include "tools/stats/PortalEvent.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* target;
    int status;
    PortalEvent event;
    const char* game;
    const char* machine;
    int percentage;
};

const char kTail[] = "&game=7223&mid=M1&ver=1.1.0.1005";

std::string Report(const char* values) { return std::string("/stat?") + values + kTail; }

TEST(PortalEvent, EveryValueTheDownloaderSendsHasItsEvent) {
    struct ReportCase {
        const char* values;
        PortalEvent event;
        int percentage;
    };
    const ReportCase cases[] = {
        {"action=1", PortalEvent::ReportedOpened, 0},
        {"action=2&tg=1", PortalEvent::StartedWithCompanion, 0},
        {"action=2&tg=0", PortalEvent::StartedWithoutCompanion, 0},
        {"action=4", PortalEvent::Continued, 0},
        {"action=6", PortalEvent::DownloadAgain, 0},
        {"action=5&cg=1&cwdm=3", PortalEvent::Finished, 0},
        {"action=5&cg=0&cwdm=6", PortalEvent::SourceRefused, 0},
        {"action=5&cg=0&cwdm=5", PortalEvent::WriteFailed, 0},
        // The stall and the failed check carry the percentage as their action,
        // whatever action code it happens to equal.
        {"action=37&cg=0&cwdm=0", PortalEvent::Stalled, 37},
        {"action=0&cg=0&cwdm=0", PortalEvent::Stalled, 0},
        {"action=1&cg=0&cwdm=0", PortalEvent::Stalled, 1},
        {"action=5&cg=0&cwdm=0", PortalEvent::Stalled, 5},
        {"action=99&cg=0&cwdm=0", PortalEvent::Stalled, 99},
        {"action=100&cg=0&cwdm=0", PortalEvent::ChecksFailed, 100},
        // Shaped as reports, with values the downloader never sends.
        {"action=3", PortalEvent::Unrecognised, 0},
        {"action=2", PortalEvent::Unrecognised, 0},
        {"action=2&tg=2", PortalEvent::Unrecognised, 0},
        {"action=4&tg=1", PortalEvent::Unrecognised, 0},
        {"action=5&cg=1&cwdm=6", PortalEvent::Unrecognised, 0},
        {"action=5&cg=1", PortalEvent::Unrecognised, 0},
        {"action=101&cg=0&cwdm=0", PortalEvent::Unrecognised, 0},
        {"action=x", PortalEvent::Unrecognised, 0},
        {"action=1&action=4", PortalEvent::Unrecognised, 0},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.values);
        PortalRequest request = ClassifyRequest("GET", Report(c.values), 200);
        EXPECT_EQ(request.event, c.event);
        EXPECT_EQ(request.game, "7223");
        EXPECT_EQ(request.machine, "M1");
        EXPECT_EQ(request.percentage, c.percentage);
        if (c.event == PortalEvent::Unrecognised) {
            EXPECT_EQ(request.shape.find("game="), std::string::npos);
        }
    }
}

TEST(PortalEvent, ReportsCountWhateverTheAnswer) {
    // The statistics host may answer 404 or 502: the event still happened.
    for (int status : {200, 304, 404, 502}) {
        EXPECT_EQ(ClassifyRequest("GET", Report("action=5&cg=1&cwdm=3"), status).event, PortalEvent::Finished);
    }
}

TEST(PortalEvent, OtherRequestsAreNotEvents) {
    const Case cases[] = {
        {"/configuration", 200, PortalEvent::None, "", "", 0},
        {"/games/7223/XingchenSetup.exe", 206, PortalEvent::None, "", "", 0},
        {"/keldor/KeldorSetup.exe", 200, PortalEvent::None, "", "", 0},
        {"/skin/7223.png", 200, PortalEvent::None, "", "", 0},
        {"/forum.html", 200, PortalEvent::None, "", "", 0},
        // other pages' and sites' queries, even with an action or a game
        {"/bbs/forum.php?action=view&tid=3", 200, PortalEvent::None, "", "", 0},
        {"/shop?game=7223&action=1", 200, PortalEvent::None, "", "", 0},
        {"/search?action=1&game=7223", 200, PortalEvent::None, "", "", 0},
        {"/tool/down/7223.html?x=1", 200, PortalEvent::None, "", "", 0},
        {"/tool/down/a/7223.html", 200, PortalEvent::None, "", "", 0},
        {"/tool/down/.html", 200, PortalEvent::None, "", "", 0},
        {"/tool/up/7223.html", 200, PortalEvent::None, "", "", 0},
        {"", 400, PortalEvent::None, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(ClassifyRequest("GET", c.target, c.status).event, PortalEvent::None);
    }
    EXPECT_EQ(ClassifyRequest("POST", Report("action=1"), 200).event, PortalEvent::None);
    EXPECT_EQ(ClassifyRequest("HEAD", "/tool/down/7223.html", 200).event, PortalEvent::None);
}

TEST(PortalEvent, ConfigurationFetchIsCountedByItsAnswer) {
    const Case cases[] = {
        {"/tool/down/7223.html", 200, PortalEvent::ConfigLoaded, "7223", "", 0},
        {"/tool/down/7223.html", 304, PortalEvent::ConfigLoaded, "7223", "", 0},
        {"/tool/down/7223.html", 206, PortalEvent::ConfigLoaded, "7223", "", 0},
        {"http://portal.example/tool/down/7224.html", 200, PortalEvent::ConfigLoaded, "7224", "", 0},
        {"/tool/down/7299.html", 404, PortalEvent::ConfigMissing, "7299", "", 0},
        {"/tool/down/7299.html", 500, PortalEvent::ConfigMissing, "7299", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        PortalRequest request = ClassifyRequest("GET", c.target, c.status);
        EXPECT_EQ(request.event, c.event);
        EXPECT_EQ(request.game, c.game);
    }
}

TEST(PortalEvent, CompanionSetupReportNamesNoGame) {
    PortalRequest request =
        ClassifyRequest("GET", "/keldor/down_msg.html?action=setupbox&from=1&mid=M9&ver=1.1.0.1005", 200);
    EXPECT_EQ(request.event, PortalEvent::CompanionSetup);
    EXPECT_EQ(request.game, "");
    EXPECT_EQ(request.machine, "M9");
    EXPECT_EQ(ClassifyRequest("GET", "/keldor/down_msg.html?action=setupbox&from=2&mid=M9&ver=1", 200).event,
              PortalEvent::Unrecognised);
    EXPECT_EQ(ClassifyRequest("GET", "/keldor/down_msg.html?action=other&from=1&mid=M9&ver=1", 200).event,
              PortalEvent::None);
}

TEST(PortalEvent, StatisticsPathLimitsWhereReportsCount) {
    EXPECT_EQ(ClassifyRequest("GET", Report("action=1"), 200, "/stat").event, PortalEvent::ReportedOpened);
    EXPECT_EQ(ClassifyRequest("GET", std::string("/other?action=1") + kTail, 200, "/stat").event, PortalEvent::None);
    EXPECT_EQ(ClassifyRequest("GET", std::string("/other?action=1") + kTail, 200).event, PortalEvent::ReportedOpened);
    // The configuration and the companion setup have their own paths.
    EXPECT_EQ(ClassifyRequest("GET", "/tool/down/7223.html", 200, "/stat").event, PortalEvent::ConfigLoaded);
    EXPECT_EQ(ClassifyRequest("GET", "/keldor/down_msg.html?action=setupbox&from=1&mid=M&ver=1", 200, "/stat").event,
              PortalEvent::CompanionSetup);
}

TEST(PortalEvent, EmptyMachineIdentifierIsKeptEmpty) {
    PortalRequest request = ClassifyRequest("GET", "/stat?action=1&game=7223&mid=&ver=1.1.0.1005", 200);
    EXPECT_EQ(request.event, PortalEvent::ReportedOpened);
    EXPECT_EQ(request.machine, "");
}

}  // namespace
