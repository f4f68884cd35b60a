// The HTTP transfer against nginx (127.0.0.1:17223) and the fault-injecting
// server (127.0.0.1:17224).
#include "engine/HttpDownload.h"

#include "config/DownloaderConfig.h"
#include "base/HttpRedirect.h"
#include "tests/support/RootCertificate.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>


#include <cstring>
#include <cwchar>
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

size_t CountLinesStartingWith(const std::wstring& path, const std::string& start) {
    size_t count = 0;
    for (const std::string& line : ReadLines(path)) count += line.compare(0, start.size(), start) == 0 ? 1 : 0;
    return count;
}

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

TEST(HttpDownload, BodyLargerThanTheLimitIsRefusedAnnouncedOrNot) {
    const uint64_t limit = 1 << 20;
    const struct {
        const wchar_t* route;
        uint64_t size;
        bool accepted;
    } cases[] = {
        {L"/bytes", limit, true},
        {L"/bytes", limit + 1, false},
        {L"/nolength", limit, true},
        {L"/nolength", limit + 1, false},
        {L"/nolength", 8 * limit, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.route) + " " + std::to_string(c.size));
        const std::wstring target = Target(L"limited.bin");
        CHttpDownload http;
        http.SetTimeout(10000);
        http.SetBodyLimit(limit);
        const std::wstring url = std::wstring(kFaultsBase) + c.route + L"?size=" + std::to_wstring(c.size);
        EXPECT_EQ(c.accepted, http.Download(url.c_str(), target.c_str()));
        EXPECT_LE(FileSize(target), limit);
        EXPECT_TRUE(::DeleteFileW(target.c_str()));
    }
}

TEST(HttpDownloadRedirect, OnlyHttpAndHttpsAreFollowedAndHttpsNeverBackToHttp) {
    const struct {
        const wchar_t* from;
        const wchar_t* to;
        bool follow;
    } cases[] = {
        {L"http://a/x", L"http://b/y", true},
        {L"http://a/x", L"https://b/y", true},
        {L"https://a/x", L"https://b/y", true},
        {L"HTTPS://a/x", L"HTTPS://a/y", true},
        {L"https://a/x", L"http://a/x", false},
        {L"https://a/x", L"HTTP://a/x", false},
        {L"http://a/x", L"ftp://a/x", false},
        {L"http://a/x", L"file:///C:/x", false},
        {L"http://a/x", L"javascript:alert(1)", false},
        {L"http://a/x", L"/relative", false},  // targets are resolved before they are judged
        {L"http://a/x", L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.follow, MayFollowRedirect(c.from, c.to)) << Narrow(c.from) << " -> " << Narrow(c.to);
    }
    for (unsigned long status : {301ul, 302ul, 303ul, 307ul, 308ul}) EXPECT_TRUE(IsRedirectStatus(status));
    for (unsigned long status : {200ul, 300ul, 304ul, 305ul, 306ul, 404ul}) EXPECT_FALSE(IsRedirectStatus(status));
}

TEST(HttpDownload, RedirectsOverPlainHttpAreFollowed) {
    const std::wstring target = Target(L"redirected.txt");
    for (const wchar_t* to : {L"/echo?hop=relative", L"http://127.0.0.1:17224/echo?hop=absolute"}) {
        SCOPED_TRACE(Narrow(to));
        CHttpDownload http;
        ASSERT_TRUE(http.Download((std::wstring(kFaultsBase) + L"/redirect?code=301&to=" + to).c_str(),
                                  target.c_str()));
        EXPECT_EQ(200u, http.GetLastStatus());
        std::string body;
        ASSERT_TRUE(ReadFileBytes(target, body));
        EXPECT_EQ(0u, body.find(Narrow(to).substr(Narrow(to).find("/echo"))));
    }
    ::DeleteFileW(target.c_str());
}

TEST(HttpDownload, RedirectsEndAfterEightHopsAndNeverLeaveTheWeb) {
    const std::wstring target = Target(L"loop.bin");
    const size_t before = CountLinesContaining(FaultsLogPath(), "/loop?n=");
    CHttpDownload http;
    EXPECT_FALSE(http.Download((std::wstring(kFaultsBase) + L"/loop?n=0").c_str(), target.c_str()));
    EXPECT_EQ(302u, http.GetLastStatus());
    EXPECT_EQ(before + 1 + kMaxHttpRedirects, CountLinesContaining(FaultsLogPath(), "/loop?n="));
    EXPECT_EQ(0u, FileSize(target));
    EXPECT_FALSE(http.Download((std::wstring(kFaultsBase) + L"/redirect?to=ftp://127.0.0.1/x").c_str(),
                               target.c_str()));
    ::DeleteFileW(target.c_str());
}

// The fault server's HTTPS listener (127.0.0.1:17225) uses a certificate it
// made at start; the suite trusts it in this prefix's current-user root
// store while it runs, before anything in this process checks a chain.
class HttpsRedirectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring der = Target(L"faults-cert.der");
        CHttpDownload http;
        std::string bytes;
        if (!http.Download((std::wstring(kFaultsBase) + L"/tls/cert.der").c_str(), der.c_str()) ||
            !ReadFileBytes(der, bytes)) {
            return;
        }
        ::DeleteFileW(der.c_str());
        root_ = new ScopedRootCertificate(bytes, HKEY_CURRENT_USER);
    }
    static void TearDownTestSuite() {
        delete root_;
        root_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(root_ && root_->Trusted()) << "the fault server's certificate is not trusted"; }

    static ScopedRootCertificate* root_;  // owned
};
ScopedRootCertificate* HttpsRedirectTest::root_ = nullptr;

const wchar_t kSecureFaultsBase[] = L"https://127.0.0.1:17225";

TEST_F(HttpsRedirectTest, PlainHttpMayLeadToHttps) {
    const std::wstring target = Target(L"to-https.txt");
    CHttpDownload http;
    http.SetTimeout(10000);
    ASSERT_TRUE(http.Download(
        (std::wstring(kFaultsBase) + L"/redirect?to=" + kSecureFaultsBase + L"/echo?over=tls").c_str(),
        target.c_str()));
    EXPECT_EQ(200u, http.GetLastStatus());
    std::string body;
    ASSERT_TRUE(ReadFileBytes(target, body));
    EXPECT_EQ(0u, body.find("/echo?over=tls\n"));
    ::DeleteFileW(target.c_str());
}

TEST_F(HttpsRedirectTest, HttpsFirstOnlyWhenAllowed) {
    const std::wstring target = Target(L"https-first.txt");
    const std::wstring url = std::wstring(kSecureFaultsBase) + L"/echo?first=tls";
    CHttpDownload http;
    http.SetTimeout(10000);
    EXPECT_FALSE(http.Download(url.c_str(), target.c_str()));
    http.AllowSecure(true);
    ASSERT_TRUE(http.Download(url.c_str(), target.c_str()));
    std::string body;
    ASSERT_TRUE(ReadFileBytes(target, body));
    EXPECT_EQ(0u, body.find("/echo?first=tls\n"));
    ::DeleteFileW(target.c_str());
}

TEST_F(HttpsRedirectTest, HttpsNeverFallsBackToPlainHttp) {
    const std::wstring target = Target(L"back-to-http.txt");
    const std::string marker = "fallback-" + std::to_string(::GetTickCount64());
    // http -> https -> http: the last hop is refused and never requested.
    const std::wstring url = std::wstring(kFaultsBase) + L"/redirect?to=" + kSecureFaultsBase +
                             L"/redirect?to=http://127.0.0.1:17224/echo?" + Widen(marker);
    CHttpDownload http;
    http.SetTimeout(10000);
    EXPECT_FALSE(http.Download(url.c_str(), target.c_str()));
    EXPECT_EQ(302u, http.GetLastStatus());
    EXPECT_EQ(1u, CountLinesStartingWith(FaultsLogPath(), "/redirect?to=http://127.0.0.1:17224/echo?" + marker));
    EXPECT_EQ(0u, CountLinesStartingWith(FaultsLogPath(), "/echo?" + marker));
    EXPECT_EQ(0u, FileSize(target));
    ::DeleteFileW(target.c_str());
}

TEST(HttpDownload, NetworkPresenceIsReported) {
    // The test machine has a network interface with a route.
    EXPECT_TRUE(IsNetworkOnline());
}

}  // namespace
