#include "tools/publish/StampDownloader.h"

#include "tools/publish/Subprocess.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// $VORLA_WINE, else wine64 or wine on PATH, else Debian's wine64 loader.
fs::path FindWine() {
    if (const char* chosen = std::getenv("VORLA_WINE"); chosen && *chosen)
        return IsExecutableFile(chosen) ? fs::path(chosen) : fs::path();
    const std::string found = FindOnPath({"wine64", "wine"});
    if (!found.empty()) return found;
    for (const char* known : {"/usr/lib/wine/wine64", "/usr/lib/wine/wine"})
        if (IsExecutableFile(known)) return known;
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

}  // namespace

bool CanStampDownloader(const std::string& original, const std::string& stampTool, std::string* error) {
    if (FindWine().empty()) {
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
    return true;
}

bool StampDownloaderCopy(const std::string& copy, const std::string& gameId, const std::string& original,
                         const std::string& stampTool, std::string* error) {
    if (!CanStampDownloader(original, stampTool, error)) return false;
    const fs::path wine = FindWine();
    const fs::path tool = FindStampTool(stampTool, original);
    std::string output;
    const int code = RunProgram({wine.string(), tool.string(), WindowsPath(fs::u8path(copy)), gameId}, &output);
    if (code == 0) return true;
    *error = "cannot stamp the downloader: " + wine.string() + " " + tool.string() + " ended with " +
             std::to_string(code) + (output.empty() ? std::string() : ":\n" + output);
    return false;
}
