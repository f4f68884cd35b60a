#include "tools/publish/Publish.h"

#include "tools/publish/Authenticode.h"
#include "tools/publish/ConfigFile.h"
#include "tools/publish/ConfigSigner.h"
#include "tools/publish/DownloaderKeys.h"
#include "tools/publish/FileDigests.h"
#include "tools/publish/NginxSnippet.h"
#include "tools/publish/ProgramVersion.h"
#include "tools/publish/PublishChecks.h"
#include "tools/publish/PublishInstall.h"
#include "tools/publish/PublishRecord.h"
#include "tools/publish/SeedFiles.h"
#include "tools/publish/StampDownloader.h"

#include "base/SeedLimits.h"
#include "codec/Sha256.h"

#include <algorithm>
#include <cctype>
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

// A generation's name: the first 16 hexadecimal digits of the SHA-256 of
// everything the configuration and the seeds are made of besides their
// URLs. The same content is the same generation; any change is another.
std::string GenerationName(const std::vector<std::string>& parts) {
    CSha256 sha;
    for (const std::string& part : parts) {
        sha.Update(part.data(), part.size());
        sha.Update("\n", 1);
    }
    uint8_t digest[CSha256::kDigestBytes];
    sha.Final(digest);
    return HexText(digest, 8);
}

bool FileSha256(const std::string& path, std::string* hex) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) return false;
    CSha256 sha;
    std::vector<char> block(1 << 16);
    while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0)
        sha.Update(block.data(), size_t(in.gcount()));
    uint8_t digest[CSha256::kDigestBytes];
    sha.Final(digest);
    *hex = HexText(digest, sizeof(digest));
    return true;
}

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
    why = CheckNginxPath(root.u8string());
    if (!why.empty()) return Refuse(err, why);

    const std::string installerName = o.installerName.empty() ? installer.filename().u8string() : o.installerName;
    why = CheckServedFileName(installerName, "the installer's file name");
    if (why.empty() && !o.downloader.empty())
        why = CheckServedFileName(fs::u8path(o.downloader).filename().u8string(), "the downloader's file name");
    if (!why.empty()) return Refuse(err, why);

    // What else the publication needs, found before a byte of the installer
    // is read: the stamping, the keys, the installer's own signature.
    if (!o.downloader.empty() && !CanStampDownloader(o.downloader, o.stampTool, &why)) return Refuse(err, why);
    const bool signing = !o.signKey.empty();
    std::string publicKey;
    if (signing && !PublicKeyHex(o.signKey, &publicKey, &why)) return Refuse(err, why);
    // A downloader built with keys takes only a configuration one of them signed.
    if (!o.downloader.empty()) {
        std::vector<std::string> keys;
        if (!ReadDownloaderKeys(o.downloader, &keys, &why)) return Refuse(err, why);
        std::transform(publicKey.begin(), publicKey.end(), publicKey.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        if (!keys.empty() && !signing)
            return Refuse(err, o.downloader + " takes only a signed configuration: give --sign-key with one of the "
                               "keys it was built with");
        if (!keys.empty() && std::find(keys.begin(), keys.end(), publicKey) == keys.end())
            return Refuse(err, "--sign-key " + o.signKey + " is not one of the keys " + o.downloader +
                               " was built with: it would refuse the configuration at every start");
    }
    if (!o.codesignCert.empty()) {
        for (const std::string* file : {&o.codesignCert, &o.codesignKey})
            if (!fs::is_regular_file(fs::u8path(*file), failure)) return Refuse(err, "cannot read " + *file);
    }
    if (!o.signer.empty() && !InstallerSignedBy(o.installer, o.signer, o.signerRoots, &why))
        return Refuse(err, why + "; GameSigner would make every downloader refuse it");
    std::string skinSha256;
    if (!o.skinFile.empty() && !FileSha256(o.skinFile, &skinSha256)) return Refuse(err, "cannot read " + o.skinFile);

    const std::string configPath = "tool/down/" + o.gameId + ".html";
    const std::string signaturePath = configPath + ".sig";
    const std::string downloaderName = o.downloader.empty() ? std::string() : fs::u8path(o.downloader).filename().u8string();
    const std::string downloaderPath = o.downloader.empty() ? std::string() : "downloader/" + o.gameId + "/" + downloaderName;
    const std::string nginxPath = "nginx/" + o.gameId + ".conf";
    const std::string statsNginxPath = "nginx/stats.conf";
    const std::string recordPath = std::string(kRecordFolder) + "/" + o.gameId + ".files";
    const PublicationRecord earlier = ReadRecord(o.out, o.gameId);

    // The texts are checked before any byte is read: the computed values
    // are plain ASCII and change nothing about what fits.
    ComputedValues computed;
    computed.downloadLink = o.baseUrl + "/games/" + o.gameId + "/0000000000000000/" + installerName;
    computed.seedUrl = computed.downloadLink + ".torrent";
    computed.skinLink = o.skinFile.empty() ? o.skinLink : o.baseUrl + "/games/" + o.gameId + "/skin.png";
    computed.gameMd5 = std::string(32, '0');
    computed.gameSize = 1;
    if (signing || o.requireSha256) computed.gameSha256 = std::string(64, '0');
    std::string configBytes;
    if (!EncodeConfig(BuildConfigEntries(o, computed), o.encoding, &configBytes, &why)) return Refuse(err, why);

    // From here on everything goes into the staging folder first.
    MadeFolders made;
    if (!made.Make(root / kRecordFolder)) return Fail(err, "cannot create " + (root / kRecordFolder).u8string());
    Staging staging(root / kRecordFolder / StagingName());
    if (!fs::create_directories(staging.Folder(), failure) || failure)
        return Fail(err, "cannot create " + staging.Folder().u8string());

    // The portal's copy of the installer is written as it is read: a later
    // edit of the operator's file never changes what the portal serves.
    const fs::path stagedInstaller = staging / ("incoming/" + installerName);
    fs::create_directories(stagedInstaller.parent_path(), failure);
    ProgressLine progress(err, installerName, progressOnTerminal, o.quiet);
    FileDigests digests;
    if (!DigestFile(o.installer, o.pieceLength, stagedInstaller.u8string(),
                    [&](uint64_t done, uint64_t total) { progress.Show(done, total); }, &digests, &why))
        return Fail(err, why);
    const double rate = progress.MegabytesPerSecond(digests.size);

    std::string mirrors;
    for (const std::string& mirror : o.mirrors) mirrors += mirror + " ";
    const std::string generation = GenerationName({digests.sha256, skinSha256, installerName, o.baseUrl, mirrors,
                                                   o.tracker, std::to_string(digests.pieceLength)});
    const std::string generationFolder = "games/" + o.gameId + "/" + generation;
    const std::string installerPath = generationFolder + "/" + installerName;
    const std::string seedPath = installerPath + ".meta4";
    const std::string torrentPath = installerPath + ".torrent";
    const std::string skinPath = o.skinFile.empty() ? std::string() : generationFolder + "/skin.png";

    computed.downloadLink = o.baseUrl + "/" + installerPath;
    const bool torrentSeed = o.seed == PublishOptions::Seed::Torrent ||
                             (o.seed == PublishOptions::Seed::Auto && !o.tracker.empty());
    computed.seedUrl = o.baseUrl + "/" + (torrentSeed ? torrentPath : seedPath);
    computed.skinLink = skinPath.empty() ? o.skinLink : o.baseUrl + "/" + skinPath;
    computed.gameSize = digests.size;
    computed.gameMd5 = digests.md5Tail;
    if (signing || o.requireSha256) computed.gameSha256 = digests.sha256;
    if (!EncodeConfig(BuildConfigEntries(o, computed), o.encoding, &configBytes, &why)) return Refuse(err, why);

    std::vector<std::string> copies = {computed.downloadLink};
    copies.insert(copies.end(), o.mirrors.begin(), o.mirrors.end());
    const std::string metalink = BuildMetalink(installerName, digests, copies);
    const std::string torrent = BuildTorrent(installerName, digests, copies, o.tracker);
    // A seed larger than the engine reads would be ignored by every downloader.
    if (metalink.size() > kMaxSeedDocumentBytes || torrent.size() > kMaxSeedDocumentBytes)
        return Refuse(err, "the seed would be larger than the " + std::to_string(kMaxSeedDocumentBytes >> 20) +
                           " MiB the downloaders read: give a larger --piece-length");

    // A publication that stamps no downloader keeps the one an earlier
    // publication stamped: players keep fetching it, and it still fits the
    // game's configuration wherever that is.
    std::string keptDownloader;
    if (downloaderPath.empty()) {
        const std::string folder = "downloader/" + o.gameId + "/";
        for (const std::string& file : earlier.currentFiles)
            if (file.compare(0, folder.size(), folder) == 0 && fs::is_regular_file(root / fs::u8path(file), failure))
                keptDownloader = file;
    }
    const std::string servedDownloader =
        keptDownloader.empty() ? downloaderName : fs::u8path(keptDownloader).filename().u8string();
    NginxPaths nginx{o.gameId, UrlPath(o.baseUrl), root.u8string(), installerName, servedDownloader};
    const std::string statsUrl = o.statsUrl.empty() ? o.baseUrl + "/stat" : o.statsUrl;
    const bool writeStatsSnippet = !fs::exists(root / statsNginxPath) && UrlOrigin(statsUrl) == UrlOrigin(o.baseUrl);

    // The record: this generation and the one before it.
    PublicationRecord record;
    record.current = generation;
    record.currentFiles = {configPath, installerPath, seedPath, torrentPath, nginxPath};
    if (signing) record.currentFiles.push_back(signaturePath);
    if (!skinPath.empty()) record.currentFiles.push_back(skinPath);
    if (!downloaderPath.empty()) record.currentFiles.push_back(downloaderPath);
    if (!keptDownloader.empty()) record.currentFiles.push_back(keptDownloader);
    const bool ownStats = writeStatsSnippet || std::count(earlier.currentFiles.begin(), earlier.currentFiles.end(),
                                                          statsNginxPath) > 0;
    if (ownStats) record.currentFiles.push_back(statsNginxPath);
    if (earlier.current == generation) {
        record.previous = earlier.previous;
        record.previousFiles = earlier.previousFiles;
    } else {
        record.previous = earlier.current;
        for (const std::string& file : earlier.currentFiles)
            if (file.compare(0, 6, "games/") == 0) record.previousFiles.push_back(file);
    }
    if (!o.force) {
        const std::vector<Overwrite> overwrites = FindOverwrites(o.out, o.gameId, record.currentFiles);
        if (!overwrites.empty()) {
            std::string list;
            for (const Overwrite& overwrite : overwrites) list += "\n  " + overwrite.path + " (" + overwrite.owner + ")";
            return Refuse(err, "the output folder " + o.out + " already holds files this game's publication would "
                               "overwrite (--force replaces them):" + list);
        }
    }

    std::map<std::string, std::string> texts = {
        {configPath, configBytes},
        {seedPath, metalink},
        {torrentPath, torrent},
        {nginxPath, GameNginxSnippet(nginx)},
        {recordPath, RecordText(record)},
    };
    if (writeStatsSnippet) texts[statsNginxPath] = StatsNginxSnippet(UrlPath(o.baseUrl), UrlPath(statsUrl));
    if (signing) {
        std::string signature;
        if (!SignConfig(o.signKey, configBytes, &signature, &why)) return Fail(err, why);
        texts[signaturePath] = signature;
    }
    for (const auto& text : texts)
        if (!WriteFile(staging / text.first, text.second, &why)) return Fail(err, why);
    fs::create_directories((staging / installerPath).parent_path(), failure);
    fs::rename(stagedInstaller, staging / installerPath, failure);
    if (failure) return Fail(err, "cannot stage the installer: " + failure.message());
    if (!skinPath.empty() && (!fs::copy_file(fs::u8path(o.skinFile), staging / skinPath, failure) || failure))
        return Fail(err, "cannot copy the skin image: " + failure.message());
    if (!downloaderPath.empty()) {
        const fs::path copy = staging / downloaderPath;
        fs::create_directories(copy.parent_path(), failure);
        if (!fs::copy_file(fs::u8path(o.downloader), copy, failure) || failure)
            return Fail(err, "cannot copy the downloader: " + failure.message());
        if (!StampDownloaderCopy(copy.u8string(), o.gameId, o.downloader, o.stampTool, &why)) return Fail(err, why);
        // Signed after stamping: the stamp changes the bytes a signature covers.
        if (!o.codesignCert.empty() && !CodeSignProgram(copy.u8string(), o.codesignCert, o.codesignKey, &why))
            return Fail(err, why);
    }

    InstallPlan plan;
    plan.root = root;
    plan.staging = staging.Folder();
    plan.generationFolder = generationFolder;
    plan.generationFiles = {installerPath, seedPath, torrentPath};
    if (!skinPath.empty()) plan.generationFiles.push_back(skinPath);
    if (!downloaderPath.empty()) plan.fixedFiles.push_back(downloaderPath);
    plan.fixedFiles.push_back(nginxPath);
    if (writeStatsSnippet) plan.fixedFiles.push_back(statsNginxPath);
    plan.recordPath = recordPath;
    plan.signed_ = signing;
    plan.signaturePath = signaturePath;
    plan.configPath = configPath;
    // Whatever the earlier record lists that this one does not: older
    // generations, and files this publication leaves out (a skin, the
    // signature of a portal that stopped signing).
    for (const auto* files : {&earlier.currentFiles, &earlier.previousFiles})
        for (const std::string& file : *files)
            if (std::count(record.currentFiles.begin(), record.currentFiles.end(), file) == 0 &&
                std::count(record.previousFiles.begin(), record.previousFiles.end(), file) == 0)
                plan.removeAfter.push_back(file);
    bool published = false;
    why = InstallPublication(plan, &published);
    if (!why.empty() && !published) return Fail(err, why + " (the earlier publication is as it was)");
    made.Keep();
    if (!why.empty()) err << "vorla-publish: published, but " << why << "\n";

    out << "published game " << o.gameId << " into " << root.u8string() << "\n"
        << "  configuration  " << configPath << " ("
        << (o.encoding == ConfigEncoding::Gbk ? "GBK" : "UTF-16LE with a byte-order mark") << ")"
        << (signing ? ", signed (" + signaturePath + ")" : std::string()) << "\n"
        << "  installer      " << installerPath << " (" << digests.size << " bytes, hashed at "
        << static_cast<long long>(rate) << " MB/s)\n"
        << "  GameMd5        " << digests.md5Tail << "\n"
        << "  SHA-256        " << digests.sha256 << (computed.gameSha256.empty() ? "" : " (GameSha256)") << "\n";
    if (!o.signer.empty()) out << "  GameSigner     " << o.signer << " (the installer's signature checked)\n";
    out << "  Metalink seed  " << seedPath << " (" << digests.sha256Pieces.size() << " pieces of "
        << digests.pieceLength << " bytes)\n"
        << "  torrent        " << torrentPath << " (info hash " << TorrentInfoHash(installerName, digests) << ")\n";
    if (!downloaderPath.empty())
        out << "  downloader     " << downloaderPath << " (stamped " << o.gameId
            << (o.codesignCert.empty() ? "" : ", signed") << ")\n";
    if (!skinPath.empty()) out << "  skin           " << skinPath << "\n";
    out << "  nginx          " << nginxPath << (writeStatsSnippet ? " and " + statsNginxPath : std::string()) << "\n"
        << "  served at      " << o.baseUrl << "/" << configPath << "\n";
    // The downloader asks its portal's host for the configuration at the
    // root, whatever path the base URL has.
    if (!UrlPath(o.baseUrl).empty())
        out << "  note           a downloader reads " << UrlOrigin(o.baseUrl) << "/" << configPath
            << " (at the host's root, not under " << UrlPath(o.baseUrl) << "): that address must serve this file\n";
    return kPublished;
}
