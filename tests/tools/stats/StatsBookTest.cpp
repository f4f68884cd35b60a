// Counting a known log: every game and day, the funnel of machines, broken
// lines and other traffic, read from a rotated set of plain and gzip parts in
// any order.
#include "tests/tools/stats/KnownLog.h"
#include "tools/stats/EventNames.h"
#include "tools/stats/GameNames.h"
#include "tools/stats/LogFile.h"
#include "tools/stats/StatsBook.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>

namespace {

void ExpectSameCounts(const DayCounts& expected, const DayCounts& actual) {
    for (size_t i = 0; i < expected.events.size(); ++i) {
        SCOPED_TRACE(NameOf(static_cast<PortalEvent>(i)).english);
        EXPECT_EQ(actual.events[i], expected.events[i]);
    }
    EXPECT_EQ(actual.stalledPercentageSum, expected.stalledPercentageSum);
}

void ExpectSameFunnel(const GameFunnel& e, const GameFunnel& a) {
    EXPECT_EQ(a.opened, e.opened);
    EXPECT_EQ(a.started, e.started);
    EXPECT_EQ(a.finished, e.finished);
    EXPECT_EQ(a.sound, e.sound);
    EXPECT_EQ(a.neverStarted, e.neverStarted);
    EXPECT_EQ(a.stalled, e.stalled);
    EXPECT_EQ(a.sourceRefused, e.sourceRefused);
    EXPECT_EQ(a.writeFailed, e.writeFailed);
    EXPECT_EQ(a.noReport, e.noReport);
    EXPECT_EQ(a.checksFailed, e.checksFailed);
}

void ExpectKnownCounts(const KnownLog& log, const StatsBook& book) {
    EXPECT_EQ(book.Lines(), log.lines.size());
    EXPECT_EQ(book.Malformed(), log.malformed);
    EXPECT_EQ(book.OtherRequests(), log.other);
    ASSERT_EQ(book.Games().size(), log.days.size());
    for (const auto& game : log.days) {
        SCOPED_TRACE("game " + game.first);
        auto found = book.Games().find(game.first);
        ASSERT_NE(found, book.Games().end());
        ASSERT_EQ(found->second.days.size(), game.second.size());
        for (const auto& day : game.second) {
            SCOPED_TRACE("day " + day.first);
            auto counts = found->second.days.find(day.first);
            ASSERT_NE(counts, found->second.days.end());
            ExpectSameCounts(day.second, counts->second);
        }
        ExpectSameFunnel(log.funnels.at(game.first), found->second.Funnel());
        EXPECT_TRUE(found->second.unrecognised.empty());
    }
}

TEST(StatsBook, KnownLogIsCountedPerGameDayAndMachine) {
    const KnownLog log = MakeKnownLog();
    StatsBook book;
    for (const std::string& line : log.lines) book.AddLine(line);
    book.Finish();
    ExpectKnownCounts(log, book);
}

TEST(StatsBook, RotatedPlainAndGzipPartsInAnyOrderGiveTheSameCounts) {
    const KnownLog log = MakeKnownLog();
    TempFolder folder;
    std::vector<std::string> paths = WriteRotatedLogs(log, folder.Path());
    // The gzip parts really are compressed.
    EXPECT_EQ(ReadWholeFile(paths[3]).compare(0, 2, "\x1f\x8b"), 0);
    std::vector<std::vector<std::string>> orders = {paths, paths};
    std::reverse(orders[1].begin(), orders[1].end());
    orders.push_back({paths[2], paths[0], paths[3], paths[1]});
    for (const auto& order : orders) {
        SCOPED_TRACE(order.front());
        StatsBook book;
        for (const std::string& path : order) {
            LogFileResult result = ReadLogFile(path, [&book](const std::string& line) { book.AddLine(line); });
            EXPECT_TRUE(result.opened);
            EXPECT_TRUE(result.complete) << result.problem;
        }
        book.Finish();
        ExpectKnownCounts(log, book);
    }
}

TEST(StatsBook, GzipPartCutShortKeepsItsLinesAndSaysSo) {
    TempFolder folder;
    const std::string path = folder.Path() + "/access.log.2.gz";
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "GET /stat?action=1&game=7223&mid=M" + std::to_string(i) + "&ver=1 200 3 \"a\" \"-\"\n";
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
    std::string bytes = ReadWholeFile(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);

    StatsBook book;
    LogFileResult result = ReadLogFile(path, [&book](const std::string& line) { book.AddLine(line); });
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.complete);
    EXPECT_FALSE(result.problem.empty());
    book.Finish();
    const uint64_t opened = book.Games().at("7223").Total()[PortalEvent::ReportedOpened];
    EXPECT_GT(opened, 0u);
    EXPECT_LT(opened, 2000u);
    // Only the torn last line may be malformed.
    EXPECT_LE(book.Malformed(), 1u);
}

TEST(StatsBook, MissingFileIsReportedNotThrown) {
    LogFileResult result = ReadLogFile("/nonexistent/vorla/access.log", [](const std::string&) {});
    EXPECT_FALSE(result.opened);
    EXPECT_FALSE(result.problem.empty());
}

TEST(StatsBook, VeryLongLineIsOneLine) {
    TempFolder folder;
    const std::string path = folder.Path() + "/access.log";
    std::string target = "/stat?action=1&game=7223&mid=" + std::string(50000, 'A') + "&ver=1";
    std::ofstream(path, std::ios::binary) << "GET " << target << " 200 3 \"a\" \"-\"\nGET /x 200 1 \"a\" \"-\"\n";
    StatsBook book;
    ReadLogFile(path, [&book](const std::string& line) { book.AddLine(line); });
    EXPECT_EQ(book.Lines(), 2u);
    EXPECT_EQ(book.Malformed(), 0u);
    EXPECT_EQ(book.OtherRequests(), 1u);
}

TEST(StatsBook, LinesPastTheCapNulsAndBinaryTailsAreMalformedNotGlued) {
    TempFolder folder;
    const std::string first = folder.Path() + "/access.log.1", second = folder.Path() + "/access.log";
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary += static_cast<char>((i * 131) % 251 + (i % 7 == 0 ? 0 : 1));
    std::ofstream(first, std::ios::binary)
        << std::string("GET /x\0 200 1 \"a\" \"-\"\n", 22)            // a NUL inside
        << "GET /" << std::string(kMaxLogLineBytes, 'A') << " 200 1 \"a\" \"-\"\n"  // past the cap
        << "GET /y 200 1 \"a\" \"-\"\n"
        << binary;  // a binary tail without a line end
    std::ofstream(second, std::ios::binary) << "GET /z 200 1 \"a\" \"-\"\n";
    StatsBook book;
    size_t longest = 0;
    for (const std::string& path : {first, second}) {
        const LogFileResult result = ReadLogFile(path, [&](const std::string& line) {
            longest = std::max(longest, line.size());
            book.AddLine(line);
        });
        EXPECT_TRUE(result.opened && result.complete) << path;
    }
    EXPECT_EQ(longest, kMaxLogLineBytes + 1) << "a long line is cut while it is read";
    EXPECT_EQ(book.OtherRequests(), 2u) << "/y and /z, each on its own";
    EXPECT_EQ(book.Malformed(), book.Lines() - 2);
    EXPECT_GE(book.Malformed(), 3u);
    for (const std::string& sample : book.MalformedSamples())
        EXPECT_EQ(sample.find('\0'), std::string::npos) << "control bytes are shown escaped";
}

TEST(StatsBook, AMachinesDropOutReasonIsItsLatestFailureByTime) {
    // The newer log is read first: its later failure still decides.
    StatsBook book;
    const auto at = [](const char* time, const char* query) {
        return std::string("192.0.2.1 - - [09/Dec/2026:") + time + " +0000] \"GET /stat?" + query +
               "&game=7223&mid=M&ver=1 HTTP/1.1\" 200 3 \"-\" \"a\"";
    };
    book.AddLine(at("12:00:00", "action=37&cg=0&cwdm=0"));  // stalled at 37%
    book.AddLine(at("10:00:00", "action=2&tg=0"));          // started
    book.AddLine(at("11:00:00", "action=5&cg=0&cwdm=6"));   // the source refused
    book.Finish();
    const GameFunnel funnel = book.Games().at("7223").Funnel();
    EXPECT_EQ(funnel.stalled, 1u);
    EXPECT_EQ(funnel.sourceRefused, 0u);
}

TEST(GameNames, AConfigurationIsReadByTheProgramsRule) {
    const struct {
        std::string bytes;
        std::string name;
    } rows[] = {
        {"GameName=\xD0\xC7\xB3\xBD\r\n", "星辰"},                                  // GBK
        {"\xEF\xBB\xBFGameName=\xE6\x98\x9F\r\n", "星"},                          // UTF-8 with its mark
        {"GameName=\xE6\x98\x9F\r\n", "星"},                                        // UTF-8
        {std::string("\xFE\xFF\0G\0a\0m\0e\0N\0a\0m\0e\0=\x66\x1F", 22), "星"},  // UTF-16BE with its mark
        {"GameName=\xC0\xAF\r\n", "蜡"},      // an overlong UTF-8 form is no UTF-8: GBK
        {"GameName=\xD0\xC7\xFF\r\n", "星\xEF\xBF\xBD"},  // a byte GBK does not define
    };
    for (const auto& row : rows) EXPECT_EQ(GameNameOfConfig(row.bytes), row.name) << row.name;
}

TEST(StatsBook, CrLfLineEndsAndBlankLinesAreNotMalformed) {
    StatsBook book;
    book.AddLine("GET /x 200 1 \"a\" \"-\"\r");
    book.AddLine("");
    book.AddLine("   ");
    EXPECT_EQ(book.Lines(), 1u);
    EXPECT_EQ(book.Malformed(), 0u);
}

TEST(StatsBook, CompanionSetupOfAMachineThatStartedNoGameIsKeptApart) {
    StatsBook book;
    book.AddLine("GET /keldor/down_msg.html?action=setupbox&from=1&mid=LONE&ver=1 200 3 \"a\" \"-\"");
    book.Finish();
    ASSERT_EQ(book.Games().count(""), 1u);
    EXPECT_EQ(book.Games().at("").Total()[PortalEvent::CompanionSetup], 1u);
}

TEST(StatsBook, ReportNamingNoGameIsListedApartNotCountedForAGame) {
    StatsBook book;
    book.AddLine("GET /stat?action=1&game=&mid=M&ver=1 200 3 \"a\" \"-\"");
    book.Finish();
    ASSERT_EQ(book.Games().size(), 1u);
    const GameStats& apart = book.Games().at("");
    EXPECT_EQ(apart.Total()[PortalEvent::Unrecognised], 1u);
    EXPECT_EQ(apart.Total()[PortalEvent::ReportedOpened], 0u);
    EXPECT_EQ(apart.unrecognised.count("action=1"), 1u);
}

TEST(StatsBook, CompanionSetupLoggedBeforeItsStartInAnEarlierFileStillFindsIt) {
    // access.log read before access.log.1: the setup's line comes first, its
    // start later; the times put them in order.
    StatsBook book;
    book.AddLine("192.0.2.1 - - [09/Dec/2026:10:00:09 +0000] \"GET /keldor/down_msg.html?action=setupbox&from=1&mid=X&ver=1 "
                 "HTTP/1.1\" 200 3 \"-\" \"a\"");
    book.AddLine("192.0.2.1 - - [09/Dec/2026:10:00:01 +0000] \"GET /stat?action=2&tg=1&game=7224&mid=X&ver=1 HTTP/1.1\" "
                 "200 3 \"-\" \"a\"");
    book.AddLine("192.0.2.1 - - [09/Dec/2026:11:00:01 +0000] \"GET /stat?action=2&tg=1&game=7223&mid=X&ver=1 HTTP/1.1\" "
                 "200 3 \"-\" \"a\"");
    book.Finish();
    EXPECT_EQ(book.Games().at("7224").Total()[PortalEvent::CompanionSetup], 1u);
    EXPECT_EQ(book.Games().at("7223").Total()[PortalEvent::CompanionSetup], 0u);
}

}  // namespace

namespace {

TEST(StatsBook, LoopbackPortalShortFormatCountsOnNoDay) {
    // As our loopback portal logs a copy for game 7226 going through its story.
    const char* const lines[] = {
        "GET /tool/down/7226.html 200 1268 \"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)\" \"-\"",
        "GET /skin/7223.png 200 40213 \"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)\" \"-\"",
        "GET /stat?action=1&game=7226&mid=6B1E0C3A&ver=1.1.0.1005 200 3 \"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)\" \"-\"",
        "GET /promo/7223.html 200 300 \"Mozilla/4.0 (compatible; MSIE 7.0)\" \"-\"",
        "GET /stat?action=2&tg=1&game=7226&mid=6B1E0C3A&ver=1.1.0.1005 200 3 \"Mozila/4.0\" \"-\"",
        "GET /keldor/KeldorSetup.exe 206 3145728 \"Mozila/4.0\" \"bytes=0-\"",
        "GET /keldor/down_msg.html?action=setupbox&from=1&mid=6B1E0C3A&ver=1.1.0.1005 200 3 \"Mozila/4.0\" \"-\"",
        "GET /slow/games/7223/XingchenSetup.exe 206 1048576 \"Mozila/4.0\" \"bytes=0-1048575\"",
        "GET /stat?action=5&cg=1&cwdm=3&game=7226&mid=6B1E0C3A&ver=1.1.0.1005 200 3 \"Mozila/4.0\" \"-\"",
    };
    StatsBook book("/stat");
    for (const char* line : lines) book.AddLine(line);
    book.Finish();
    EXPECT_EQ(book.Malformed(), 0u);
    EXPECT_EQ(book.OtherRequests(), 4u);
    ASSERT_EQ(book.Games().size(), 1u);
    const GameStats& game = book.Games().at("7226");
    ASSERT_EQ(game.days.size(), 1u);
    const DayCounts& undated = game.days.at("");
    EXPECT_EQ(undated[PortalEvent::ConfigLoaded], 1u);
    EXPECT_EQ(undated[PortalEvent::ReportedOpened], 1u);
    EXPECT_EQ(undated[PortalEvent::StartedWithCompanion], 1u);
    EXPECT_EQ(undated[PortalEvent::CompanionSetup], 1u);
    EXPECT_EQ(undated[PortalEvent::Finished], 1u);
    const GameFunnel funnel = game.Funnel();
    EXPECT_EQ(funnel.opened, 1u);
    EXPECT_EQ(funnel.sound, 1u);
}

}  // namespace
