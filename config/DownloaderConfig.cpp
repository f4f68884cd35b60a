#include "config/DownloaderConfig.h"

#include "base/ScopedHandle.h"
#include "config/BuildConfig.h"
#include "config/ConfigEncoding.h"
#include "config/ConfigNumber.h"
#include "config/ConfigSignature.h"
#include "config/VersionInfo.h"

#include <windows.h>

#include <vector>

namespace {

const wchar_t kGameSection[] = L"GameConfig";
const wchar_t kDownloaderSection[] = L"DownLoader";
const wchar_t kCompanionSection[] = L"Keldor";

bool IsHttpsUrl(const std::wstring& url) {
    return url.size() > 8 && (url.compare(0, 8, L"https://") == 0 || url.compare(0, 8, L"HTTPS://") == 0);
}

std::wstring ReadValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[CDownloaderConfig::kValueBuffer] = {};
    ::GetPrivateProfileStringW(section, key, L"", buffer, CDownloaderConfig::kValueBuffer, path.c_str());
    return buffer;
}

// A required key: false when absent or empty.
bool ReadRequired(const std::wstring& path, const wchar_t* section, const wchar_t* key, std::wstring& out) {
    std::wstring value = ReadValue(path, section, key);
    if (value.empty()) return false;
    out = std::move(value);
    return true;
}

int64_t FileTimeToUnixSeconds(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(v.QuadPart / 10000000ULL) - 11644473600LL;
}

// Last-write time in whole seconds since 1970, or 0 when unknown.
int64_t LastWriteSeconds(const std::wstring& path) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return 0;
    FILETIME written{};
    if (!::GetFileTime(file.get(), nullptr, nullptr, &written)) return 0;
    if (written.dwLowDateTime == 0 && written.dwHighDateTime == 0) return 0;
    return FileTimeToUnixSeconds(written);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, uint64_t limit = CDownloaderConfig::kMaxConfigBytes) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return false;
    if (static_cast<uint64_t>(size.QuadPart) > limit) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes.empty() ||
           (::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// UTF-8 configuration text is rewritten as UTF-16 with a mark, which the
// profile functions read correctly; other encodings stay as fetched.
void NormaliseConfigFile(const std::wstring& path) {
    std::string bytes;
    std::string converted;
    if (ReadWholeFile(path, bytes) && NormaliseConfigText(bytes, converted)) WriteWholeFile(path, converted);
}

}  // namespace

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    return std::wstring(buffer, n);
}

CDownloaderConfig::CDownloaderConfig() {
    const BuiltInTrust builtIn = ReadBuiltInTrust();
    trust_ = builtIn.trust;
    trustBroken_ = builtIn.broken;
    transfer_.AllowSecure(trust_.https);
    transfer_.SetCallback(this);
    transfer_.SetTimeouts(5000, 1000, 5000);
    gameId_ = ReadFileDescription(OwnExecutablePath());
    const std::wstring temp = TempFolder();
    if (!temp.empty()) {
        engineLibraryPath_ = temp + gameId_ + L"QelvoP2SP.dll";
        machineIdLibraryPath_ = temp + gameId_ + L"Qelvoverify.dll";
    }
}

void CDownloaderConfig::SetTrust(const PortalTrust& trust) {
    trust_ = trust;
    trustBroken_ = false;
    transfer_.AllowSecure(trust.https);
    configUrl_.clear();
}

const std::wstring& CDownloaderConfig::GetVersion() {
    if (version_.empty()) version_ = ReadFileVersion(OwnExecutablePath());
    return version_;
}

const std::wstring& CDownloaderConfig::GetConfigUrl() {
    if (configUrl_.empty())
        configUrl_ = std::wstring(trust_.https ? L"https://" : L"http://") +
                     (trust_.host.empty() ? std::wstring(VORLA_DOWNLOAD_HOST)
                                          : std::wstring(trust_.host.begin(), trust_.host.end())) +
                     L"/tool/down/" + gameId_ + L".html";
    return configUrl_;
}

const std::wstring& CDownloaderConfig::GetConfigFilePath() {
    if (configFilePath_.empty()) {
        const std::wstring temp = TempFolder();
        if (!temp.empty()) configFilePath_ = temp + gameId_ + L".cfg";
    }
    return configFilePath_;
}

const std::wstring& CDownloaderConfig::GetSkinPath() {
    if (skinLink_.empty()) {
        skinPath_.clear();
    } else if (skinPath_.empty()) {
        const std::wstring temp = TempFolder();
        if (!temp.empty()) skinPath_ = temp + gameId_ + L".png";
    }
    return skinPath_;
}

int CDownloaderConfig::OnHttpProgress(int done, int total, int status) {
    if (sink_) sink_->OnConfigInitStatus(done, total, status, currentKind_);
    return 0;
}

bool CDownloaderConfig::FetchFile(const std::wstring& url, const std::wstring& path, int kind,
                                  int64_t cacheAgeSeconds, uint64_t bodyLimit) {
    if (url.empty() || path.empty()) return false;
    if (cacheAgeSeconds != 0) {
        const int64_t written = LastWriteSeconds(path);
        if (written != 0) {
            FILETIME now{};
            ::GetSystemTimeAsFileTime(&now);
            // A last-write time in the future counts as fresh as well.
            if (FileTimeToUnixSeconds(now) - written < cacheAgeSeconds) return true;
        }
    }
    currentKind_ = kind;
    transfer_.SetBodyLimit(bodyLimit);
    if (transfer_.Download(url.c_str(), path.c_str())) return true;
    ::DeleteFileW(path.c_str());
    return false;
}

bool CDownloaderConfig::ParseFile(const std::wstring& path) {
    if (!ReadRequired(path, kGameSection, L"GameName", gameName_)) return false;
    std::wstring size;
    if (!ReadRequired(path, kGameSection, L"GameSize", size)) return false;
    // Letters, or a number too large for 64 bits, leave the size as it was.
    ScanUnsigned64(size, gameSize_);
    if (!ReadRequired(path, kGameSection, L"GameDownloadLink", gameDownloadLink_)) return false;
    gameMd5_ = ReadValue(path, kGameSection, L"GameMd5");
    seedUrl_ = ReadValue(path, kGameSection, L"SeedUrl");
    skinLink_ = ReadValue(path, kDownloaderSection, L"SkinLink");
    if (!ReadRequired(path, kDownloaderSection, L"NewVersion", newVersion_)) return false;
    newVersionDownloaderLink_ = ReadValue(path, kDownloaderSection, L"NewVersionDownloaderLink");
    if (newVersionDownloaderLink_.empty()) newVersionDownloaderLink_ = VORLA_NEW_VERSION_LINK;
    embedLink2_ = ReadValue(path, kDownloaderSection, L"EmbedLink2");
    keldorDownloaderLink_ = ReadValue(path, kCompanionSection, L"KeldorDownloaderLink");
    safecheck_ = ReadValue(path, kCompanionSection, L"safecheck");
    gameVersion_ = ReadValue(path, kGameSection, L"GameVersion");
    keldorInstallTip_ = ReadValue(path, kDownloaderSection, L"KeldorInstallTip");
    textPromotionTitle_ = ReadValue(path, kDownloaderSection, L"TextPromotionTitle");
    textPromotionLink_ = ReadValue(path, kDownloaderSection, L"TextPromotionLink");
    // These two live in the companion section, not beside the other texts.
    cancelDownloadTips_ = ReadValue(path, kCompanionSection, L"CancelDownloadTips");
    domainName_ = ReadValue(path, kCompanionSection, L"DomainName");
    gameSha256_ = ReadValue(path, kGameSection, L"GameSha256");
    gameSigner_ = ReadValue(path, kGameSection, L"GameSigner");
    keldorSigner_ = ReadValue(path, kCompanionSection, L"KeldorSigner");
    if (trust_.https) {
        // A build that fetches its portal over https does not take the
        // skin or the statistics endpoint over plain http either.
        if (!IsHttpsUrl(skinLink_)) skinLink_.clear();
        if (!IsHttpsUrl(domainName_)) domainName_.clear();
    }
    return true;
}

bool CDownloaderConfig::SignatureHolds(const std::wstring& configPath) {
    const std::wstring signaturePath = configPath + L".sig";
    std::string config, signature;
    const bool holds = FetchFile(GetConfigUrl() + L".sig", signaturePath, KIND_CONFIG, 0, kMaxSignatureBytes) &&
                       ReadWholeFile(configPath, config) &&
                       ReadWholeFile(signaturePath, signature, kMaxSignatureBytes) &&
                       VerifyConfigSignature(config, signature, trust_.keys);
    ::DeleteFileW(signaturePath.c_str());
    return holds;
}

int CDownloaderConfig::Load(IConfigInitCallback* sink) {
    if (sink) sink_ = sink;
    const std::wstring configPath = GetConfigFilePath();
    int result;
    // A signed portal's configuration counts only with its signature: one
    // that is missing or does not hold is a configuration that could not
    // be fetched, never a configuration.
    if (trustBroken_ || !FetchFile(GetConfigUrl(), configPath, KIND_CONFIG, 0, kMaxConfigBytes) ||
        (!trust_.keys.empty() && !SignatureHolds(configPath))) {
        result = CONFIG_DOWNLOAD_FAILED;
    } else {
        NormaliseConfigFile(configPath);
        if (!ParseFile(configPath)) {
            result = CONFIG_INVALID;
        } else if (skinLink_.empty()) {
            GetSkinPath();  // resets the path
            result = CONFIG_READY;
        } else {
            result = FetchFile(skinLink_, GetSkinPath(), KIND_SKIN, kSkinCacheSeconds, kMaxSkinBytes)
                         ? CONFIG_READY
                         : SKIN_DOWNLOAD_FAILED;
        }
    }
    ::DeleteFileW(configPath.c_str());
    return result;
}

CDownloaderConfig& TheDownloaderConfig() {
    // Never destroyed: a loading thread may still be inside Load when the
    // process ends, and must not find the object gone under it.
    static CDownloaderConfig* const config = new CDownloaderConfig();
    return *config;
}
