// One line of a portal's nginx access log, in either of the two formats the
// portals write:
//   combined:  addr - user [09/Dec/2026:19:20:01 +0800] "GET /x HTTP/1.1" 200 5 "ref" "agent"
//              (the common format, without referrer and agent, is read too)
//   short:     GET /x 200 5 "agent" "range"
//              (our loopback portal's format; it carries no time, so its
//              lines count on no particular day)
#pragma once

#include <cstdint>
#include <string>

struct AccessLogLine {
    std::string address;  // client address; empty in the short format
    bool dated = false;
    std::string day;      // "2026-12-09", the server's local date; empty when undated
    int64_t when = 0;     // seconds since 1970 in UTC, for ordering; 0 when undated
    std::string method;   // "GET"
    std::string target;   // "/stat?action=1&game=7223&..."; may be empty for a broken request
    int status = 0;
};

// Parses text (without its line end) into line. False when the text is in
// neither format; line is then unspecified.
bool ParseAccessLogLine(const std::string& text, AccessLogLine& line);
