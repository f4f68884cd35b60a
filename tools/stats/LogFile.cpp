#include "tools/stats/LogFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct GzCloser {
    void operator()(gzFile file) const { gzclose(file); }
};
typedef std::unique_ptr<gzFile_s, GzCloser> ScopedGzFile;

}  // namespace

LogFileResult ReadLogFile(const std::string& path, const std::function<void(const std::string&)>& take) {
    LogFileResult result;
    errno = 0;
    // zlib reads a file without the gzip mark as it is.
    ScopedGzFile file(gzopen(path.c_str(), "rb"));
    if (!file) {
        result.problem = errno ? std::strerror(errno) : "cannot open";
        return result;
    }
    gzbuffer(file.get(), 1 << 17);
    result.opened = true;

    std::string line;
    char buffer[8192];
    for (;;) {
        if (!gzgets(file.get(), buffer, sizeof buffer)) break;
        size_t length = std::strlen(buffer);
        if (length > 0 && buffer[length - 1] == '\n') {
            line.append(buffer, length - 1);
            take(line);
            line.clear();
        } else {
            line.append(buffer, length);  // a longer line continues in the next read
        }
    }
    if (!line.empty()) take(line);
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (code != Z_OK && code != Z_STREAM_END) {
        result.complete = false;
        result.problem = message && *message ? message : "read error";
    }
    return result;
}
