#include "tools/stats/LogFile.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

struct GzCloser {
    void operator()(gzFile file) const { gzclose(file); }
};
typedef std::unique_ptr<gzFile_s, GzCloser> ScopedGzFile;

const unsigned kReadBytes = 1 << 16;

}  // namespace

LogFileResult ReadLogFile(const std::string& path, const std::function<void(const std::string&)>& take) {
    LogFileResult result;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR) {
        result.problem = "it is a folder";
        return result;
    }
    errno = 0;
    // zlib reads a file without the gzip mark as it is.
    ScopedGzFile file(gzopen(path.c_str(), "rb"));
    if (!file) {
        result.problem = errno ? std::strerror(errno) : "cannot open";
        return result;
    }
    gzbuffer(file.get(), 1 << 17);

    std::vector<char> buffer(kReadBytes);
    std::string line;
    bool any = false;
    int got;
    while ((got = gzread(file.get(), buffer.data(), kReadBytes)) > 0) {
        any = true;
        const char* at = buffer.data();
        const char* end = at + got;
        while (at < end) {
            const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            const char* stop = newline ? newline : end;
            const size_t room = kMaxLogLineBytes + 1 - line.size();
            line.append(at, std::min(room, static_cast<size_t>(stop - at)));
            if (!newline) break;
            take(line);
            line.clear();
            at = newline + 1;
        }
    }
    if (!line.empty()) take(line);
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (got < 0 || (code != Z_OK && code != Z_STREAM_END)) {
        const std::string why = code == Z_ERRNO ? std::strerror(errno) : message && *message ? message : "read error";
        if (!any) {
            result.problem = why;
            return result;
        }
        result.complete = false;
        result.problem = why;
    }
    result.opened = true;
    return result;
}
