// Reads an access log line by line: a plain file or a gzip-rotated part
// (access.log.2.gz), told apart by its content, not its name.
#pragma once

#include <functional>
#include <string>

struct LogFileResult {
    bool opened = false;
    bool complete = true;  // false when the file ended early or could not be read to its end
    std::string problem;   // what went wrong, for the operator
};

// Calls take(line) for each line (without its line end), the last one also
// when it has no line end.
LogFileResult ReadLogFile(const std::string& path, const std::function<void(const std::string&)>& take);
