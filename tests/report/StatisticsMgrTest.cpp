// Statistics reports against the fault server (127.0.0.1:17224, whose log
// records each request's target and arrival time) and nginx.
#include "report/StatisticsMgr.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testing_support;

namespace {

class FixedContext : public IReportContext {
public:
    std::wstring base = std::wstring(kFaultsBase) + L"/echo";
    std::wstring GameId() override { return L"7223"; }
    std::wstring MachineId() override { return L"0a1b2c3d"; }
    std::wstring Version() override { return L"1.1.0.1005"; }
    std::wstring StatisticsBase() override { return base; }
};

bool WaitDrained(const CStatisticsMgr& mgr, DWORD timeoutMs) {
    return PumpUntil([&] { return mgr.Processed() == mgr.Posted(); }, timeoutMs);
}

struct Arrival {
    std::string target;
    double time;
};

std::vector<Arrival> ArrivalsSince(size_t from, const std::string& marker) {
    std::vector<Arrival> out;
    const auto lines = ReadLines(FaultsLogPath());
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].find(marker) == std::string::npos) continue;
        const size_t space = lines[i].find(' ');
        const size_t last = lines[i].find_last_of(' ');
        out.push_back({lines[i].substr(0, space), std::atof(lines[i].c_str() + last + 1)});
    }
    return out;
}

TEST(StatisticsQuery, KindsChooseTheirForm) {
    EXPECT_EQ(L"?action=2&tg=1&game=7223&mid=m&ver=1.1.0.1005",
              BuildEventQuery(0, 2, 1, 0, 0, L"7223", L"m", L"1.1.0.1005"));
    EXPECT_EQ(BuildEventQuery(1, 4, 9, 9, 9, L"g", L"m", L"v"), BuildEventQuery(2, 4, 0, 0, 0, L"g", L"m", L"v"));
    EXPECT_EQ(L"?action=4&game=g&mid=m&ver=v", BuildEventQuery(2, 4, 0, 0, 0, L"g", L"m", L"v"));
    EXPECT_EQ(L"?action=5&cg=1&cwdm=3&game=g&mid=&ver=v", BuildEventQuery(3, 5, 0, 1, 3, L"g", L"", L"v"));
    EXPECT_EQ(L"?action=37&cg=0&cwdm=0&game=g&mid=m&ver=v", BuildEventQuery(4, 37, 12345, 0, 0, L"g", L"m", L"v"));
}

TEST(StatisticsMgr, BurstIsSentInOrderWithAPauseBetweenReports) {
    FixedContext context;
    CStatisticsMgr mgr(context);
    mgr.Start();
    mgr.Start();  // a second start does nothing
    const size_t from = ReadLines(FaultsLogPath()).size();
    for (int i = 0; i < 10; ++i) mgr.ReportEvent(4, 100 + i, 0, 0, 0);
    ASSERT_TRUE(WaitDrained(mgr, 20000));
    const auto arrivals = ArrivalsSince(from, "/echo?action=1");
    ASSERT_EQ(10u, arrivals.size());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ("/echo?action=" + std::to_string(100 + i) + "&cg=0&cwdm=0&game=7223&mid=0a1b2c3d&ver=1.1.0.1005",
                  arrivals[i].target);
        if (i > 0) {
            EXPECT_GE(arrivals[i].time - arrivals[i - 1].time, 0.0099);
        }
    }
}

TEST(StatisticsMgr, FixedReportsCarryGameMachineAndVersion) {
    FixedContext context;
    CStatisticsMgr mgr(context);
    mgr.Start();
    const size_t from = ReadLines(FaultsLogPath()).size();
    const size_t portalFrom = ReadLines(PortalLogPath()).size();
    mgr.ReportConfigLoaded();
    mgr.ReportRedownload();
    mgr.ReportCompanionSetup(1);
    ASSERT_TRUE(WaitDrained(mgr, 20000));
    const auto arrivals = ArrivalsSince(from, "/echo?");
    ASSERT_EQ(2u, arrivals.size());
    EXPECT_EQ("/echo?action=1&game=7223&mid=0a1b2c3d&ver=1.1.0.1005", arrivals[0].target);
    EXPECT_EQ("/echo?action=6&game=7223&mid=0a1b2c3d&ver=1.1.0.1005", arrivals[1].target);
    // The companion report goes to the statistics host, whatever the base.
    EXPECT_EQ(1u, CountLinesContaining(PortalLogPath(),
                                       "GET /keldor/down_msg.html?action=setupbox&from=1&mid=0a1b2c3d&ver=1.1.0.1005 ",
                                       portalFrom));
}

TEST(StatisticsMgr, EmptyBaseSendsNothing) {
    FixedContext context;
    context.base.clear();
    CStatisticsMgr mgr(context);
    mgr.Start();
    const size_t from = ReadLines(FaultsLogPath()).size();
    const size_t portalFrom = ReadLines(PortalLogPath()).size();
    mgr.ReportConfigLoaded();
    mgr.ReportEvent(0, 2, 1, 0, 0);
    ASSERT_TRUE(WaitDrained(mgr, 20000));
    EXPECT_EQ(from, ReadLines(FaultsLogPath()).size());
    EXPECT_EQ(portalFrom, ReadLines(PortalLogPath()).size());
}

TEST(StatisticsMgr, PostNeverWaitsForASlowServer) {
    FixedContext context;
    CStatisticsMgr mgr(context);
    mgr.Start();
    mgr.Post(std::wstring(kFaultsBase) + L"/slow?ms=3000");
    // Wait until the sender is inside the slow request.
    ASSERT_TRUE(PumpUntil([] { return CountLinesContaining(FaultsLogPath(), "/slow?ms=3000") > 0; }, 10000));
    const ULONGLONG before = ::GetTickCount64();
    for (int i = 0; i < 5; ++i) mgr.ReportEvent(1, 200 + i, 0, 0, 0);
    EXPECT_LT(::GetTickCount64() - before, 1000u);
    EXPECT_EQ(0u, mgr.Processed());  // the slow report is still being sent
    ASSERT_TRUE(WaitDrained(mgr, 20000));
}

TEST(StatisticsMgr, AnAnswerThatNeverEndsDoesNotHoldBackLaterReports) {
    FixedContext context;
    const size_t from = ReadLines(FaultsLogPath()).size();
    CStatisticsMgr mgr(context);
    mgr.Start();
    mgr.Post(std::wstring(kFaultsBase) + L"/endless");
    mgr.ReportEvent(1, 301, 0, 0, 0);
    ASSERT_TRUE(WaitDrained(mgr, 20000)) << "the sender is still reading the endless answer";
    EXPECT_EQ(1u, ArrivalsSince(from, "action=301").size());
}

}  // namespace
