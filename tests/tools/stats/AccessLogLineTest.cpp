// The two log formats the portals write, and the lines that are neither.
#include "tools/stats/AccessLogLine.h"

#include <gtest/gtest.h>

namespace {

struct GoodLine {
    const char* text;
    const char* day;
    int64_t when;
    const char* method;
    const char* target;
    int status;
};

TEST(AccessLogLine, EachFormatYieldsDayRequestAndStatus) {
    const GoodLine cases[] = {
        {"203.0.113.7 - - [09/Dec/2026:19:20:01 +0000] \"GET /stat?action=1&game=7223&mid=A&ver=1.1.0.1005 "
         "HTTP/1.1\" 200 3 \"-\" \"Mozila/4.0 (compatible; MSIE 5.0; KELDOR)\"",
         "2026-12-09", 1796844001, "GET", "/stat?action=1&game=7223&mid=A&ver=1.1.0.1005", 200},
        // The server's local date is the day, whatever its zone.
        {"10.0.0.1 - bob [01/Jan/2027:00:30:00 +0800] \"GET /tool/down/7223.html HTTP/1.0\" 304 0 \"-\" \"a b\"",
         "2027-01-01", 1798734600, "GET", "/tool/down/7223.html", 304},
        // The common format ends after the byte count.
        {"::1 - - [28/Feb/2026:23:59:59 -0130] \"HEAD /x HTTP/1.1\" 404 -", "2026-02-28", 1772328599, "HEAD", "/x",
         404},
        // A request nginx could not read is still a line, with no request.
        {"198.51.100.2 - - [09/Dec/2026:01:00:00 +0000] \"\\x16\\x03\\x01\" 400 157 \"-\" \"-\"", "2026-12-09",
         1796778000, "", "", 400},
        {"GET /keldor/down_msg.html?action=setupbox&from=1&mid=A&ver=1 200 3 \"Mozila/4.0\" \"-\"", "", 0, "GET",
         "/keldor/down_msg.html?action=setupbox&from=1&mid=A&ver=1", 200},
        {"GET /games/7223/XingchenSetup.exe 206 1048576 \"Mozila/4.0\" \"bytes=0-1048575\"", "", 0, "GET",
         "/games/7223/XingchenSetup.exe", 206},
    };
    for (const GoodLine& c : cases) {
        SCOPED_TRACE(c.text);
        AccessLogLine line;
        ASSERT_TRUE(ParseAccessLogLine(c.text, line));
        EXPECT_EQ(line.dated, c.day[0] != '\0');
        EXPECT_EQ(line.day, c.day);
        EXPECT_EQ(line.when, c.when);
        EXPECT_EQ(line.method, c.method);
        EXPECT_EQ(line.target, c.target);
        EXPECT_EQ(line.status, c.status);
    }
}

TEST(AccessLogLine, LinesInNeitherFormatAreRefused) {
    const char* const cases[] = {
        "",
        "garbage",
        "\x01\x02\x03\xff",
        // cut short by a full disk or a crash
        "203.0.113.7 - - [09/Dec/2026:19:20:01 +0000] \"GET /stat?action=1&game=72",
        "203.0.113.7 - - [09/Dec/2026:19:20:01 +0000] \"GET /x HTTP/1.1\"",
        "203.0.113.7 - - [09/Dec/2026:19:20",
        // a time that is no time
        "203.0.113.7 - - [09/Foo/2026:19:20:01 +0000] \"GET /x HTTP/1.1\" 200 1 \"-\" \"-\"",
        "203.0.113.7 - - [32/Dec/2026:19:20:01 +0000] \"GET /x HTTP/1.1\" 200 1 \"-\" \"-\"",
        "203.0.113.7 - - [09/Dec/2026:25:20:01 +0000] \"GET /x HTTP/1.1\" 200 1 \"-\" \"-\"",
        "203.0.113.7 - - [09/Dec/2026:19:20:01] \"GET /x HTTP/1.1\" 200 1 \"-\" \"-\"",
        // a status that is no status
        "203.0.113.7 - - [09/Dec/2026:19:20:01 +0000] \"GET /x HTTP/1.1\" 2000 1 \"-\" \"-\"",
        "203.0.113.7 - - [09/Dec/2026:19:20:01 +0000] \"GET /x HTTP/1.1\" OK 1 \"-\" \"-\"",
        "GET /x 20 1 \"-\" \"-\"",
        "GET /x 200 many \"-\" \"-\"",
        "get /x 200 1 \"-\" \"-\"",
        "GET x 200 1 \"-\" \"-\"",
        "GET /x",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        AccessLogLine line;
        EXPECT_FALSE(ParseAccessLogLine(text, line));
    }
}

}  // namespace
