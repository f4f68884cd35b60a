// The process-wide game configuration: the game identifier from the version
// resource, the paths derived from it, and the values of the configuration
// file fetched for that identifier at every start.
#pragma once

#include "config/PortalTrust.h"
#include "engine/HttpDownload.h"

#include <cstdint>
#include <string>

enum ConfigInitResult {
    CONFIG_DOWNLOAD_FAILED = 0,  // the configuration file could not be fetched
    CONFIG_INVALID = 1,          // fetched, but a required key is missing or empty
    SKIN_DOWNLOAD_FAILED = 2,    // configuration complete, the skin image failed
    CONFIG_READY = 5,            // configuration complete, skin present or none
};

class CDownloaderConfig : public IHttpDownloadCallback {
public:
    class IConfigInitCallback {
    public:
        virtual ~IConfigInitCallback() = default;
        // kind: 1 configuration file, 2 skin image. Runs on the loading thread.
        virtual void OnConfigInitStatus(int done, int total, int status, int kind) = 0;
    };

    enum TransferKind { KIND_NONE = 0, KIND_CONFIG = 1, KIND_SKIN = 2 };

    static const int64_t kSkinCacheSeconds = 172800;  // 48 hours
    static const size_t kValueBuffer = 260;           // profile values keep 259 characters
    // Largest bodies fetched: a configuration is a few hundred bytes and a
    // skin image a few hundred kilobytes; anything far larger is refused
    // rather than written to disk and decoded.
    static constexpr uint64_t kMaxConfigBytes = 1 << 20;  // 1 MiB
    static constexpr uint64_t kMaxSkinBytes = 4 << 20;    // 4 MiB

    // Takes the program's own trust (PortalTrust.h) from its resources.
    CDownloaderConfig();
    // Another trust: for tests, which carry none of their own.
    void SetTrust(const PortalTrust& trust);
    const PortalTrust& Trust() const { return trust_; }

    // Fetches and parses the configuration, then fetches the skin image.
    // The configuration file exists on disk only while Load runs.
    int Load(IConfigInitCallback* sink);

    int OnHttpProgress(int done, int total, int status) override;

    const std::wstring& GetGameId() const { return gameId_; }
    const std::wstring& GetVersion();
    // The configuration's URL, with the build's scheme; its signature
    // (when the build carries keys) is the same URL + ".sig".
    const std::wstring& GetConfigUrl();
    const std::wstring& GetConfigFilePath();
    const std::wstring& GetSkinPath();
    const std::wstring& GetEngineLibraryPath() const { return engineLibraryPath_; }
    const std::wstring& GetMachineIdLibraryPath() const { return machineIdLibraryPath_; }

    const std::wstring& GetGameName() const { return gameName_; }
    uint64_t GetGameSize() const { return gameSize_; }
    const std::wstring& GetGameDownloadLink() const { return gameDownloadLink_; }
    const std::wstring& GetGameMd5() const { return gameMd5_; }
    const std::wstring& GetSeedUrl() const { return seedUrl_; }
    const std::wstring& GetGameVersion() const { return gameVersion_; }
    const std::wstring& GetKeldorInstallTip() const { return keldorInstallTip_; }
    const std::wstring& GetCancelDownloadTips() const { return cancelDownloadTips_; }
    const std::wstring& GetTextPromotionTitle() const { return textPromotionTitle_; }
    const std::wstring& GetTextPromotionLink() const { return textPromotionLink_; }
    const std::wstring& GetSkinLink() const { return skinLink_; }
    const std::wstring& GetNewVersion() const { return newVersion_; }
    const std::wstring& GetNewVersionDownloaderLink() const { return newVersionDownloaderLink_; }
    const std::wstring& GetEmbedLink2() const { return embedLink2_; }
    const std::wstring& GetKeldorDownloaderLink() const { return keldorDownloaderLink_; }
    const std::wstring& GetSafecheck() const { return safecheck_; }
    const std::wstring& GetDomainName() const { return domainName_; }
    // The whole installer's SHA-256 (64 hexadecimal digits), checked instead
    // of the MD5 of its last 50 MiB when present.
    const std::wstring& GetGameSha256() const { return gameSha256_; }
    // The installer's publisher as named in its code-signing certificate;
    // when present, only a file of that publisher is launched.
    const std::wstring& GetGameSigner() const { return gameSigner_; }
    // The same for the companion's setup program.
    const std::wstring& GetKeldorSigner() const { return keldorSigner_; }

    // Parses a configuration file already on disk (the step of Load after the
    // transfer). Returns false when a required key is missing or empty.
    bool ParseFile(const std::wstring& path);

private:
    bool FetchFile(const std::wstring& url, const std::wstring& path, int kind, int64_t cacheAgeSeconds,
                   uint64_t bodyLimit);
    // With keys built in: fetches the signature and checks the configuration
    // at `configPath` against it, byte for byte as fetched.
    bool SignatureHolds(const std::wstring& configPath);

    IConfigInitCallback* sink_ = nullptr;  // not owned
    CHttpDownload transfer_;
    std::wstring configUrl_;
    std::wstring skinPath_;
    std::wstring configFilePath_;
    std::wstring version_;
    std::wstring gameId_;
    std::wstring engineLibraryPath_;
    std::wstring machineIdLibraryPath_;
    int currentKind_ = KIND_NONE;
    PortalTrust trust_;
    bool trustBroken_ = false;  // the resource did not parse: no configuration is trusted

    std::wstring gameName_;
    uint64_t gameSize_ = 0;
    std::wstring gameDownloadLink_;
    std::wstring gameMd5_;
    std::wstring seedUrl_;
    std::wstring gameVersion_;
    std::wstring keldorInstallTip_;
    std::wstring cancelDownloadTips_;
    std::wstring textPromotionTitle_;
    std::wstring textPromotionLink_;
    std::wstring skinLink_;
    std::wstring newVersion_;
    std::wstring newVersionDownloaderLink_;
    std::wstring embedLink2_;
    std::wstring keldorDownloaderLink_;
    std::wstring safecheck_;
    std::wstring domainName_;
    std::wstring gameSha256_;
    std::wstring gameSigner_;
    std::wstring keldorSigner_;
};

// The one configuration object of the process.
CDownloaderConfig& TheDownloaderConfig();

// The user's temporary folder with its trailing separator; empty on failure.
std::wstring TempFolder();

