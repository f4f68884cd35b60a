// The HTTP transfer against nginx (127.0.0.1:17223) and the fault-injecting
// server (127.0.0.1:17224).
#include "HttpDownload.h"

#include "DownloaderConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace testing_support;

namespace {

struct Report {
    int done, total, status;
};

class Recorder : public IHttpDownloadCallback {
public:
    std::vector<Report> reports;
    int OnHttpProgress(int done, int total, int status) override {
        reports.push_back({done, total, status});
        return 0;
    }
};

std::wstring Target(const wchar_t* name) { return TempFolder() + L"vorla-http-" + name; }

TEST(HttpDownload, SecureUrlIsRefusedBeforeTheFileIsCreated) {
    const std::wstring target = Target(L"https.bin");
    ::DeleteFileW(target.c_str());
    const size_t before = ReadLines(PortalLogPath()).size();
    CHttpDownload http;
    EXPECT_FALSE(http.Download(L"https://127.0.0.1:17223/index.html", target.c_str()));
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(0u, http.GetLastStatus());
    EXPECT_EQ(before, ReadLines(PortalLogPath()).size());
    EXPECT_FALSE(http.Download(nullptr, target.c_str()));
}

TEST(HttpDownload, NotFoundFailsWithItsStatusAndLeavesAnEmptyClosedFile) {
    const std::wstring target = Target(L"missing.bin");
    CHttpDownload http;
    EXPECT_FALSE(http.Download((std::wstring(kPortalBase) + L"/no/such/file.html").c_str(), target.c_str()));
    EXPECT_EQ(404u, http.GetLastStatus());
    EXPECT_TRUE(FileExists(target));
    EXPECT_EQ(0u, FileSize(target));
    // No handle stays open: the file can be removed at once.
    EXPECT_TRUE(::DeleteFileW(target.c_str()));
}

TEST(HttpDownload, RefusedConnectionFailsAndClosesTheFile) {
    const std::wstring target = Target(L"refused.bin");
    CHttpDownload http;
    http.SetTimeout(2000);
    EXPECT_FALSE(http.Download(L"http://127.0.0.1:17299/nothing", target.c_str()));
    EXPECT_TRUE(::DeleteFileW(target.c_str()));
}

TEST(HttpDownload, BodyWithoutLengthIsReadUntilTheServerCloses) {
    const std::wstring target = Target(L"nolength.bin");
    CHttpDownload http;
    EXPECT_TRUE(http.Download((std::wstring(kFaultsBase) + L"/nolength?size=100000").c_str(), target.c_str()));
    EXPECT_EQ(200u, http.GetLastStatus());
    EXPECT_EQ(100000u, FileSize(target));
    EXPECT_TRUE(::DeleteFileW(target.c_str()));
}

TEST(HttpDownload, BodyShorterThanAnnouncedIsAFailure) {
    const std::wstring target = Target(L"truncated.bin");
    CHttpDownload http;
    http.SetTimeout(5000);
    EXPECT_FALSE(http.Download((std::wstring(kFaultsBase) + L"/truncated?announce=50000&send=20000").c_str(),
                               target.c_str()));
    EXPECT_EQ(200u, http.GetLastStatus());
    EXPECT_TRUE(::DeleteFileW(target.c_str()));
}

TEST(HttpDownload, QueryAndUserAgentReachTheServerAsSent) {
    const std::wstring target = Target(L"echo.txt");
    const std::wstring query = L"/echo?action=2&game=7223&mid=ab%20cd&ver=1.1.0.1005";
    CHttpDownload http;
    ASSERT_TRUE(http.Download((std::wstring(kFaultsBase) + query).c_str(), target.c_str()));
    std::string body;
    ASSERT_TRUE(ReadFileBytes(target, body));
    EXPECT_EQ(Narrow(query) + "\nMozila/4.0 (compatible; MSIE 5.0; KELDOR)\n", body);
    ::DeleteFileW(target.c_str());
}

TEST(HttpDownload, ReportsOpenAcceptEveryTenthReadAndEnd) {
    Recorder recorder;
    CHttpDownload http;
    http.SetCallback(&recorder);
    // 25 KiB with nothing written: the body is discarded.
    ASSERT_TRUE(http.Download((std::wstring(kFaultsBase) + L"/bytes?size=25600").c_str(), nullptr));
    ASSERT_GE(recorder.reports.size(), 4u);
    EXPECT_EQ(HTTP_PROGRESS_OPENED, recorder.reports.front().status);
    EXPECT_EQ(HTTP_PROGRESS_ACCEPTED, recorder.reports[1].status);
    EXPECT_EQ(HTTP_PROGRESS_FINISHED, recorder.reports.back().status);
    int previous = 0;
    for (size_t i = 2; i + 1 < recorder.reports.size(); ++i) {
        const Report& r = recorder.reports[i];
        EXPECT_EQ(HTTP_PROGRESS_RECEIVING, r.status);
        EXPECT_EQ(25600, r.total);
        EXPECT_GT(r.done, previous);
        EXPECT_LE(r.done, 25600);
        previous = r.done;
    }
    // The first read is always reported.
    EXPECT_EQ(HTTP_PROGRESS_RECEIVING, recorder.reports[2].status);
    EXPECT_LE(recorder.reports[2].done, 1024);
}

TEST(HttpDownload, NetworkPresenceIsReported) {
    // The test machine has a network interface with a route.
    EXPECT_TRUE(IsNetworkOnline());
}

}  // namespace
