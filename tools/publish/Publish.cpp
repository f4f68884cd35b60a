#include "tools/publish/Publish.h"

#include "tools/publish/ConfigFile.h"
#include "tools/publish/FileDigests.h"
#include "tools/publish/NginxSnippet.h"
#include "tools/publish/ProgramVersion.h"
#include "tools/publish/PublishChecks.h"
#include "tools/publish/PublishRecord.h"
#include "tools/publish/SeedFiles.h"
#include "tools/publish/StampDownloader.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

int Refuse(std::ostream& err, const std::string& why) {
    err << "vorla-publish: refused: " << why << "\n";
    return kRefused;
}

int Fail(std::ostream& err, const std::string& why) {
    err << "vorla-publish: failed, nothing was published: " << why << "\n";
    return kFailed;
}

bool WriteFile(const fs::path& path, const std::string& bytes, std::string* error) {
    std::error_code failure;
    fs::create_directories(path.parent_path(), failure);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        *error = "cannot write " + path.u8string();
        return false;
    }
    return true;
}

// The staging folder: removed with everything in it when the publication
// does not complete.
class Staging {
public:
    explicit Staging(fs::path folder) : folder_(std::move(folder)) {}
    ~Staging() {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    const fs::path& Folder() const { return folder_; }
    fs::path operator/(const std::string& relative) const { return folder_ / fs::u8path(relative); }

private:
    fs::path folder_;
};

// Folders this run made, removed again (when still empty) if it fails.
class MadeFolders {
public:
    bool Make(const fs::path& folder) {
        std::vector<fs::path> missing;
        for (fs::path p = folder; !p.empty() && !fs::exists(p); p = p.parent_path()) {
            missing.push_back(p);
            if (p == p.parent_path()) break;
        }
        std::error_code failure;
        fs::create_directories(folder, failure);
        made_.insert(made_.end(), missing.begin(), missing.end());
        return !failure;
    }
    void Keep() { made_.clear(); }
    ~MadeFolders() {
        std::error_code ignored;
        for (const fs::path& p : made_) fs::remove(p, ignored);  // deepest first; only empty ones go
    }

private:
    std::vector<fs::path> made_;
};

// Moves a staged file over its target (replacing it).
bool MoveIntoPlace(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code failure;
    fs::create_directories(to.parent_path(), failure);
    fs::rename(from, to, failure);
    if (failure) {
        // Some platforms refuse to rename over an existing file.
        std::error_code again;
        fs::remove(to, again);
        fs::rename(from, to, failure);
    }
    if (failure) {
        *error = "cannot move " + from.u8string() + " to " + to.u8string() + ": " + failure.message();
        return false;
    }
    return true;
}

class ProgressLine {
public:
    ProgressLine(std::ostream& err, const std::string& name, bool terminal, bool quiet)
        : err_(err), name_(name), terminal_(terminal), quiet_(quiet), start_(Clock::now()), last_(start_) {}

    void Show(uint64_t done, uint64_t total) {
        if (quiet_) return;
        const Clock::time_point now = Clock::now();
        const auto wait = terminal_ ? std::chrono::milliseconds(200) : std::chrono::milliseconds(5000);
        if (done < total && now - last_ < wait) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        char line[256];
        std::snprintf(line, sizeof(line), "hashing %s: %.1f of %.1f MiB (%d%%), %.0f MB/s", name_.c_str(),
                      done / 1048576.0, total / 1048576.0, total ? static_cast<int>(done * 100 / total) : 100,
                      seconds > 0 ? done / 1e6 / seconds : 0.0);
        err_ << (terminal_ ? "\r" : "") << line << (terminal_ && done < total ? "" : "\n") << std::flush;
    }
    double MegabytesPerSecond(uint64_t bytes) const {
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        return seconds > 0 ? bytes / 1e6 / seconds : 0.0;
    }

private:
    std::ostream& err_;
    std::string name_;
    bool terminal_;
    bool quiet_;
    Clock::time_point start_;
    Clock::time_point last_;
};

std::string StagingName() {
    std::random_device random;
    return std::string("staging-") + std::to_string(random()) + std::to_string(random());
}

}  // namespace

int RunPublish(PublishOptions o, std::ostream& out, std::ostream& err, bool progressOnTerminal) {
    while (!o.baseUrl.empty() && o.baseUrl.back() == '/') o.baseUrl.pop_back();
    std::string why = CheckPublishOptions(o);
    if (!why.empty()) return Refuse(err, why);

    std::error_code failure;
    const fs::path installer = fs::u8path(o.installer);
    if (!fs::exists(installer, failure)) return Refuse(err, "the installer " + o.installer + " does not exist");
    if (!fs::is_regular_file(installer, failure)) return Refuse(err, "the installer " + o.installer + " is not a file");
    if (fs::file_size(installer, failure) == 0 || failure) return Refuse(err, "the installer " + o.installer + " is empty");
    if (!o.skinFile.empty() && !fs::is_regular_file(fs::u8path(o.skinFile), failure))
        return Refuse(err, "the skin image " + o.skinFile + " does not exist");
    if (!o.downloader.empty() && !fs::is_regular_file(fs::u8path(o.downloader), failure))
        return Refuse(err, "the downloader " + o.downloader + " does not exist");
    // NewVersion: what the published downloader must not call outdated.
    if (!o.downloader.empty()) {
        std::string own;
        if (!ReadProgramVersion(o.downloader, &own, &why)) return Refuse(err, why);
        if (o.minVersion.empty()) o.minVersion = own;
        why = OutdatedBecause(own, o.minVersion);
        if (!why.empty()) return Refuse(err, why + ": every copy would ask for a newer downloader");
    } else if (o.minVersion.empty()) {
        return Refuse(err, "give --min-version (the downloader's version, such as 1.1.0.1005) or --downloader");
    }
    const fs::path root = fs::absolute(fs::u8path(o.out), failure);
    if (fs::exists(root) && !fs::is_directory(root)) return Refuse(err, "the output " + o.out + " is not a folder");

    const std::string installerName = o.installerName.empty() ? installer.filename().u8string() : o.installerName;
    why = CheckServedFileName(installerName, "the installer's file name");
    if (why.empty() && !o.downloader.empty())
        why = CheckServedFileName(fs::u8path(o.downloader).filename().u8string(), "the downloader's file name");
    if (!why.empty()) return Refuse(err, why);

    // The layout, relative to the portal's folder and to its base URL.
    const std::string gameFolder = "games/" + o.gameId + "/";
    const std::string installerPath = gameFolder + installerName;
    const std::string seedPath = installerPath + ".meta4";
    const std::string torrentPath = installerPath + ".torrent";
    const std::string configPath = "tool/down/" + o.gameId + ".html";
    const std::string skinPath = o.skinFile.empty() ? std::string() : "skin/" + o.gameId + ".png";
    const std::string downloaderName = o.downloader.empty() ? std::string() : fs::u8path(o.downloader).filename().u8string();
    const std::string downloaderPath = o.downloader.empty() ? std::string() : "downloader/" + o.gameId + "/" + downloaderName;
    const std::string nginxPath = "nginx/" + o.gameId + ".conf";
    const std::string statsNginxPath = "nginx/stats.conf";
    const std::string recordPath = std::string(kRecordFolder) + "/" + o.gameId + ".files";

    std::vector<std::string> files = {configPath, installerPath, seedPath, torrentPath, nginxPath};
    if (!skinPath.empty()) files.push_back(skinPath);
    if (!downloaderPath.empty()) files.push_back(downloaderPath);

    ComputedValues computed;
    computed.downloadLink = o.baseUrl + "/" + installerPath;
    const bool torrentSeed = o.seed == PublishOptions::Seed::Torrent ||
                             (o.seed == PublishOptions::Seed::Auto && !o.tracker.empty());
    computed.seedUrl = o.baseUrl + "/" + (torrentSeed ? torrentPath : seedPath);
    computed.skinLink = skinPath.empty() ? o.skinLink : o.baseUrl + "/" + skinPath;
    computed.gameMd5 = std::string(32, '0');
    computed.gameSize = 1;
    // The texts are checked before any byte is read: the computed values
    // are plain ASCII and change nothing about what fits.
    std::string configBytes;
    if (!EncodeConfig(BuildConfigEntries(o, computed), o.encoding, &configBytes, &why)) return Refuse(err, why);

    if (!o.force) {
        const std::vector<Overwrite> overwrites = FindOverwrites(o.out, o.gameId, files);
        if (!overwrites.empty()) {
            std::string list;
            for (const Overwrite& overwrite : overwrites) list += "\n  " + overwrite.path + " (" + overwrite.owner + ")";
            return Refuse(err, "the output folder " + o.out + " already holds files this game's publication would "
                               "overwrite (--force replaces them):" + list);
        }
    }

    // From here on everything goes into the staging folder first.
    MadeFolders made;
    if (!made.Make(root / kRecordFolder)) return Fail(err, "cannot create " + (root / kRecordFolder).u8string());
    Staging staging(root / kRecordFolder / StagingName());
    if (!fs::create_directories(staging.Folder(), failure) || failure)
        return Fail(err, "cannot create " + staging.Folder().u8string());

    // The portal's copy of the installer: a hard link where the folders
    // share a file system, else written as it is read.
    const fs::path stagedInstaller = staging / installerPath;
    fs::create_directories(stagedInstaller.parent_path(), failure);
    std::error_code linkFailure;
    fs::create_hard_link(installer, stagedInstaller, linkFailure);
    ProgressLine progress(err, installerName, progressOnTerminal, o.quiet);
    FileDigests digests;
    if (!DigestFile(o.installer, o.pieceLength, linkFailure ? stagedInstaller.u8string() : std::string(),
                    [&](uint64_t done, uint64_t total) { progress.Show(done, total); }, &digests, &why))
        return Fail(err, why);
    const double rate = progress.MegabytesPerSecond(digests.size);

    computed.gameSize = digests.size;
    computed.gameMd5 = digests.md5Tail;
    if (!EncodeConfig(BuildConfigEntries(o, computed), o.encoding, &configBytes, &why)) return Refuse(err, why);

    std::vector<std::string> copies = {computed.downloadLink};
    copies.insert(copies.end(), o.mirrors.begin(), o.mirrors.end());
    NginxPaths nginx{o.gameId, UrlPath(o.baseUrl), root.u8string(), installerName, downloaderName, !skinPath.empty()};
    const std::string statsUrl = o.statsUrl.empty() ? o.baseUrl + "/stat" : o.statsUrl;

    std::map<std::string, std::string> texts = {
        {configPath, configBytes},
        {seedPath, BuildMetalink(installerName, digests, copies)},
        {torrentPath, BuildTorrent(installerName, digests, copies, o.tracker)},
        {nginxPath, GameNginxSnippet(nginx)},
        {recordPath, RecordText(files)},
    };
    const bool writeStatsSnippet = !fs::exists(root / statsNginxPath) && UrlOrigin(statsUrl) == UrlOrigin(o.baseUrl);
    if (writeStatsSnippet) texts[statsNginxPath] = StatsNginxSnippet(UrlPath(o.baseUrl), UrlPath(statsUrl));
    for (const auto& text : texts)
        if (!WriteFile(staging / text.first, text.second, &why)) return Fail(err, why);

    if (!skinPath.empty()) {
        fs::create_directories((staging / skinPath).parent_path(), failure);
        if (!fs::copy_file(fs::u8path(o.skinFile), staging / skinPath, failure) || failure)
            return Fail(err, "cannot copy the skin image: " + failure.message());
    }
    if (!downloaderPath.empty()) {
        const fs::path copy = staging / downloaderPath;
        fs::create_directories(copy.parent_path(), failure);
        if (!fs::copy_file(fs::u8path(o.downloader), copy, failure) || failure)
            return Fail(err, "cannot copy the downloader: " + failure.message());
        if (!StampDownloaderCopy(copy.u8string(), o.gameId, o.downloader, o.stampTool, &why)) return Fail(err, why);
    }

    // Into place: the files a downloader fetches first come last, so a
    // configuration is never served before its installer and seed.
    std::vector<std::string> order = {installerPath, seedPath, torrentPath};
    if (!skinPath.empty()) order.push_back(skinPath);
    if (!downloaderPath.empty()) order.push_back(downloaderPath);
    order.push_back(nginxPath);
    if (writeStatsSnippet) order.push_back(statsNginxPath);
    order.push_back(recordPath);
    order.push_back(configPath);
    for (const std::string& file : order)
        if (!MoveIntoPlace(staging / file, root / fs::u8path(file), &why)) return Fail(err, why);
    made.Keep();

    out << "published game " << o.gameId << " into " << root.u8string() << "\n"
        << "  configuration  " << configPath << " ("
        << (o.encoding == ConfigEncoding::Gbk ? "GBK" : "UTF-16LE with a byte-order mark") << ")\n"
        << "  installer      " << installerPath << " (" << digests.size << " bytes, hashed at "
        << static_cast<long long>(rate) << " MB/s)\n"
        << "  GameMd5        " << digests.md5Tail << "\n"
        << "  SHA-256        " << digests.sha256 << "\n"
        << "  Metalink seed  " << seedPath << " (" << digests.sha256Pieces.size() << " pieces of "
        << digests.pieceLength << " bytes)\n"
        << "  torrent        " << torrentPath << " (info hash " << TorrentInfoHash(installerName, digests) << ")\n";
    if (!downloaderPath.empty()) out << "  downloader     " << downloaderPath << " (stamped " << o.gameId << ")\n";
    if (!skinPath.empty()) out << "  skin           " << skinPath << "\n";
    out << "  nginx          " << nginxPath << (writeStatsSnippet ? " and " + statsNginxPath : std::string()) << "\n"
        << "  served at      " << o.baseUrl << "/" << configPath << "\n";
    return kPublished;
}
