// What the start-up window shows once the configuration has loaded: the
// download page, the outdated-downloader prompt or the start-up failure
// prompt, exactly one of them.
#pragma once

#include <cstdint>
#include <string>

enum class StartupOutcome {
    DownloadPage,                // with the skin location's background when it has one
    DownloadPageOwnBackground,   // the skin image could not be fetched
    Outdated,
    Failure,
};

// Own version V against the required version N: outdated when their lengths
// differ, else when V's first five characters sort before N's (ordinal,
// ignoring case).
bool IsDownloaderOutdated(const std::wstring& ownVersion, const std::wstring& requiredVersion);

// All four must hold, tested in this order: the installer file name is not
// empty, the game size is not 0, the identifier is not empty, the download
// link is not empty.
bool IsConfigurationComplete(const std::wstring& installerFileName, uint64_t gameSize, const std::wstring& gameId,
                             const std::wstring& downloadLink);

StartupOutcome DecideStartup(int loadResult, bool complete, bool outdated);

// The finishing animation: +2 per tick, capped at 98; the outcome is acted
// on at the first tick that finds the position at 98.
constexpr int kDecisionPosition = 98;
inline int NextFinishingPosition(int position) {
    return position + 2 > kDecisionPosition ? kDecisionPosition : position + 2;
}
