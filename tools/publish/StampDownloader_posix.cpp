#include "tools/publish/StampDownloader.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsExecutable(const fs::path& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0 && fs::is_regular_file(path); }

// $VORLA_WINE, else wine64 or wine on PATH, else Debian's wine64 loader.
fs::path FindWine() {
    if (const char* chosen = std::getenv("VORLA_WINE"); chosen && *chosen) return IsExecutable(chosen) ? fs::path(chosen) : fs::path();
    if (const char* path = std::getenv("PATH")) {
        std::stringstream folders(path);
        std::string folder;
        std::vector<std::string> names = {"wine64", "wine"};
        for (const std::string& name : names) {
            folders.clear();
            folders.seekg(0);
            while (std::getline(folders, folder, ':')) {
                if (!folder.empty() && IsExecutable(fs::path(folder) / name)) return fs::path(folder) / name;
            }
        }
    }
    for (const char* known : {"/usr/lib/wine/wine64", "/usr/lib/wine/wine"})
        if (IsExecutable(known)) return known;
    return fs::path();
}

fs::path FindStampTool(const std::string& chosen, const std::string& original) {
    if (!chosen.empty()) return fs::u8path(chosen);
    std::vector<fs::path> places = {fs::absolute(fs::u8path(original)).parent_path()};
    std::error_code ignored;
    const fs::path self = fs::read_symlink("/proc/self/exe", ignored);
    if (!self.empty()) places.push_back(self.parent_path());
    for (const fs::path& place : places)
        if (fs::is_regular_file(place / "vorla-stamp.exe")) return place / "vorla-stamp.exe";
    return fs::path();
}

// Wine shows the Unix root as drive Z:.
std::string WindowsPath(const fs::path& path) {
    std::string text = "Z:" + fs::absolute(path).string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

// Runs argv with its output into `log`; the exit code, or -1.
int Run(const std::vector<std::string>& argv, const fs::path& log) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::close(out);
        }
        // Wine's own diagnostics are not ours to print unless asked for.
        ::setenv("WINEDEBUG", std::getenv("WINEDEBUG") ? std::getenv("WINEDEBUG") : "-all", 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool StampDownloaderCopy(const std::string& copy, const std::string& gameId, const std::string& original,
                         const std::string& stampTool, std::string* error) {
    const fs::path wine = FindWine();
    if (wine.empty()) {
        *error =
            "cannot stamp the downloader: Wine is not installed (wine64 not found; set VORLA_WINE to its loader). "
            "On Linux the stamping runs the Windows tool vorla-stamp.exe under Wine; install Wine, "
            "or publish without --downloader and stamp the copy on Windows with vorla-stamp";
        return false;
    }
    const fs::path tool = FindStampTool(stampTool, original);
    if (tool.empty() || !fs::is_regular_file(tool)) {
        *error = "cannot stamp the downloader: vorla-stamp.exe not found (give --stamp-tool, or keep it beside " +
                 original + ")";
        return false;
    }
    const fs::path log = fs::u8path(copy + ".stamp.log");
    const int code = Run({wine.string(), tool.string(), WindowsPath(fs::u8path(copy)), gameId}, log);
    std::ifstream in(log);
    std::stringstream output;
    output << in.rdbuf();
    in.close();
    std::error_code ignored;
    fs::remove(log, ignored);
    if (code == 0) return true;
    *error = "cannot stamp the downloader: " + wine.string() + " " + tool.string() + " ended with " +
             std::to_string(code) + (output.str().empty() ? std::string() : ":\n" + output.str());
    return false;
}
