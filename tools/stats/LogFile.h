// Reads an access log line by line: a plain file or a gzip-rotated part
// (access.log.2.gz), told apart by its content, not its name.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Longer than any line nginx writes (its request line and headers are
// bounded well below this): a longer one is not a log line.
const size_t kMaxLogLineBytes = 64 * 1024;

struct LogFileResult {
    bool opened = false;   // false: nothing of it could be read (missing, a folder, unreadable)
    bool complete = true;  // false when the file ended early or could not be read to its end
    std::string problem;   // what went wrong, for the operator
};

// Calls take(line) for each line (without its line end), the last one also
// when it has no line end. Lines are split at line ends only: a NUL or any
// other byte stays in its line. A line longer than kMaxLogLineBytes is
// passed cut to kMaxLogLineBytes + 1 bytes (the rest of it skipped), so the
// reader's memory stays bounded and the line is still seen as too long.
LogFileResult ReadLogFile(const std::string& path, const std::function<void(const std::string&)>& take);
