// What vorla-publish is asked to do: every value of the command line, as
// UTF-8 text. No platform code here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ConfigEncoding {
    Gbk,          // the Chinese system code page (936), as Chinese portals write it
    Utf16WithMark,
};

struct PublishOptions {
    std::string gameId;
    std::string installer;    // path of the installer to publish
    std::string baseUrl;      // public http(s) base of the portal, without a trailing slash
    std::string out;          // the portal's folder
    std::string gameName;
    std::string gameVersion;  // shown on the page
    std::string minVersion;              // NewVersion; default the downloader's own version
    std::vector<std::string> mirrors;    // other copies of the installer
    std::string tracker;                 // BitTorrent announce URL, optional
    std::string skinFile;                // PNG copied to skin/<id>.png
    std::string skinLink;                // or a skin image served elsewhere
    std::string promoPage;               // EmbedLink2
    std::string promotionTitle;
    std::string promotionLink;
    std::string companionLink;           // KeldorDownloaderLink
    std::string companionTip;            // KeldorInstallTip
    std::string cancelTips;              // CancelDownloadTips
    std::string statsUrl;                // DomainName; default <base>/stat
    std::string newVersionLink;          // NewVersionDownloaderLink
    std::string safecheck = "1";
    std::string downloader;              // the built program to stamp, optional
    std::string stampTool;               // vorla-stamp.exe for Wine (Linux only)
    std::string installerName;           // served file name; default the installer's
    ConfigEncoding encoding = ConfigEncoding::Gbk;
    // Which seed the configuration's SeedUrl names. Auto: the torrent when a
    // tracker is given (players then share pieces, with the portal's copy as
    // web seed), else the Metalink (mirrors and SHA-256 pieces).
    enum class Seed { Auto, Metalink, Torrent } seed = Seed::Auto;
    std::string signKey;                 // PEM private key (P-256) that signs the configuration
    bool requireSha256 = false;          // write GameSha256 (always when signing)
    std::string signer;                  // GameSigner, after checking the installer is signed so
    std::string signerRoots;             // PEM roots that vouch for the installer's signature (Linux)
    std::string codesignCert;            // Authenticode certificate and key (PEM) for the stamped downloader
    std::string codesignKey;
    std::string printKey;                // --print-key: print this key's public point and do nothing else
    uint64_t pieceLength = 0;            // 0: chosen from the size
    bool force = false;                  // overwrite files no publication of this game wrote
    bool quiet = false;                  // no progress line
};

// Reads the arguments (without the program name). False with a message for
// an unknown option, a missing value or a missing required option.
bool ParsePublishArguments(const std::vector<std::string>& args, PublishOptions* options, std::string* error);

// The usage text, one option a line.
std::string PublishUsage();
