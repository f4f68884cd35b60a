#include "tools/stats/AccessLogLine.h"

#include <cstdio>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the text with the few moves the two formats need.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

    // A run of characters other than space; false when empty.
    bool Token(std::string& out) {
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ' ') ++pos_;
        out.assign(text_, start, pos_ - start);
        return pos_ > start;
    }
    bool Space() {
        if (Peek() != ' ') return false;
        while (Peek() == ' ') ++pos_;
        return true;
    }
    bool Char(char c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    // Everything up to the next c, which is consumed.
    bool Until(char c, std::string& out) {
        size_t end = text_.find(c, pos_);
        if (end == std::string::npos) return false;
        out.assign(text_, pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }
    // The three-digit status.
    bool Status(int& status) {
        if (pos_ + 3 > text_.size() || !IsDigit(text_[pos_]) || !IsDigit(text_[pos_ + 1]) ||
            !IsDigit(text_[pos_ + 2]))
            return false;
        status = (text_[pos_] - '0') * 100 + (text_[pos_ + 1] - '0') * 10 + (text_[pos_ + 2] - '0');
        pos_ += 3;
        return AtEnd() || Peek() == ' ';
    }
    // The byte count: digits, or "-".
    bool Bytes() {
        if (Char('-')) return AtEnd() || Peek() == ' ';
        size_t start = pos_;
        while (IsDigit(Peek())) ++pos_;
        return pos_ > start && (AtEnd() || Peek() == ' ');
    }

private:
    const std::string& text_;
    size_t pos_ = 0;
};

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Number(const std::string& s, size_t at, size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!IsDigit(s[i])) return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// "09/Dec/2026:19:20:01 +0800".
bool ParseTime(const std::string& s, AccessLogLine& line) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (s.size() != 26 || s[2] != '/' || s[6] != '/' || s[11] != ':' || s[14] != ':' || s[17] != ':' ||
        s[20] != ' ' || (s[21] != '+' && s[21] != '-'))
        return false;
    int day, year, hour, minute, second, zoneHours, zoneMinutes;
    if (!Number(s, 0, 2, day) || !Number(s, 7, 4, year) || !Number(s, 12, 2, hour) || !Number(s, 15, 2, minute) ||
        !Number(s, 18, 2, second) || !Number(s, 22, 2, zoneHours) || !Number(s, 24, 2, zoneMinutes))
        return false;
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (s.compare(3, 3, kMonths[i]) == 0) month = i + 1;
    }
    if (month == 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || zoneMinutes > 59) return false;
    const int64_t zone = (zoneHours * 60 + zoneMinutes) * 60 * (s[21] == '-' ? -1 : 1);
    line.dated = true;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    line.day = text;
    line.when = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - zone;
    return true;
}

// "GET /path?query HTTP/1.1"; a request nginx could not read ("-", bytes of
// another protocol) leaves method and target empty but is still a line.
void SplitRequest(const std::string& request, AccessLogLine& line) {
    line.method.clear();
    line.target.clear();
    size_t space = request.find(' ');
    if (space == std::string::npos) return;
    size_t end = request.find(' ', space + 1);
    line.method = request.substr(0, space);
    line.target = request.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
}

bool ParseCombined(const std::string& text, AccessLogLine& line) {
    Scanner in(text);
    std::string ignored, time, request;
    if (!in.Token(line.address) || !in.Space() || !in.Token(ignored) || !in.Space() || !in.Token(ignored) ||
        !in.Space())
        return false;
    if (!in.Char('[') || !in.Until(']', time) || !ParseTime(time, line)) return false;
    if (!in.Space() || !in.Char('"') || !in.Until('"', request)) return false;
    if (!in.Space() || !in.Status(line.status) || !in.Space() || !in.Bytes()) return false;
    SplitRequest(request, line);
    return true;
}

bool IsMethod(const std::string& s) {
    if (s.empty() || s.size() > 16) return false;
    for (char c : s) {
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

bool ParseShort(const std::string& text, AccessLogLine& line) {
    Scanner in(text);
    line.address.clear();
    line.dated = false;
    line.day.clear();
    line.when = 0;
    if (!in.Token(line.method) || !IsMethod(line.method) || !in.Space()) return false;
    if (!in.Token(line.target) || line.target.empty() || line.target[0] != '/' || !in.Space()) return false;
    if (!in.Status(line.status) || !in.Space() || !in.Bytes()) return false;
    // Then the quoted agent and range.
    return in.AtEnd() || (in.Space() && in.Peek() == '"');
}

}  // namespace

bool ParseAccessLogLine(const std::string& text, AccessLogLine& line) {
    line = AccessLogLine();
    if (text.empty()) return false;
    if (ParseCombined(text, line)) return true;
    line = AccessLogLine();
    return ParseShort(text, line);
}
