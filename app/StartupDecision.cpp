#include "app/StartupDecision.h"

#include "config/DownloaderConfig.h"

#include <cwctype>

bool IsDownloaderOutdated(const std::wstring& ownVersion, const std::wstring& requiredVersion) {
    if (ownVersion.size() != requiredVersion.size()) return true;
    const size_t n = ownVersion.size() < 5 ? ownVersion.size() : 5;
    for (size_t i = 0; i < n; ++i) {
        const wint_t a = std::towupper(ownVersion[i]);
        const wint_t b = std::towupper(requiredVersion[i]);
        if (a != b) return a < b;
    }
    return false;
}

bool IsConfigurationComplete(const std::wstring& installerFileName, uint64_t gameSize, const std::wstring& gameId,
                             const std::wstring& downloadLink) {
    return !installerFileName.empty() && gameSize != 0 && !gameId.empty() && !downloadLink.empty();
}

StartupOutcome DecideStartup(int loadResult, bool complete, bool outdated) {
    // One outcome only: an incomplete configuration is a failure whatever
    // the load reported.
    if ((loadResult != CONFIG_READY && loadResult != SKIN_DOWNLOAD_FAILED) || !complete) {
        return StartupOutcome::Failure;
    }
    if (outdated) return StartupOutcome::Outdated;
    return loadResult == CONFIG_READY ? StartupOutcome::DownloadPage : StartupOutcome::DownloadPageOwnBackground;
}
